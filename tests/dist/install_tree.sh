#!/usr/bin/env bash
# An installation as `cmake --install` makes it, into a scratch prefix that is
# then moved elsewhere (the programs find each other from their own path):
# where every file goes, every program's --version, a recording transcribed
# from another folder byte for byte as the build tree transcribes it, and the
# work directory of an installation in $XDG_DATA_HOME/sonvola.
#
#   tests/dist/install_tree.sh BUILD_DIR RECORDING.wav VERSION GUI(ON|OFF) MAN(ON|OFF)
set -euo pipefail
build=$(cd "$1" && pwd)
recording=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
version=$3
gui=$4
man=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "install_tree: $*" >&2
  failures=$((failures + 1))
}

"${CMAKE:-cmake}" --install "$build" --prefix "$work/first" >"$work/install.log" ||
  { cat "$work/install.log" >&2; exit 1; }
mv "$work/first" "$work/moved"
prefix=$work/moved

commands=(sonvola-transcribe sonvola-refine sonvola-eval)
stages=(SpecScan TrackJoin NoteFind ScoreToSmf)
if [ "$gui" = ON ]; then
  commands+=(sonvola sonvola-plot)
  stages+=(sonvola-console)
fi
for c in "${commands[@]}"; do
  [ -x "$prefix/bin/$c" ] || fail "bin/$c missing"
  [ "$man" = ON ] && { [ -f "$prefix/share/man/man1/$c.1.gz" ] || fail "man1/$c.1.gz missing"; }
done
for s in "${stages[@]}"; do
  [ -x "$prefix/libexec/sonvola/$s" ] || fail "libexec/sonvola/$s missing"
  [ -e "$prefix/bin/$s" ] && fail "$s is in bin, not only in libexec/sonvola"
  if [ "$man" = ON ] && [ "$s" != sonvola-console ]; then
    [ -f "$prefix/share/man/man1/$s.1.gz" ] || fail "man1/$s.1.gz missing"
  fi
done
for f in share/applications/sonvola.desktop share/metainfo/io.github.sonvola.Sonvola.metainfo.xml \
  share/icons/hicolor/scalable/apps/sonvola.svg share/bash-completion/completions/sonvola-transcribe \
  share/doc/sonvola/README.md share/doc/sonvola/copyright share/doc/sonvola/changelog.gz \
  share/doc/sonvola/examples/melody.wav; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done

# --version: "NAME VERSION", status 0, for the commands and the stages alike.
for p in "${commands[@]/#/bin/}" "${stages[@]/#/libexec/sonvola/}"; do
  name=$(basename "$p")
  got=$(QT_QPA_PLATFORM=offscreen "$prefix/$p" --version </dev/null) || fail "$name --version failed"
  [ "$got" = "$name $version" ] || fail "$name --version said \"$got\", not \"$name $version\""
done

# A recording transcribed from another folder, through PATH, by a user whose
# home is a scratch folder: the same score and MIDI file as the build tree's.
mkdir -p "$work/home" "$work/songs" "$work/ref"
cp "$recording" "$work/songs/song.wav"
cp "$recording" "$work/ref/song.wav"
(cd "$work" && env -u SONVOLA_WORKDIR -u XDG_DATA_HOME HOME="$work/home" PATH="$prefix/bin:/usr/bin:/bin" \
  sonvola-transcribe --quiet songs/song.wav >"$work/installed.log" 2>&1) ||
  { cat "$work/installed.log" >&2; fail "the installed sonvola-transcribe failed"; }
env -u SONVOLA_WORKDIR "$build/bin/sonvola-transcribe" --quiet "$work/ref/song.wav" >/dev/null 2>&1 ||
  fail "the build tree's sonvola-transcribe failed"
for out in song.wav.txt song.wav.mid; do
  cmp -s "$work/songs/$out" "$work/ref/$out" || fail "$out differs from the build tree's"
done
head -c 4 "$work/songs/song.wav.mid" | grep -q MThd || fail "song.wav.mid is no MIDI file"

# The work directory of an installation is the user's, never the prefix:
# $XDG_DATA_HOME/sonvola, else ~/.local/share/sonvola (the prefix here is
# writable, as ~/.local is).
# SpecScan of the installation from another folder, with the environment given.
stage() {
  (cd "$work" && env -u SONVOLA_WORKDIR "$@" "$prefix/libexec/sonvola/SpecScan" songs/song.wav 10 \
    _msec 512 _点 4096 _点 ハミング窓 </dev/null >"$work/stage.log" 2>&1) ||
    { cat "$work/stage.log" >&2; fail "SpecScan failed in the installed tree ($*)"; }
}
stage -u XDG_DATA_HOME HOME="$work/home"
[ -s "$work/home/.local/share/sonvola/SpecScan.txt" ] ||
  fail "SpecScan.txt is not in ~/.local/share/sonvola"
mkdir -p "$work/xdg"
stage HOME="$work/home" XDG_DATA_HOME="$work/xdg"
[ -s "$work/xdg/sonvola/SpecScan.txt" ] || fail "SpecScan.txt is not in \$XDG_DATA_HOME/sonvola"
leftovers=$(find "$prefix" -name 'SpecScan.txt' -o -name 'Wave_File_Format.txt')
[ -z "$leftovers" ] || fail "work files inside the installation: $leftovers"
if [ "$gui" = ON ]; then
  # sonvola-plot reads the same work directory.
  env -u SONVOLA_WORKDIR HOME="$work/home" XDG_DATA_HOME="$work/xdg" \
    "$prefix/bin/sonvola-plot" "$work/peaks.png" 2>"$work/plot.log" || { cat "$work/plot.log" >&2; fail "sonvola-plot failed"; }
  head -c 8 "$work/peaks.png" | grep -q PNG || fail "sonvola-plot wrote no PNG"
fi

[ "$failures" -eq 0 ] || exit 1
echo "install_tree: ${#commands[@]} commands, ${#stages[@]} programs in libexec/sonvola, work directory in XDG_DATA_HOME"
