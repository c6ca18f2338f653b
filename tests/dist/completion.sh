#!/usr/bin/env bash
# The bash completion of sonvola-transcribe: registered for the command, it
# offers every option of --help, the window names after --window, folders
# after --output-dir, nothing after a number's option, and audio files (by
# extension, any case) and folders elsewhere.
#
#   tests/dist/completion.sh COMPLETION_FILE BIN_DIR
set -euo pipefail
completion=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p "songs/live set" out
touch a.wav B.FLAC c.MP3 d.txt e.wav.txt f.wav.mid "g h.opus" movie.mkv notes.mid

# Prints the completions of the words given, the last being completed, one a
# line, sorted.
complete_words() {
  bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=(sonvola-transcribe "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    _sonvola_transcribe
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@" | LC_ALL=C sort
}

failures=0
expect() {
  local what=$1 want=$2 got=$3
  if [ "$got" != "$want" ]; then
    echo "completion: $what" >&2
    echo "  expected: $(printf '%s' "$want" | tr '\n' '|')" >&2
    echo "  got:      $(printf '%s' "$got" | tr '\n' '|')" >&2
    failures=$((failures + 1))
  fi
}

registered=$(bash --norc --noprofile -c 'source "$1"; complete -p sonvola-transcribe' _ "$completion")
expect "registration" "complete -F _sonvola_transcribe sonvola-transcribe" "$registered"

help_options=$("$bin/sonvola-transcribe" --help | grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z0-9-]*' |
                 sed -E 's/^[^-]*//' | LC_ALL=C sort -u)
expect "every option of --help after -" "$help_options" "$(complete_words -)"
expect "options after --no-" "$(printf '%s\n' --no-amendment --no-estimation)" \
  "$(complete_words --no-)"
expect "window names" "$(printf '%s\n' なし ハニング窓 ハミング窓 ブラックマン窓 三角窓 方形窓 | LC_ALL=C sort)" \
  "$(complete_words --window '')"
expect "window names from a start" "$(printf '%s\n' ハニング窓 ハミング窓 | LC_ALL=C sort)" \
  "$(complete_words a.wav --window ハ)"
expect "nothing for a number" "" "$(complete_words --tempo '')"
expect "nothing for -j" "" "$(complete_words -j '')"
expect "folders for --output-dir" "$(printf '%s\n' out songs)" "$(complete_words --output-dir '')"
expect "audio files and folders" \
  "$(printf '%s\n' B.FLAC a.wav c.MP3 'g h.opus' movie.mkv out songs | LC_ALL=C sort)" \
  "$(complete_words '')"
expect "audio files from a start" "$(printf '%s\n' a.wav)" "$(complete_words --seed a)"
expect "inside a folder with a blank" "songs/live set" "$(complete_words songs/)"
expect "any file for --report" "$(printf '%s\n' e.wav.txt)" "$(complete_words --report e)"

[ "$failures" -eq 0 ]
