#!/usr/bin/env bash
# Fails (and names the files) when a source file is not laid out as .clang-format says, or
# includes a file by a relative path: a layer finds the headers it may see through its include
# folders, and "../" would reach past them to a layer above.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 2>/dev/null ||
                     find src tests bench -name '*.cpp' -o -name '*.h')
unformatted=()
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then unformatted+=("$f"); fi
done
relative=()
for f in "${files[@]}"; do
    if grep -Eq '^[[:space:]]*#[[:space:]]*include[[:space:]]*"\.\./' "$f"; then relative+=("$f"); fi
done
if [ ${#relative[@]} -gt 0 ]; then
    echo "Includes a header by a relative path (name it from an include folder instead):" >&2
    printf '  %s\n' "${relative[@]}" >&2
    exit 1
fi
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "Not in the project's format (run: clang-format -i <file>):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "All ${#files[@]} source files are in the project's format."
