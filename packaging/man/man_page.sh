#!/usr/bin/env bash
# A program's man page from its --help, as help2man makes it, with what help2man cannot find
# there: every form of the synopsis (help2man keeps the first line only, and a wrapped one
# cut short), each command's own help, and the hand-written sections of SECTIONS.
#   man_page.sh HELP2MAN PROGRAM VERSION SUMMARY SECTIONS OUT [COMMAND...]
set -euo pipefail
help2man=$1 program=$2 version=$3 summary=$4 sections=$5 out=$6
shift 6
name=${program##*/}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"; }

forms() { awk -v name="$name" -f "$(dirname "$0")/usage_forms.awk"; }

{
  printf "[SYNOPSIS]\n.ad l\n.nh\n"
  {
    "$program" --help | forms
    for command in "$@"; do "$program" "$command" --help | forms; done
  } | awk '!seen[$0]++' | while IFS= read -r form; do
    printf '.B %s\n%s\n.br\n' "$name" "$(printf '%s\n' "${form#"$name"}" | sed 's/^ *//' | roff)"
  done
  if [ $# -gt 0 ]; then
    echo "[COMMANDS]"
    for command in "$@"; do
      printf '.SS %s\n.nf\n' "$command"
      "$program" "$command" --help | roff
      printf '.fi\n'
    done
  fi
  cat "$sections"
} >"$work/include"

# help2man reads the program's help without its usage block, which the synopsis above replaces.
cat >"$work/$name" <<WRAPPER
#!/bin/sh
[ "\$1" = --help ] || exec "$program" "\$@"
"$program" --help | awk '/^Usage: /{skip=1} skip&&/^\$/{skip=0;next} !skip'
WRAPPER
chmod +x "$work/$name"
"$help2man" --no-info --version-string="$version" --name="$summary" --include="$work/include" \
  "$work/$name" | gzip -9n >"$out"
