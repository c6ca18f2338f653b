#!/usr/bin/env bash
# The Debian package as a user gets it: its control fields, where its files
# go, its manual pages compressed as Debian wants them, its programs unpacked
# (dpkg-deb -x) into a scratch folder transcribing a recording from another
# folder, and lintian's verdict where lintian is installed (errors fail;
# warnings are shown).
#
#   tests/dist/deb_check.sh sonvola_VERSION_ARCH.deb RECORDING.wav
set -euo pipefail
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
recording=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "deb_check: $*" >&2
  failures=$((failures + 1))
}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = sonvola ] || fail "Package is \"$(field Package)\""
version=$(field Version)
[ "$(basename "$deb")" = "sonvola_${version}_$(field Architecture).deb" ] ||
  fail "the file name $(basename "$deb") does not match version $version"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libfluidsynth3 libavcodec libtbb; do
  [[ $depends == *$lib* ]] || fail "Depends lacks $lib: $depends"
done
recommends=$(field Recommends)
for p in timgm6mb-soundfont parallel; do
  [[ $recommends == *$p* ]] || fail "Recommends lacks $p: $recommends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/sonvola usr/bin/sonvola-transcribe usr/bin/sonvola-refine usr/bin/sonvola-eval \
  usr/bin/sonvola-plot usr/libexec/sonvola/SpecScan usr/libexec/sonvola/TrackJoin \
  usr/libexec/sonvola/NoteFind usr/libexec/sonvola/ScoreToSmf usr/libexec/sonvola/sonvola-console \
  usr/share/applications/sonvola.desktop usr/share/metainfo/io.github.sonvola.Sonvola.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/sonvola.svg usr/share/icons/hicolor/48x48/apps/sonvola.png \
  usr/share/bash-completion/completions/sonvola-transcribe usr/share/doc/sonvola/copyright \
  usr/share/doc/sonvola/changelog.gz; do
  [ -e "$root/$f" ] || fail "$f missing"
done
for page in sonvola sonvola-transcribe sonvola-refine sonvola-eval sonvola-plot SpecScan TrackJoin \
  NoteFind ScoreToSmf; do
  gz=$root/usr/share/man/man1/$page.1.gz
  [ -f "$gz" ] || { fail "man1/$page.1.gz missing"; continue; }
  header=$(od -An -tx1 -N10 "$gz" | tr -d ' \n')
  # gzip -9n: no name (flag 08), no time, maximum compression (extra flags 02).
  [ "${header:6:2}" = 00 ] && [ "${header:8:8}" = 00000000 ] && [ "${header:16:2}" = 02 ] ||
    fail "$page.1.gz is not compressed with gzip -9n (header $header)"
done
file "$root/usr/libexec/sonvola/SpecScan" 2>/dev/null | grep -q 'not stripped' &&
  fail "the programs are not stripped"

# The unpacked programs transcribe a recording from another folder.
mkdir -p "$work/songs" "$work/home"
cp "$recording" "$work/songs/song.wav"
(cd "$work/songs" && env -u SONVOLA_WORKDIR HOME="$work/home" \
  "$root/usr/bin/sonvola-transcribe" --quiet song.wav >"$work/run.log" 2>&1) ||
  { cat "$work/run.log" >&2; fail "the unpacked sonvola-transcribe failed"; }
head -c 4 "$work/songs/song.wav.mid" 2>/dev/null | grep -q MThd ||
  fail "the unpacked sonvola-transcribe wrote no MIDI file"
[ "$("$root/usr/bin/sonvola-transcribe" --version)" = "sonvola-transcribe $version" ] ||
  fail "sonvola-transcribe --version does not say $version"

if command -v lintian >/dev/null; then
  # Errors fail; warnings and notes are shown.
  lintian --tag-display-limit 0 --display-info "$deb" >"$work/lintian.log" 2>&1 || true
  cat "$work/lintian.log"
  grep -q '^E: ' "$work/lintian.log" && fail "lintian found errors"
else
  echo "deb_check: lintian not installed, not run"
fi

[ "$failures" -eq 0 ] || exit 1
echo "deb_check: $(basename "$deb") checked"
