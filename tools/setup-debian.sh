#!/usr/bin/env bash
# Installs what building and testing Parvalisk needs on Debian 12, and only what is missing:
# the mingw-w64 cross compiler, CMake, Wine (32-bit), Xvfb, GoogleTest's sources, clang-format,
# and NSIS (makensis), which builds the setup program.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(g++-mingw-w64-i686-posix mingw-w64-tools cmake make wine wine32:i386 xvfb xauth x11-utils
          fonts-liberation googletest imagemagick clang-format nsis)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
