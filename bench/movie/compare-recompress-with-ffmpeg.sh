#!/usr/bin/env bash
# Recompresses a 640x480@30 Motion JPEG 30 s clip to MPEG-4 and FFV1, ours and
# the ffmpeg program's with the same settings and thread count, in one run, and
# prints the wall-time ratio (above 1.0: ours is faster):
#   bench/movie/compare-recompress-with-ffmpeg.sh [BUILD_DIR] [THREADS]
set -euo pipefail
build=${1:-build-bench}
export LUMIVARK_BENCH_THREADS=${2:-2}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$build/bench/movie/bench_recompress" --benchmark_format=json --benchmark_out="$out" \
    --benchmark_out_format=json >/dev/null
/usr/bin/python3 - "$out" "$LUMIVARK_BENCH_THREADS" <<'PY'
import json, sys
runs = {b["name"].split("/")[1]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
print(f"640x480@30 MJPEG, 30 s, {sys.argv[2]} threads (mean of alternating runs)")
for codec in ("mpeg4", "ffv1"):
    r = runs[codec]
    print(f"{codec:6s} ours {r['ours_s']:6.2f} s ({r['frames'] / r['ours_s']:.0f} frames/s, {r['ours_MB']:.1f} MB)"
          f"  ffmpeg {r['ffmpeg_s']:6.2f} s ({r['frames'] / r['ffmpeg_s']:.0f} frames/s, {r['ffmpeg_MB']:.1f} MB)"
          f"  speed ratio {r['ratio']:.2f}x")
PY
