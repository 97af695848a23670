#!/usr/bin/env bash
# Start-up time: from launching the program to the main window shown with a
# live picture, over several runs. usage: bench/app/startup.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:-build-bench}
runs=${2:-10}
exe="$build/src/app/lumivark"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LUMIVARK_HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} LUMIVARK_STARTUP_PROBE=1
times=()
for i in $(seq "$runs"); do
    start=$(date +%s%3N)
    line=$("$exe" | grep '^first-frame')
    times+=($(( ${line#first-frame } - start )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to live picture (ms) over $runs runs: min ${sorted[0]} median ${sorted[$((runs / 2))]} max ${sorted[$((runs - 1))]}"
