#!/usr/bin/env bash
# Runs every benchmark under Wine; each prints its figures and, last, "<name>: ratio <x> (limit <y>)".
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
status=0
for bench in "$BUILD_DIR"/bin/bench_*.exe; do
    [ -e "$bench" ] || continue
    echo "== $(basename "$bench" .exe)"
    (cd "$BUILD_DIR/bin" && wine "$bench") || status=1
done
exit $status
