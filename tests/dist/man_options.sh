#!/usr/bin/env bash
# Every option a program's --help names is in its manual page, and the pages
# render without a warning.
#
#   tests/dist/man_options.sh BIN_DIR PAGE_DIR PROGRAM...
# A PROGRAM written stage:NAME is one of the four stages: they have no --help
# (their arguments are positional), so their page is checked for --version,
# their one option.
# PAGE_DIR holds PROGRAM.1.gz (built pages) or PROGRAM.1.scd (their sources).
set -euo pipefail
bin=$1
pages=$2
shift 2
status=0

page_text() {
  local program=$1
  if [ -f "$pages/$program.1.gz" ]; then
    # Rendered as man shows it, without hyphenation or line breaks inside
    # words, the minus signs written as hyphens.
    gzip -dc "$pages/$program.1.gz" | preconv | groff -man -Tutf8 -P-cbou -rLL=2000n -rHY=0 \
      2>/dev/null | sed 's/\xe2\x88\x92/-/g; s/\xe2\x80\x90/-/g'
  else
    cat "$pages/$program.1.scd"
  fi
}

for program in "$@"; do
  stage=0
  if [[ $program == stage:* ]]; then
    stage=1
    program=${program#stage:}
  fi
  if [ -f "$pages/$program.1.gz" ]; then
    # The same check as lintian's: groff's warnings.
    warnings=$(gzip -dc "$pages/$program.1.gz" | preconv | groff -man -Tutf8 -ww -z 2>&1 || true)
    if [ -n "$warnings" ]; then
      echo "man_options: $program.1 renders with warnings:" >&2
      echo "$warnings" >&2
      status=1
    fi
    # Compressed as Debian wants: no file name, no time stamp (gzip -n).
    header=$(od -An -tx1 -N8 "$pages/$program.1.gz" | tr -d ' \n')
    if [ "${header:6:2}" != 00 ] || [ "${header:8:8}" != 00000000 ]; then
      echo "man_options: $program.1.gz carries a name or a time (header $header)" >&2
      status=1
    fi
  elif [ ! -f "$pages/$program.1.scd" ]; then
    echo "man_options: no manual page for $program in $pages" >&2
    status=1
    continue
  fi
  if [ $stage = 1 ]; then
    options=--version
  else
    help=$("$bin/$program" --help)
    options=$(printf '%s\n' "$help" | grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z0-9-]*' |
                sed -E 's/^[^-]*//' | sort -u)
  fi
  if [ -z "$options" ]; then
    echo "man_options: $program --help names no option" >&2
    status=1
  fi
  text=$(page_text "$program")
  for option in $options; do
    # A here-string, not a pipe: grep -q stops reading at the first match,
    # and under pipefail the writer's SIGPIPE would count as a miss.
    if ! grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" <<<"$text"; then
      echo "man_options: $program.1 does not mention $option (in its --help)" >&2
      status=1
    fi
  done
  if ! grep -q 'EXIT STATUS' <<<"$text"; then
    echo "man_options: $program.1 has no EXIT STATUS" >&2
    status=1
  fi
done
exit $status
