#!/usr/bin/env bash
# Runs a command on a private X server with a light window manager (openbox),
# as a desktop user would see it.
# Usage: run-under-x.sh COMMAND [ARGS...]; LUMIVARK_X_SCREEN sets the screen (1280x900x24).
set -euo pipefail
exec xvfb-run -a -s "-screen 0 ${LUMIVARK_X_SCREEN:-1280x900x24}" bash -c '
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  rc=0
  "$@" || rc=$?
  kill "$wm" 2>/dev/null || true
  exit "$rc"' _ "$@"
