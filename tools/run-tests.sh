#!/usr/bin/env bash
# Runs every test program under Wine and Xvfb and ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/check-format.sh
source tools/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
cd "$BUILD_DIR"
# Side by side: each test program runs in a Wine lane of its own (tools/wine-lane). A -j given
# here comes later and wins. Two at a time: with more than one per core, the waits of some
# tests for another process ran out now and then.
ctest --output-on-failure -j "${PARVALISK_TEST_JOBS:-2}" "$@"
