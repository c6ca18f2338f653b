#!/usr/bin/env bash
# The README's recipe for many machines, run with GNU parallel on this
# machine alone (-S : stands for the list of hosts): every recording gets its
# score and MIDI file, and a second run with --resume does nothing.
#
#   tests/e2e/parallel_recipe.sh BIN_DIR RECORDING.wav
set -euo pipefail
bin=$(cd "$1" && pwd)
example=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export PATH="$bin:$PATH"
unset SONVOLA_WORKDIR

mkdir -p recordings/day1 recordings/day2
cp "$example" recordings/day1/a.wav
cp "$example" recordings/day1/b.wav
cp "$example" "recordings/day2/c with blanks.wav"
find recordings -name '*.wav' | sort > files.txt

# The recipe, as the README gives it, with ":" (this machine) as the hosts.
recipe() {
  parallel -S : --transferfile {} --return {}.txt --return {}.mid --return {}.sonvola \
    --cleanup --joblog jobs.log "$@" \
    sonvola-transcribe -j 1 --quiet {} :::: files.txt
}

recipe --resume-failed
while read -r f; do
  for out in "$f.txt" "$f.mid" "$f.sonvola"; do
    [ -s "$out" ] || { echo "parallel_recipe: $out missing" >&2; exit 1; }
  done
  head -c 4 "$f.mid" | grep -q MThd || { echo "parallel_recipe: $f.mid is no MIDI file" >&2; exit 1; }
done < files.txt
ran=$(($(wc -l < jobs.log) - 1))
[ "$ran" -eq 3 ] || { echo "parallel_recipe: $ran jobs in the log, not 3" >&2; exit 1; }

stamp=$(stat -c %Y.%N recordings/day1/a.wav.mid)
recipe --resume
[ "$(($(wc -l < jobs.log) - 1))" -eq 3 ] || { echo "parallel_recipe: --resume ran jobs again" >&2; exit 1; }
[ "$(stat -c %Y.%N recordings/day1/a.wav.mid)" = "$stamp" ] ||
  { echo "parallel_recipe: --resume rewrote an output" >&2; exit 1; }
echo "parallel_recipe: 3 recordings transcribed through GNU parallel; --resume did nothing"
