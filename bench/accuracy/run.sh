#!/usr/bin/env bash
# The accuracy bench: renders the development corpus with FluidSynth and both
# Debian General MIDI sound fonts (TimGM6mb and FluidR3_GM), adds the real
# recordings of the shared development folder, transcribes every piece with
# and without refinement (--seed), and prints onset F1, onset+offset F1 and
# time per piece, the means of each group (melody, polyphonic, low, real) and
# of the whole corpus as Markdown tables. Per-piece figures also go to
# build/accuracy/results.tsv.
#
#   bench/accuracy/run.sh [SOUNDFONT...]
#
# SONVOLA_REAL_DEV names the folder of the real recordings (default: the
# shared folder beside the project, ../shared/real-dev, when there is one).
# SONVOLA_ACCURACY_NO_BUILD=1 skips the install and build steps.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ -z "${SONVOLA_ACCURACY_NO_BUILD:-}" ]; then
  scripts/install-deps >/dev/null
  # The bench's own needs: fluidsynth and both sound fonts.
  missing=()
  command -v fluidsynth >/dev/null || missing+=(fluidsynth)
  [ -f /usr/share/sounds/sf2/TimGM6mb.sf2 ] || missing+=(timgm6mb-soundfont)
  [ -f /usr/share/sounds/sf2/FluidR3_GM.sf2 ] || missing+=(fluid-soundfont-gm)
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y "${missing[@]}" >/dev/null
  fi
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j"$(nproc)" --target SpecScan TrackJoin NoteFind ScoreToSmf \
    sonvola-refine sonvola-transcribe sonvola-eval >/dev/null
fi

fonts=("$@")
if [ ${#fonts[@]} -eq 0 ]; then
  for f in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
    [ -f "$f" ] && fonts+=("$f")
  done
fi
real=${SONVOLA_REAL_DEV:-}
if [ -z "$real" ]; then
  for d in ../shared/real-dev ../../shared/real-dev; do
    [ -d "$d" ] && real=$(cd "$d" && pwd) && break
  done
fi

out=build/accuracy
mkdir -p "$out"
python3 bench/accuracy/make_corpus.py "$out/corpus"
results="$out/results.tsv"
: >"$results"

f1() { awk -v what="$2" '$1 == what { print $7 }' <<<"$1"; }

# transcribe NAME GROUP AUDIO REFERENCE: one row of results.tsv.
transcribe() {
  local name=$1 group=$2 audio=$3 ref=$4 row=() mode start end scores
  for mode in --seed ""; do
    rm -rf "$out/run"
    start=$(date +%s.%N)
    build/bin/sonvola-transcribe --quiet --output-dir "$out/run" "$audio" $mode >/dev/null 2>&1
    end=$(date +%s.%N)
    cp "$out/run/$(basename "$audio").mid" "$out/est/$name${mode:+.seed}.mid"
    scores=$(build/bin/sonvola-eval "$ref" "$out/est/$name${mode:+.seed}.mid")
    row+=("$(f1 "$scores" onset:)" "$(f1 "$scores" onset+offset:)"
          "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')")
  done
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$group" "${row[0]}" "${row[1]}" \
    "${row[3]}" "${row[4]}" "${row[2]}" "${row[5]}" >>"$results"
}

mkdir -p "$out/est"
total_start=$(date +%s.%N)
for font in "${fonts[@]}"; do
  tag=$(basename "$font" .sf2)
  mkdir -p "$out/$tag"
  while read -r piece group; do
    mid="$out/corpus/$piece.mid"
    wav="$out/$tag/$piece.wav"
    if [ ! -f "$wav" ] || ! cmp -s "$mid" "$out/$tag/$piece.mid"; then
      fluidsynth -ni -g 0.6 -r 44100 -F "$wav" "$font" "$mid" >/dev/null 2>&1
      cp "$mid" "$out/$tag/$piece.mid"
    fi
    transcribe "$piece@$tag" "$group" "$wav" "$out/corpus/$piece.ref.txt"
  done <"$out/corpus/groups.txt"
done
if [ -n "$real" ]; then
  for notes in "$real"/*.notes.txt; do
    piece=$(basename "$notes" .notes.txt)
    transcribe "$piece@real" real "$real/$piece.wav" "$notes"
  done
fi
total_end=$(date +%s.%N)

echo "Sound fonts: $(for f in "${fonts[@]}"; do basename "$f"; done | paste -sd ' ');" \
  "real recordings: ${real:-none}; $(date -u +%F)"
echo
echo "| Piece | onset F1 (seed) | on+off F1 (seed) | onset F1 (refined) | on+off F1 (refined) | time s (seed) | time s (refined) |"
echo "|---|---|---|---|---|---|---|"
awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $3, $4, $5, $6, $7, $8 }' "$results"
echo
echo "| Group | pieces | onset F1 (seed) | on+off F1 (seed) | onset F1 (refined) | on+off F1 (refined) |"
echo "|---|---|---|---|---|---|"
awk -F'\t' '
  { n[$2]++; for (i = 3; i <= 6; i++) s[$2, i] += $i
    N++; for (i = 3; i <= 8; i++) S[i] += $i }
  END {
    split("melody polyphonic low real", order, " ")
    for (g = 1; g <= 4; g++) {
      k = order[g]; if (!(k in n)) continue
      printf "| %s | %d | %.3f | %.3f | %.3f | %.3f |\n", k, n[k],
        s[k, 3] / n[k], s[k, 4] / n[k], s[k, 5] / n[k], s[k, 6] / n[k]
    }
    printf "| **all** | %d | %.3f | %.3f | %.3f | %.3f |\n", N, S[3] / N, S[4] / N, S[5] / N, S[6] / N
    printf "\nMean time per piece: %.2f s with --seed, %.2f s refined.\n", S[7] / N, S[8] / N
  }' "$results"
awk -v a="$total_start" -v b="$total_end" 'BEGIN { printf "Whole bench (rendering included): %.0f s.\n", b - a }'
