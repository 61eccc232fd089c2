# The forms of a --help's usage block, one a line, blanks squeezed: a line that starts with the
# program's name (awk -v name=PROGRAM) begins one, any other line of the block continues the one
# before (a form too long for one line).
/^Usage: / { sub(/^Usage: +/, ""); inside = 1 }
inside && /^$/ { exit }
inside {
  sub(/^ +/, "")
  gsub(/ +/, " ")
  if (index($0, name " ") == 1 || $0 == name) { if (form != "") print form; form = $0 }
  else form = form " " $0
}
END { if (form != "") print form }
