#!/usr/bin/env bash
# The front end as a person uses it, under a real X server (Xvfb) with a
# window manager (openbox), driven by xdotool: open a recording given on the
# command line, run (1) in its console and answer its RETURN prompt there
# while the main window is shown, then run all four stages with Ctrl+R, in
# Japanese and in English. Screenshots of every step go to SHOT_DIR.
#
# The English run names the recording by a relative path, from the folder it
# is in, as a file manager or a terminal may.
#
#   tests/e2e/frontend_e2e.sh BIN_DIR RECORDING.wav SHOT_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
recording=$2
shots=$3
mkdir -p "$shots"

work=$(mktemp -d)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  pkill -f "sonvola-console.*$work" 2>/dev/null || true
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "frontend_e2e: $*" >&2
  for log in "$work"/*.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; } >&2
  done
  shot failure
  exit 1
}

# A display of our own: Xvfb picks a free number and tells it.
exec {dfd}<> <(:)
Xvfb -displayfd "$dfd" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -t 20 number <&"$dfd" || fail "Xvfb did not start"
export DISPLAY=":$number"
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

step=0
shot() {
  step=$((step + 1))
  import -window root "$shots/$(printf '%02d' $step)-$1.png" 2>/dev/null || true
}

# Waits up to $2 seconds (default 30) for a window whose name matches $1.
window() {
  local id
  for _ in $(seq 1 $((${2:-30} * 5))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Waits up to $2 seconds for the file $1.
file_appears() {
  for _ in $(seq 1 $(($2 * 5))); do
    [ -s "$1" ] && return 0
    sleep 0.2
  done
  return 1
}

# Clicks at (x, y) of window $1.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

# Dismisses the one-time "no audio output" box, if there is one.
dismiss_notice() {
  local box
  if box=$(window '^Sonvola$' 3); then
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
    sleep 0.5
  fi
}

run_language() {
  local lang=$1 title=$2 name=$3
  rm -rf "$work/$lang"
  # A runtime folder of its own (0700, as the front end wants it), so that a
  # front end the user has open elsewhere is not the one that answers.
  mkdir -m 700 "$work/$lang"
  mkdir "$work/$lang/work"
  cp "$recording" "$work/$lang/song.wav"
  (cd "$work/$lang" && SONVOLA_LANG=$lang SONVOLA_WORKDIR="$work/$lang/work" \
    XDG_RUNTIME_DIR="$work/$lang" exec "$bin/sonvola" "$name") >"$work/$lang.log" 2>&1 &
  app=$!
  local main
  main=$(window "$title") || fail "$lang: the main window did not appear"
  dismiss_notice
  shot "$lang-opened"

  # (1): its console comes up; a click into its input line and RETURN end
  # SpecScan while the main window is shown.
  click "$main" 370 90
  local console
  console=$(window '^SpecScan$' 30) || fail "$lang: no console for SpecScan"
  file_appears "$work/$lang/work/SpecScan.txt" 60 || fail "$lang: SpecScan wrote no list"
  sleep 0.5
  shot "$lang-console-waits"
  eval "$(xdotool getwindowgeometry --shell "$console")"
  click "$console" $((WIDTH / 2)) $((HEIGHT - 14))
  xdotool key Return
  # SpecScan itself (not its console, which stays open) has ended.
  for _ in $(seq 1 50); do
    pgrep -f "^$bin/SpecScan $work/$lang/song.wav" >/dev/null || break
    sleep 0.2
  done
  pgrep -f "^$bin/SpecScan $work/$lang/song.wav" >/dev/null &&
    fail "$lang: the console took no RETURN (the main window blocks it?)"
  shot "$lang-console-answered"
  xdotool windowclose "$console" 2>/dev/null || xdotool windowkill "$console"

  # Ctrl+R: all four stages, each console answering by itself.
  xdotool windowactivate --sync "$main" key ctrl+r
  file_appears "$work/$lang/song.wav.mid" 120 || fail "$lang: Ctrl+R made no MIDI file"
  sleep 1
  shot "$lang-all-four-stages"

  # The piano roll of the score.
  xdotool windowactivate --sync "$main" key ctrl+p
  sleep 1.5
  shot "$lang-piano-roll"

  kill "$app"
  wait "$app" 2>/dev/null || true
  app=
  pkill -f "sonvola-console.*$work/$lang" 2>/dev/null || true
  sleep 0.5
}

run_language ja 'Sonvola  ver1.40' "$work/ja/song.wav"
run_language en 'Sonvola  ver1.40' song.wav
grep -q "MThd" "$work/ja/song.wav.mid" && grep -q "MThd" "$work/en/song.wav.mid" ||
  fail "a MIDI file is not one"
echo "frontend_e2e: both languages: console input, all four stages, piano roll; screenshots in $shots"
