#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and checks what a packager
# and a user meet: the files in their places, a desktop entry and metainfo that
# the freedesktop validators accept, and an installed program that starts away
# from the source tree and finds its data beside itself.
# Usage: install-check.sh BUILD-DIR
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage/install.log"
root=$stage/usr

fail() { echo "install-check: $*" >&2; exit 1; }

files=(
  bin/lumivark
  share/lumivark/camera.wav
  share/lumivark/lmvkua.iva
  share/lumivark/codec.lv
  share/lumivark/help/index.html
  share/icons/hicolor/scalable/apps/lumivark.svg
  share/applications/org.lumivark.Lumivark.desktop
  share/metainfo/org.lumivark.Lumivark.metainfo.xml
  share/man/man1/lumivark.1
)
for size in 16 22 24 32 48 64 128 256; do
  files+=("share/icons/hicolor/${size}x${size}/apps/lumivark.png")
done
for f in "${files[@]}"; do
  [ -f "$root/$f" ] || fail "missing $f"
done
[ -x "$root/bin/lumivark" ] || fail "bin/lumivark is not executable"

# Each PNG is of the size its folder names (read back by ImageMagick).
for size in 16 48 256; do
  got=$(identify -format '%wx%h' "$root/share/icons/hicolor/${size}x${size}/apps/lumivark.png")
  [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done

desktop-file-validate "$root/share/applications/org.lumivark.Lumivark.desktop" || fail "desktop entry refused"
appstreamcli validate --no-net "$root/share/metainfo/org.lumivark.Lumivark.metainfo.xml" || fail "metainfo refused"
man -l "$root/share/man/man1/lumivark.1" >/dev/null 2>"$stage/man.err" || fail "man page unreadable"
[ ! -s "$stage/man.err" ] || fail "man page warnings: $(cat "$stage/man.err")"

# The installed program, started from an unrelated folder with a fresh home:
# it reports the data folder it uses and leaves at its first live frame.
mkdir -p "$stage/home" "$stage/run" "$stage/elsewhere"
chmod 700 "$stage/run"
cd "$stage/elsewhere"
env -i PATH=/usr/bin:/bin HOME="$stage/home" XDG_RUNTIME_DIR="$stage/run" \
  XDG_CONFIG_HOME="$stage/home/.config" XDG_DATA_HOME="$stage/home/.local/share" \
  QT_QPA_PLATFORM=offscreen LUMIVARK_STARTUP_PROBE=1 QT_LOGGING_RULES='lumivark.app.debug=true' \
  timeout 120 "$root/bin/lumivark" >"$stage/out.log" 2>"$stage/err.log" || {
    cat "$stage/err.log" >&2
    fail "the installed program did not start"
  }
grep -q '^first-frame ' "$stage/out.log" || fail "no live frame from the installed program"
want="data folder: $(cd "$root/share/lumivark" && pwd -P)/"
grep -qF "$want" "$stage/err.log" || { cat "$stage/err.log" >&2; fail "expected '$want'"; }
echo "install-check: all files in place, validators pass, installed program found $want"
