#!/usr/bin/env bash
# lumivark-cli on the test-pattern device:
#  1. `snapshot` from process start to the stamped JPEG on disk, RUNS times
#     (the program exits once the file is written and closed);
#  2. the CPU share of a SHOTS-shot interval series (one shot a second):
#     user + system time over wall time.
# bench/cli/cli.sh BUILD_DIR [RUNS] [SHOTS]
set -euo pipefail
build=${1:-build-bench}
runs=${2:-20}
shots=${3:-60}
cli="$build/src/cli/lumivark-cli"
[ -x "$cli" ] || { echo "no $cli" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export QT_QPA_PLATFORM=offscreen

times=()
for i in $(seq "$runs"); do
    start=$(date +%s%N)
    "$cli" snapshot "$dir/shot$i.jpg" --time bottom-right --date bottom-left --text "bench" --text-pos top-left 2>/dev/null
    end=$(date +%s%N)
    [ -s "$dir/shot$i.jpg" ] || { echo "snapshot $i wrote nothing" >&2; exit 1; }
    times+=($(( (end - start) / 1000000 )))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk -v n="$runs" 'NR == int((n + 1) / 2)')
best=$(echo "$sorted" | head -1)
worst=$(echo "$sorted" | tail -1)
echo "snapshot, start to JPEG on disk: median ${median} ms, best ${best} ms, worst ${worst} ms over $runs runs (goal < 150 ms)"

if [ "$shots" -gt 0 ]; then
    /usr/bin/time -o "$dir/time" -f "%U %S %e" "$cli" series "$dir/series.jpg" --interval 1 --count "$shots" \
        --time bottom-right >/dev/null 2>&1
    out=$(tail -1 "$dir/time")
    read -r user sys wall <<<"$out"
    n=$(ls "$dir"/series*.jpg | wc -l)
    awk -v u="$user" -v s="$sys" -v w="$wall" -v n="$n" \
        'BEGIN { printf "series of %d shots, 1 s apart: %.1f s wall, %.2f s CPU, CPU share %.2f%% of one core\n", n, w, u + s, 100 * (u + s) / w }'
fi
