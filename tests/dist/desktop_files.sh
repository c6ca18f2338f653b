#!/usr/bin/env bash
# The menu entry and the AppStream metadata pass their validators (where
# desktop-file-utils and appstream are installed), and they agree: the
# metadata launches the entry, the entry starts sonvola with a file and
# shows the installed icon.
#
#   tests/dist/desktop_files.sh sonvola.desktop METAINFO.xml ICON.svg
set -euo pipefail
desktop=$1
metainfo=$2
icon=$3
status=0
fail() {
  echo "desktop_files: $*" >&2
  status=1
}

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) || true
  [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  echo "desktop_files: desktop-file-validate not installed, not run"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --no-color "$metainfo" >"${TMPDIR:-/tmp}/appstream.$$" 2>&1 ||
    fail "appstreamcli validate: $(cat "${TMPDIR:-/tmp}/appstream.$$")"
  rm -f "${TMPDIR:-/tmp}/appstream.$$"
else
  echo "desktop_files: appstreamcli not installed, not run"
fi

grep -qx 'Exec=sonvola %f' "$desktop" || fail "Exec is not \"sonvola %f\""
grep -qx 'Icon=sonvola' "$desktop" || fail "Icon is not sonvola"
[ "$(basename "$icon")" = sonvola.svg ] || fail "the icon is not named sonvola.svg"
grep -q '<launchable type="desktop-id">'"$(basename "$desktop")"'</launchable>' "$metainfo" ||
  fail "the metadata does not launch $(basename "$desktop")"
grep -q '<release version="[0-9]' "$metainfo" || fail "the metadata names no release version"
for type in audio/x-wav audio/flac audio/mpeg audio/x-vorbis+ogg audio/x-opus+ogg audio/mp4 \
  audio/x-aiff audio/midi video/mp4; do
  grep -q "^MimeType=.*$type;" "$desktop" || fail "MimeType lacks $type"
done
exit $status
