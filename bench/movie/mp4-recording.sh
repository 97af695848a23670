#!/usr/bin/env bash
# MP4/H.264 recording against the ffmpeg program and against AVI/Motion JPEG,
# side by side in one run:
#   bench/movie/mp4-recording.sh [BUILD_DIR] [SECONDS]
# 1. CPU share of one core while lumivark-cli records the test pattern at
#    1280x720, 30 fps, with 44.1 kHz stereo sound into MP4 (H.264 + AAC), and
#    the frames it dropped; the same job by the ffmpeg program (lavfi source
#    paced in real time, libx264 with the same preset and quality, AAC), and
#    the ratio (goal <= 1.0).
# 2. Size per minute of the same recording as MP4/H.264 and as AVI/Motion
#    JPEG, with each one's PSNR against the still test pattern (equal quality
#    = within 1 dB), and the ratio (goal <= 25 %).
set -euo pipefail
build=${1:-build-bench}
seconds=${2:-60}
cli="$build/src/cli/lumivark-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config"
device=$("$cli" devices 2>/dev/null | awk -F'\t' '/Test Pattern/ {print $1}' | tail -1)
device=${device:-0}
/usr/bin/python3 - "$cli" "$device" "$seconds" "$work" <<'PY'
import os, re, resource, subprocess, sys, time
cli, device, seconds, work = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]

def run(args):
    """Runs a program to its end: (CPU seconds of user + system, wall seconds, stdout)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    p = subprocess.run(args, capture_output=True, text=True)
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if p.returncode != 0:
        sys.exit(f"{args[0]} failed: {p.stderr[-500:]}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, p.stdout

def record(name, extra, still=False, secs=seconds):
    out = os.path.join(work, name)
    args = [cli, "record", out, "--duration", str(secs), "--rate", "30", "--size", "1280x720",
            "--device", device] + extra + (["--still"] if still else [])
    cpu, wall, text = run(args)
    m = re.search(r"(\d+) frames, (\d+) dropped", text)
    return out, cpu, wall, int(m.group(1)), int(m.group(2))

def psnr(movie, reference):
    p = subprocess.run(["ffmpeg", "-v", "info", "-i", movie, "-loop", "1", "-i", reference, "-lavfi",
                        "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=shortest=1", "-f", "null", "-"],
                       capture_output=True, text=True)
    m = re.search(r"PSNR .* average:([0-9.inf]+)", p.stderr)
    return float(m.group(1)) if m else float("nan")

sound = ["--audio", "44100:16:2"]
mp4, cpu, wall, frames, dropped = record("ours.mp4", sound)
ours = cpu / wall
# The preset and quality the recorder picks for this size and rate (quality 75).
ff_out = os.path.join(work, "ffmpeg.mp4")
ff_cpu, ff_wall, _ = run(["ffmpeg", "-v", "error", "-y", "-re", "-f", "lavfi", "-i",
                          "testsrc2=size=1280x720:rate=30", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100",
                          "-t", str(seconds), "-c:v", "libx264", "-preset", "superfast", "-crf", "23",
                          "-pix_fmt", "yuv420p", "-c:a", "aac", "-ac", "2", "-b:a", "128k",
                          "-movflags", "empty_moov+delay_moov+default_base_moof", "-frag_duration", "500000", ff_out])
theirs = ff_cpu / ff_wall
print(f"MP4/H.264+AAC 1280x720@30, {seconds} s: ours {100 * ours:.1f} % of a core, {frames} frames, "
      f"{dropped} dropped; ffmpeg program {100 * theirs:.1f} % of a core; ratio {ours / theirs:.2f}")

avi, _, _, avi_frames, avi_dropped = record("ours.avi", sound)
per_min = lambda f, n: os.path.getsize(f) / (n / 30.0) * 60 / 2**20
mp4_mb, avi_mb = per_min(mp4, frames), per_min(avi, avi_frames)
reference = os.path.join(work, "pattern.bmp")
subprocess.run([cli, "snapshot", reference, "--size", "1280x720", "--still", "--device", device],
               check=True, capture_output=True)
still_mp4 = record("still.mp4", [], still=True, secs=5)[0]
still_avi = record("still.avi", [], still=True, secs=5)[0]
p_mp4, p_avi = psnr(still_mp4, reference), psnr(still_avi, reference)
print(f"Size per minute at quality 75: MP4/H.264 {mp4_mb:.1f} MiB (PSNR {p_mp4:.1f} dB), "
      f"AVI/Motion JPEG {avi_mb:.1f} MiB (PSNR {p_avi:.1f} dB, {avi_dropped} dropped); "
      f"MP4 is {100 * mp4_mb / avi_mb:.1f} % of AVI")
PY
