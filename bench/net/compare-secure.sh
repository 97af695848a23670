#!/usr/bin/env bash
# Runs the SFTP and FTPS upload benchmarks (they start their own sshd and
# vsftpd on 127.0.0.1) and prints our upload next to the curl program on the
# same 20 MB file and server: bench/net/compare-secure.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build-bench}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
QT_LOGGING_RULES="lumivark.net.info=false" "$build/bench/net/bench_secureupload" \
    --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json >/dev/null 2>&1
/usr/bin/python3 - "$out" <<'PY'
import json, sys
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
for proto, ours, theirs in (("SFTP", "BM_SftpUpload_20MB", "BM_CurlSftp_20MB"),
                            ("FTPS", "BM_FtpsUpload_20MB", "BM_CurlFtps_20MB")):
    a = runs[ours]["bytes_per_second"]
    b = runs[theirs]["bytes_per_second"]
    print(f"20 MB over {proto}: ours {a / 1e6:.1f} MB/s ({runs[ours]['real_time']:.0f} ms), "
          f"curl -T {b / 1e6:.1f} MB/s ({runs[theirs]['real_time']:.0f} ms), ratio {a / b:.2f}")
PY
