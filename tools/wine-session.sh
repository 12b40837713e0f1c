# Sourced by the run, test and bench scripts: gives them a display (Xvfb when there is none),
# a Wine prefix of their own inside the build folder, and a started wineserver. The wineserver
# and wineboot get /dev/null for stdin, stdout and stderr, so Wine's services never hold the
# caller's pipes open (ctest would otherwise hang after the last test).
BUILD_DIR=${BUILD_DIR:-build}
mkdir -p "$BUILD_DIR"
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)

export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installers: the machine has no network and the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

PARVALISK_XVFB_PID=""
wine_session_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n
    for n in $(seq 91 140); do
        if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then break; fi
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    PARVALISK_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

wine_session_start() {
    wine_session_display
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # A plain wineboot: the first Wine process of the session already starts the prefix (and
    # its service manager); "wineboot -i" would start a second service manager on the same
    # pipe, and installed services would then answer to either of them.
    wineboot </dev/null >/dev/null 2>&1 || true
    if [ -n "$PARVALISK_XVFB_PID" ]; then
        # Xvfb has no window manager: without one, Wine waits for it at every show and hide of
        # a captioned window unless it manages the windows itself.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    fi
    # A new prefix has its registry only in the server's memory until the server ends: end it
    # once, so the files that tools/wine-lane copies hold it, and keep a new one running.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -n "$PARVALISK_XVFB_PID" ]; then kill "$PARVALISK_XVFB_PID" 2>/dev/null || true; fi
}
