#!/usr/bin/env bash
# Runs every benchmark under Wine; each prints its figures and, last, "<name>: ratio <x> (limit <y>)",
# and exits non-zero when it is over its limit. Ends with one line per benchmark: its name, ratio,
# limit and "ok", "over" (the ratio is over the limit) or "failed" (another check of it failed, or
# it printed no ratio).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-session.sh
trap wine_session_stop EXIT
wine_session_start
status=0
summary=()
for bench in "$BUILD_DIR"/bin/bench_*.exe; do
    [ -e "$bench" ] || continue
    name=$(basename "$bench" .exe)
    name=${name#bench_}
    echo "== bench_$name"
    output=$(mktemp)
    code=0
    (cd "$BUILD_DIR/bin" && wine "$bench") | tee "$output" || code=$?
    read -r ratio limit < <(sed -n "s/^$name: ratio \([0-9.]*\) (limit \([0-9.]*\)).*/\1 \2/p" "$output" |
                               tail -n 1) || true
    rm -f "$output"
    verdict=ok
    if [ -z "${ratio:-}" ]; then
        verdict=failed
    elif awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r > l) }'; then
        verdict=over
    elif [ "$code" -ne 0 ]; then
        verdict=failed
    fi
    [ "$verdict" = ok ] || status=1
    summary+=("$(printf '%-20s ratio %-8s limit %-6s %s' "$name" "${ratio:--}" "${limit:--}" "$verdict")")
    unset ratio limit
done
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
