#!/usr/bin/env bash
# The accuracy bench: renders the development corpus with FluidSynth and a
# Debian General MIDI sound font, transcribes every piece with and without
# refinement (--seed), and prints onset F1, onset+offset F1 and time per
# piece and on average as a Markdown table.
#
#   bench/accuracy/run.sh [SOUNDFONT]
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/install-deps >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

font=${1:-}
if [ -z "$font" ]; then
  for f in /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/TimGM6mb.sf2; do
    [ -f "$f" ] && font=$f && break
  done
fi
out=build/accuracy
rm -rf "$out"; mkdir -p "$out"
python3 bench/accuracy/make_corpus.py "$out"

f1() { awk -v what="$2" '$1 == what { print $7 }' <<<"$1"; }
seconds() { awk '{ printf "%.2f", $1 }' <<<"$1"; }

echo "Sound font: $(basename "$font"); $(date -u +%F)"
echo
echo "| Piece | onset F1 (seed) | on+off F1 (seed) | onset F1 (refined) | on+off F1 (refined) | time s (seed) | time s (refined) |"
echo "|---|---|---|---|---|---|---|"
sum=(0 0 0 0 0 0); n=0
for mid in "$out"/*.mid; do
  name=$(basename "$mid" .mid)
  fluidsynth -ni -g 0.6 -r 44100 -F "$out/$name.wav" "$font" "$mid" >/dev/null 2>&1
  row=()
  for mode in --seed ""; do
    start=$(date +%s.%N)
    build/bin/sonvola-transcribe "$out/$name.wav" $mode >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    cp "$out/$name.wav.mid" "$out/$name${mode:+.seed}.est.mid"
    scores=$(build/bin/sonvola-eval "$out/$name.ref.txt" "$out/$name.wav.mid")
    row+=("$(f1 "$scores" onset:)" "$(f1 "$scores" onset+offset:)" "$(seconds "$t")")
  done
  echo "| $name | ${row[0]} | ${row[1]} | ${row[3]} | ${row[4]} | ${row[2]} | ${row[5]} |"
  vals=("${row[0]}" "${row[1]}" "${row[3]}" "${row[4]}" "${row[2]}" "${row[5]}")
  for i in 0 1 2 3 4 5; do sum[$i]=$(echo "${sum[$i]} + ${vals[$i]}" | bc -l); done
  n=$((n + 1))
done
mean() { echo "scale=3; $1 / $n" | bc -l | awk '{ printf "%.3f", $1 }'; }
echo "| **mean** | $(mean "${sum[0]}") | $(mean "${sum[1]}") | $(mean "${sum[2]}") | $(mean "${sum[3]}") | $(mean "${sum[4]}") | $(mean "${sum[5]}") |"
