#!/usr/bin/env bash
# Recording from the test pattern at 30 fps beside GStreamer's
# videotestsrc ! jpegenc ! avimux at the same JPEG quality, alternating runs,
# median of RUNS: CPU-seconds per recorded second, dropped frames, file size.
#   bench/movie/compare-recording-with-gstreamer.sh [BUILD_DIR] [OTHER_CLI]
# OTHER_CLI, when given, is a second lumivark-cli (an older build) run in turn
# with the others. RUNS (5), SECONDS_EACH (10) and QUALITY (75) from the environment.
# Start-up counts in every figure (nothing is subtracted); the last lines show
# what starting and ending costs each program alone, for reading short runs.
set -euo pipefail
build=${1:-build}
other=${2:-}
cli="$build/src/cli/lumivark-cli"
runs=${RUNS:-5}
secs=${SECONDS_EACH:-10}
quality=${QUALITY:-75}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
# The recorder's quality maps onto FFmpeg's fixed quantiser q, whose tables
# are about libjpeg's at quality 400 / q (100 - 6.25 q from q 8 down). GStreamer
# draws its 75 % colour bars, the nearest to our pattern.
jpegq=$(/usr/bin/python3 -c "
q = max(1, min(100, $quality)); qs = 31 - ((q - 1) * 29 + 49) // 99
print(round(100 - 6.25 * qs) if qs <= 8 else round(400 / qs))")

cpu() { # user+system seconds of a command; its stderr goes to $work/err
    /usr/bin/time -f '%U %S' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    awk '{print $1 + $2}' "$work/time"
}
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

printf '%-10s %-6s %-8s %10s %8s %10s\n' size sound program cpu_s/s dropped size_KiB
for size in 640x480 1280x720 1920x1080; do
    w=${size%x*}
    h=${size#*x}
    for sound in no yes; do
        audio=()
        gstaudio=()
        if [ "$sound" = yes ]; then
            audio=(--audio 22050:16:2)
            gstaudio=(audiotestsrc is-live=true num-buffers=$((secs * 22050 / 1024)) samplesperbuffer=1024
                      ! audio/x-raw,format=S16LE,rate=22050,channels=2 ! mux.)
        fi
        : >"$work/ours" >"$work/gst" >"$work/other" >"$work/ours_drop" >"$work/other_drop"
        for ((i = 0; i < runs; ++i)); do
            for prog in ours other gst; do
                case $prog in
                ours | other)
                    bin=$cli
                    if [ $prog = other ]; then
                        [ -n "$other" ] || continue
                        bin=$other
                    fi
                    cpu "$bin" record "$work/$prog.avi" --duration "$secs" --size "$size" --rate 30 \
                        --quality "$quality" "${audio[@]}" | awk -v s="$secs" '{print $1 / s}' >>"$work/$prog"
                    sed -n 's/.*frames, \([0-9]*\) dropped.*/\1/p' "$work/err" "$work/out" | head -1 >>"$work/${prog}_drop"
                    ;;
                gst)
                    cpu gst-launch-1.0 -q avimux name=mux ! filesink location="$work/gst.avi" \
                        videotestsrc pattern=smpte75 is-live=true num-buffers=$((secs * 30)) \
                        ! video/x-raw,format=I420,width=$w,height=$h,framerate=30/1 \
                        ! jpegenc quality="$jpegq" ! mux. "${gstaudio[@]}" \
                        | awk -v s="$secs" '{print $1 / s}' >>"$work/gst"
                    ;;
                esac
            done
        done
        for prog in ours other gst; do
            [ -s "$work/$prog" ] || continue
            drop=-
            [ -s "$work/${prog}_drop" ] 2>/dev/null && drop=$(median <"$work/${prog}_drop")
            printf '%-10s %-6s %-8s %10.3f %8s %10d\n' "$size" "$sound" "$prog" "$(median <"$work/$prog")" "$drop" \
                $(($(stat -c %s "$work/$prog.avi") / 1024))
        done
    done
done

# Start-up alone: our program loads FFmpeg with all its codec libraries, GStreamer
# only the plugins a pipeline names.
: >"$work/start_ours" >"$work/start_gst"
for ((i = 0; i < runs; ++i)); do
    cpu "$cli" --help >>"$work/start_ours" || true
    cpu gst-launch-1.0 -q fakesrc num-buffers=1 ! fakesink >>"$work/start_gst"
done
printf 'start-up CPU-s: ours %.3f (lumivark-cli --help), gst %.3f (gst-launch-1.0 fakesrc ! fakesink)\n' \
    "$(median <"$work/start_ours")" "$(median <"$work/start_gst")"
