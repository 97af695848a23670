#!/usr/bin/env bash
# Dropped frames while something else keeps the processors busy: records
# SECONDS_EACH (60) seconds from the test pattern at 30 fps at each size, with
# and without sound (SIZES to choose), beside LOADERS (one per processor) busy loops.
#   bench/movie/recording-under-load.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/lumivark-cli"
secs=${SECONDS_EACH:-60}
loaders=${LOADERS:-$(nproc)}
quality=${QUALITY:-75}
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen

for ((i = 0; i < loaders; ++i)); do
    (while :; do :; done) &
    pids+=($!)
done
echo "$loaders busy loops beside the recording; $(uptime)"
printf '%-10s %-6s %8s %8s %8s\n' size sound frames dropped cpu_s/s
for size in ${SIZES:-640x480 1280x720 1920x1080}; do
    for sound in no yes; do
        audio=()
        [ "$sound" = yes ] && audio=(--audio 22050:16:2)
        /usr/bin/time -f '%U %S' -o "$work/time" "$cli" record "$work/out.avi" --duration "$secs" --size "$size" \
            --rate 30 --quality "$quality" "${audio[@]}" >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
        line=$(grep -h -o '[0-9]* frames, [0-9]* dropped' "$work/out" "$work/err" | head -1)
        printf '%-10s %-6s %8s %8s %8.3f\n' "$size" "$sound" "${line%% frames*}" "$(echo "$line" | awk '{print $3}')" \
            "$(awk -v s="$secs" '{print ($1 + $2) / s}' "$work/time")"
    done
done
echo "$(uptime)"
