#!/usr/bin/env bash
# Runs the FTP upload benchmarks (they start their own pyftpdlib server on
# 127.0.0.1) and prints our upload's throughput as a share of the curl
# program's on the same 20 MB file: bench/net/compare-with-curl.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build-bench}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
QT_LOGGING_RULES="lumivark.net.info=false" "$build/bench/net/bench_net" \
    --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json >/dev/null 2>&1
/usr/bin/python3 - "$out" <<'PY'
import json, sys
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
ours = runs["BM_FtpUpload_20MB"]["bytes_per_second"]
for name in ("BM_CurlProgram_20MB", "BM_CurlProgramActive_20MB"):
    theirs = runs[name]["bytes_per_second"]
    print(f"20 MB upload: ours {ours / 1e6:.0f} MB/s, {name} {theirs / 1e6:.0f} MB/s, ratio {ours / theirs:.2f}")
jpeg = runs["BM_SendFileToFtp_200KBJpeg"]
print(f"200 KB JPEG: SendFileToFtp to window closed {jpeg['real_time']:.2f} {jpeg['time_unit']}")
PY
