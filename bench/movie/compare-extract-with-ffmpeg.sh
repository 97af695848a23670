#!/usr/bin/env bash
# Extract All to JPEG and to BMP beside the ffmpeg program writing the same
# pictures, alternating runs, median wall time of RUNS (5): a 1920x1080 Motion
# JPEG clip and a 1280x720 H.264 clip, SECONDS_EACH (10) seconds at 30 fps.
# The *_cpu columns are the median CPU seconds (user + system) of the same
# runs, and the load average is printed before and after: on a shared machine
# the wall times follow the other work, the CPU seconds much less.
#   bench/movie/compare-extract-with-ffmpeg.sh [BUILD_DIR] [OTHER_CLI]
# OTHER_CLI, when given, is a second lumivark-cli (an older build) run in turn.
set -euo pipefail
build=${1:-build}
other=${2:-}
cli="$build/src/cli/lumivark-cli"
runs=${RUNS:-5}
secs=${SECONDS_EACH:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$secs" -c:v mjpeg -q:v 3 -pix_fmt yuvj420p \
    "$work/mjpeg1080.avi"
ffmpeg -v error -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=$secs" -c:v libx264 -preset veryfast \
    -pix_fmt yuv420p -g 30 -bf 0 "$work/h264720.avi"

wall() { # "wall_seconds cpu_seconds" of a command run in an empty directory
    rm -rf "$work/out"
    mkdir "$work/out"
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/time"
}
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-12s %-4s %8s %8s %8s %7s %8s %8s %10s\n' clip type ours_s other_s ffmpeg_s ratio ours_cpu other_cpu ffmpeg_cpu
for clip in mjpeg1080 h264720; do
    for type in jpg bmp; do
        : >"$work/ours" >"$work/other" >"$work/ffmpeg"
        # Quality 75 in libjpeg's tables is FFmpeg's quantiser 4.
        ffargs=()
        [ $type = jpg ] && ffargs=(-q:v 4 -pix_fmt yuvj420p)
        [ $type = bmp ] && ffargs=(-pix_fmt bgr24)
        for ((i = 0; i < runs; ++i)); do
            wall "$cli" extract "$work/$clip.avi" "$work/out/x.$type" --quality 75 >>"$work/ours"
            n=$(ls "$work/out" | wc -l)
            [ -n "$other" ] && wall "$other" extract "$work/$clip.avi" "$work/out/x.$type" --quality 75 >>"$work/other"
            wall ffmpeg -v error -i "$work/$clip.avi" "${ffargs[@]}" "$work/out/x_Frame_%d.$type" >>"$work/ffmpeg"
            m=$(ls "$work/out" | wc -l)
            [ "$n" = "$m" ] || echo "warning: $n files against ffmpeg's $m" >&2
        done
        o=$(cut -d' ' -f1 "$work/ours" | median)
        oc=$(cut -d' ' -f2 "$work/ours" | median)
        x=- xc=-
        [ -s "$work/other" ] && x=$(cut -d' ' -f1 "$work/other" | median) && xc=$(cut -d' ' -f2 "$work/other" | median)
        f=$(cut -d' ' -f1 "$work/ffmpeg" | median)
        fc=$(cut -d' ' -f2 "$work/ffmpeg" | median)
        printf '%-12s %-4s %8s %8s %8s %7.2f %8s %8s %10s\n' "$clip" "$type" "$o" "$x" "$f" "$(echo "$o / $f" | bc -l)" \
            "$oc" "$xc" "$fc"
    done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
