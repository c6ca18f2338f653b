#!/usr/bin/env bash
# Output identity check for speed work: runs the four stages of two builds
# on the same recordings with several parameter sets and compares every file
# they write (peak list, linked peaks, score text, refined score, MIDI file)
# byte for byte.
#
#   bench/identity.sh REFERENCE_BIN_DIR [CANDIDATE_BIN_DIR]   (default build/bin)
#
# Make the reference build from the commit before a change, for example:
#   git worktree add /tmp/ref HEAD~1 && cmake -S /tmp/ref -B /tmp/ref/build \
#     -DCMAKE_BUILD_TYPE=Release && cmake --build /tmp/ref/build -j
#   bench/identity.sh /tmp/ref/build/bin
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: bench/identity.sh REFERENCE_BIN_DIR [CANDIDATE_BIN_DIR]" >&2; exit 2; }
ref=$(cd "$1" && pwd)
new=$(cd "${2:-build/bin}" && pwd)
[ -x build/bench/bench_gen_recording ] || cmake --build build --target bench_gen_recording >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Recordings: the example, a generated 3-minute piece, and an 8-bit mono
# 22050 Hz version of the example (the other sample formats and rates).
cp examples/melody.wav "$work/melody.wav"
build/bench/bench_gen_recording "$work/music.wav" 180 1 >/dev/null
python3 - "$work/melody.wav" "$work/mono8.wav" <<'PY'
import struct, sys, wave
with wave.open(sys.argv[1]) as w:
    frames = w.readframes(w.getnframes())
    ch = w.getnchannels()
samples = struct.unpack("<%dh" % (len(frames) // 2), frames)[::ch][::2]
with wave.open(sys.argv[2], "wb") as o:
    o.setnchannels(1); o.setsampwidth(1); o.setframerate(22050)
    o.writeframes(bytes((s >> 8) + 128 for s in samples))
PY

# name|recording|SpecScan arguments after the file|TrackJoin arguments
sets=(
  "default|music.wav|10 _msec 512 _点 4096 _点 ハミング窓|120 _tempo 128 _分音符"
  "melody|melody.wav|10 _msec 512 _点 4096 _点 ハミング窓|120 _tempo 128 _分音符"
  "blackman|melody.wav|5 _msec 1024 _点 8192 _点 ブラックマン窓|90 _tempo 64 _分音符"
  "triangle|mono8.wav|20 _msec 256 _点 2048 _点 三角窓|150 _tempo 32 _分音符"
  "none|mono8.wav|7 _msec 300 _点 512 _点 なし|120 _tempo 128 _分音符"
)

run() {  # bin dir, out dir, recording, specscan args, trackjoin args
  local bin=$1 out=$2 wav=$3
  mkdir -p "$out"
  cp "$work/$wav" "$out/$wav"
  (
    cd "$out"
    export SONVOLA_WORKDIR=$out
    # shellcheck disable=SC2086
    "$bin/SpecScan" "$wav" $4 </dev/null >/dev/null 2>&1
    # shellcheck disable=SC2086
    "$bin/TrackJoin" $5 </dev/null >/dev/null 2>&1
    "$bin/NoteFind" 120 _tempo 128 _分音符 4 / 4 1 </dev/null >/dev/null 2>&1
    "$bin/sonvola-refine" "$wav.txt" refined.txt </dev/null >/dev/null 2>&1
    "$bin/ScoreToSmf" "$wav.txt" "$wav.mid" </dev/null >/dev/null 2>&1
  ) || true
}

status=0
for s in "${sets[@]}"; do
  IFS='|' read -r name wav scan join <<<"$s"
  run "$ref" "$work/ref-$name" "$wav" "$scan" "$join"
  run "$new" "$work/new-$name" "$wav" "$scan" "$join"
  for f in SpecScan.txt TrackJoin.txt "$wav.txt" refined.txt "$wav.mid"; do
    if [ ! -s "$work/ref-$name/$f" ]; then
      echo "$name: $f missing in the reference run"; status=1
    elif cmp -s "$work/ref-$name/$f" "$work/new-$name/$f"; then
      echo "$name: $f identical ($(wc -c <"$work/new-$name/$f") bytes)"
    else
      echo "$name: $f DIFFERS"; status=1
    fi
  done
done
exit $status
