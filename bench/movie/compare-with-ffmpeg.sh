#!/usr/bin/env bash
# Runs the movie window benchmarks and prints Extract All's speed beside the
# ffmpeg program's on the same clip, measured in the same run, plus the
# playback CPU share and the time to the first frame of a 1 GiB recording:
#   bench/movie/compare-with-ffmpeg.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build-bench}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$build/bench/movie/bench_player" --benchmark_format=json --benchmark_out="$out" \
    --benchmark_out_format=json >/dev/null
/usr/bin/python3 - "$out" <<'PY'
import json, sys
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
ours = runs["BM_ExtractAllBmp"]["frames_per_s"]
theirs = runs["BM_FfmpegProgramBmp"]["frames_per_s"]
print(f"Extract All to BMP, 640x480 MJPEG 30 s: ours {ours:.0f} frames/s, ffmpeg {theirs:.0f} frames/s, ratio {ours / theirs:.2f}")
play = runs["BM_PlaybackCpuShare"]
print(f"Playback 640x480@30 MJPEG + PCM: {play['cpu_share_pct']:.1f} % of one core, {play['frames_shown']:.0f} frames shown")
first = runs["BM_OpenToFirstFrame1GiB"]
print(f"Open to first frame, {first['file_MiB']:.0f} MiB file: {first['real_time']:.1f} {first['time_unit']}")
PY
