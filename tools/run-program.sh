#!/usr/bin/env bash
# Starts Parvalisk.exe under Wine in the build folder's own prefix, so it edits only that
# prefix's hosts file. Without a display it starts Xvfb, waits for the main window, saves a
# screenshot of it and names the file.
set -euo pipefail
cd "$(dirname "$0")/.."
had_display=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then had_display=1; fi
source tools/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
exe="$BUILD_DIR/bin/Parvalisk.exe"
if [ "$had_display" = 1 ]; then
    wine "$exe"
    exit 0
fi
wine "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
shot="$BUILD_DIR/parvalisk-window.png"
for i in $(seq 1 60); do
    sleep 0.5
    if xwininfo -root -tree 2>/dev/null | grep -q '"Parvalisk"'; then break; fi
done
sleep 1
id=$(xwininfo -root -tree | grep '"Parvalisk"' | grep -v ' 1x1+' | head -1 | awk '{print $1}')
if [ -n "$id" ]; then
    import -window "$id" "$shot"
else
    import -window root "$shot"
fi
echo "Parvalisk is running on the virtual display $DISPLAY; screenshot of its window: $shot"
echo "Press Ctrl+C to stop it."
wait "$pid" || true
