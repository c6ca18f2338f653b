#!/usr/bin/env bash
# Reproducible benchmark: generates long music-like recordings (44.1 kHz
# 16-bit stereo), runs every stage and sonvola-transcribe on them with
# /usr/bin/time -v, runs aubionotes on the same files for comparison, and the
# Google Benchmark figures of the hot functions. Prints a Markdown table.
#
#   bench/run.sh [MINUTES...]      default: 3 30
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=("$@")
[ ${#minutes[@]} -gt 0 ] || minutes=(3 30)

scripts/install-deps >/dev/null
if ! command -v aubionotes >/dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends aubio-tools >/dev/null 2>&1 || true
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

data=${SONVOLA_BENCH_DIR:-build/bench-data}
mkdir -p "$data"

# wall seconds, CPU seconds, peak MB of one command: the run with the least
# CPU time of SONVOLA_BENCH_RUNS runs (default 3), as shared machines are noisy
runs=${SONVOLA_BENCH_RUNS:-3}
measure() {
  local log best="" line
  log=$(mktemp)
  for _ in $(seq "$runs"); do
    /usr/bin/time -v "$@" </dev/null >/dev/null 2>"$log" || { echo "failed: $*" >&2; tail -5 "$log" >&2; }
    line=$(awk -F': ' '
      /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = (n == 3) ? p[1] * 3600 + p[2] * 60 + p[3] : p[1] * 60 + p[2] }
      /User time/ { cpu += $2 } /System time/ { cpu += $2 }
      /Maximum resident/ { mb = $2 / 1024 }
      END { printf "%.2f | %.2f | %.0f", wall, cpu, mb }' "$log")
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x, "|"); split(b, y, "|"); exit !(x[2] + 0 < y[2] + 0) }'; then
      best=$line
    fi
  done
  rm -f "$log"
  echo "$best"
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); $(date -u +%F)"
echo
echo "| Recording | Program | Wall s | CPU s | Peak MB |"
echo "|---|---|---|---|---|"
for m in "${minutes[@]}"; do
  wav="$data/music-${m}min.wav"
  [ -f "$wav" ] || build/bench/bench_gen_recording "$wav" $((m * 60)) 1
  work="$data/work-$m"
  rm -rf "$work"; mkdir -p "$work"
  export SONVOLA_WORKDIR="$work"
  # SpecScan on one thread, then on its default (every core it may use).
  echo "| $m min | SpecScan, 1 thread | $(measure env SONVOLA_THREADS=1 build/bin/SpecScan "$wav" 10 _msec 512 _点 4096 _点 ハミング窓) |"
  echo "| $m min | SpecScan | $(measure env -u SONVOLA_THREADS build/bin/SpecScan "$wav" 10 _msec 512 _点 4096 _点 ハミング窓) |"
  echo "| $m min | TrackJoin | $(measure build/bin/TrackJoin 120 _tempo 128 _分音符) |"
  echo "| $m min | NoteFind | $(measure build/bin/NoteFind 120 _tempo 128 _分音符 4 / 4 1) |"
  # As sonvola-transcribe runs it: with the run's peak and track lists.
  echo "| $m min | sonvola-refine | $(measure build/bin/sonvola-refine "$wav.txt" "$work/refined.txt" \
    --peaks "$work/SpecScan.txt" --tracks "$work/TrackJoin.txt") |"
  echo "| $m min | ScoreToSmf | $(measure build/bin/ScoreToSmf "$wav.txt" "$wav.mid") |"
  unset SONVOLA_WORKDIR
  echo "| $m min | sonvola-transcribe | $(measure build/bin/sonvola-transcribe "$wav") |"
  if command -v aubionotes >/dev/null; then
    echo "| $m min | aubionotes | $(measure aubionotes -i "$wav") |"
  fi
done
echo
build/bench/bench_hot --benchmark_format=console 2>/dev/null | grep -E '^(BM_|Benchmark|-)'
