#!/usr/bin/env bash
# Every relative link in README.md and docs/*.md leads somewhere: the file it names exists, and an
# #anchor names a heading of that page as GitHub spells it (lowercase, each space a '-',
# punctuation dropped, a repeated heading -1, -2, ...). Code blocks and code spans are not read.
# Web addresses are not followed: a test must not need the network.
# Usage: check_links.sh SOURCE_DIR. Prints each broken link as FILE:LINE and exits 1 if any.
set -euo pipefail

root=${1:?usage: check_links.sh SOURCE_DIR}
cd "$root"

# The anchors of a page, one a line. Non-ASCII bytes are kept as letters (the pages' headings are
# ASCII; GitHub would also drop non-ASCII punctuation).
anchors() {
  LC_ALL=C awk '
    BEGIN { for (i = 32; i < 127; i++) ascii = ascii sprintf("%c", i) }
    /^[ \t]*(```|~~~)/ { fence = !fence; next }
    fence { next }
    match($0, /^#+[ \t]/) && RLENGTH <= 7 {
      text = substr($0, RLENGTH + 1)
      sub(/[ \t]+#+[ \t]*$/, "", text)
      gsub(/\]\([^)]*\)/, "", text)   # a link keeps its text only
      gsub(/^[ \t]+|[ \t]+$/, "", text)
      text = tolower(text)
      slug = ""
      for (i = 1; i <= length(text); i++) {
        c = substr(text, i, 1)
        if (index("abcdefghijklmnopqrstuvwxyz0123456789_-", c) || index(ascii, c) == 0) slug = slug c
        else if (c == " ") slug = slug "-"
      }
      n = seen[slug]++
      print (n ? slug "-" n : slug)
    }' "$1"
}

# "LINE TARGET" for each link and image of a page outside code.
links() {
  LC_ALL=C awk '
    /^[ \t]*(```|~~~)/ { fence = !fence; next }
    fence { next }
    {
      line = $0
      gsub(/`[^`]*`/, "", line)
      while (match(line, /\]\([^) \t]*[) \t]/)) {
        print NR, substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$1"
}

broken=0
checked=0
for page in README.md docs/*.md; do
  while read -r line target; do
    checked=$((checked + 1))
    case "$target" in
      [a-zA-Z]*:*) continue ;;  # a web address or mail
    esac
    path=${target%%#*}
    anchor=
    [[ "$target" == *'#'* ]] && anchor=${target#*#}
    if [ -z "$path" ]; then
      file=$page
    else
      file=$(dirname "$page")/$path
    fi
    if [ ! -e "$file" ]; then
      echo "$page:$line: broken link '$target': no file $file"
      broken=$((broken + 1))
    elif [ -n "$anchor" ] && [[ "$file" == *.md ]] && ! anchors "$file" | grep -qxF -- "$anchor"; then
      echo "$page:$line: broken link '$target': no heading of $file has the anchor '$anchor'"
      broken=$((broken + 1))
    fi
  done < <(links "$page")
done

if [ "$checked" -eq 0 ]; then
  echo "no link found in README.md and docs/*.md: the reader of links is broken"
  exit 1
fi
echo "$checked links checked, $broken broken"
[ "$broken" -eq 0 ]
