#!/usr/bin/env bash
# What lintian does not look at in the packages: hardened binaries without the build's path,
# control fields, maintainer scripts, shipped files and the documents that name them, and man
# pages that hold each program's whole synopsis.
#   package_contents.sh PACKAGES_DIR ROOT SOURCE_DIR   ROOT: every package unpacked into it
set -uo pipefail
packages=$1 root=$2 source=$3
status=0
fail() { echo "package check: $*" >&2; status=1; }
deb() { echo "$packages/$1"_*.deb; }

# ---- the binaries: Debian's hardening, and no path of the build tree -------------------------
# file (a glob under ROOT)              checks
elf_table="
usr/bin/strivex-host                    pie relro now canary fortify nopath
usr/bin/strivex-cli                     pie relro now canary fortify nopath
usr/bin/medianex-relay                  pie relro now canary fortify nopath
usr/lib/*/strivex/strivex-odbc-helper   pie relro now canary nopath
usr/lib/*/strivex/strivex-instance-chooser pie relro now nopath
usr/lib/*/strivex/libstrivex.so         relro now canary fortify nopath
usr/lib/*/strivex/libmedianex-platform.so relro now nopath
"
elf_has() {  # readelf's whole answer first: grep -q ending a pipe early would fail it
  local file=$1 check=$2
  case "$check" in
    pie) grep -q 'Type: *DYN' <<<"$(readelf -h "$file")" && grep -q 'FLAGS_1.*PIE' <<<"$(readelf -d "$file")" ;;
    relro) grep -q GNU_RELRO <<<"$(readelf -lW "$file")" ;;
    now) grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$(readelf -d "$file")" ;;
    canary) grep -q '__stack_chk_fail' <<<"$(readelf --dyn-syms -W "$file")" ;;
    fortify) grep -Eq '__[a-z_]+_chk@' <<<"$(readelf --dyn-syms -W "$file")" ;;
    nopath) ! grep -qaF "$source" "$file" ;;
  esac
}
while read -r pattern checks; do
  [ -n "$pattern" ] || continue
  files=("$root"/$pattern)
  [ -f "${files[0]}" ] || { fail "$pattern: not shipped"; continue; }
  for check in $checks; do
    elf_has "${files[0]}" "$check" || fail "$pattern: no $check"
  done
done <<<"$elf_table"

# ---- control fields ------------------------------------------------------------------------
# package          field        has (+) or lacks (-)   relation
control_table="
strivex            Depends      -  tdsodbc
strivex            Recommends   +  tdsodbc
strivex            Recommends   +  logrotate
"
while read -r package field sign relation; do
  [ -n "$package" ] || continue
  value=$(dpkg-deb -f "$(deb "$package")" "$field")
  listed=0
  tr ',' '\n' <<<"$value" | sed 's/^ *//' | grep -qF -- "$relation" && listed=1
  [ "$sign" = + ] && [ "$listed" -eq 0 ] && fail "$package: $field lacks '$relation': $value"
  [ "$sign" = - ] && [ "$listed" -eq 1 ] && fail "$package: $field has '$relation': $value"
done <<<"$control_table"

# ---- maintainer scripts: each package's three, systemctl used as Debian's unit helpers use it
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
for package in strivex medianex-relay; do
  dpkg-deb -e "$(deb "$package")" "$control/$package"
  for script in postinst prerm postrm; do
    file="$control/$package/$script"
    [ -x "$file" ] || { fail "$package: no executable $script"; continue; }
    # Units start and stop through policy-rc.d (deb-systemd-invoke); systemctl itself only
    # reloads or lists, and only where systemd runs: a chroot or a container has none.
    grep -n 'systemctl ' "$file" | grep -Ev 'daemon-reload|list-units' | grep -v '^[0-9]*:[[:space:]]*#' &&
      fail "$package $script: systemctl called for more than a reload"
    if grep -q 'systemctl .*daemon-reload' "$file" && ! grep -q '\[ -d /run/systemd/system \]' "$file"; then
      fail "$package $script: reloads systemd without checking that it runs"
    fi
  done
done

# ---- shipped files and the documents that name them ------------------------------------
cmp -s "$root/usr/share/doc/strivex/sql-server.md" "$root/usr/share/doc/medianex-relay/README.md" &&
  fail "strivex's sql-server.md is the relay's README"
# Every file a shipped document, unit or example names under the packages' own places is shipped,
# and none names a file by the name it has in the sources.
texts=("$root"/usr/share/doc/*/*.md "$root"/usr/share/doc/*/examples/* "$root"/usr/lib/systemd/*/*.service
  "$root"/etc/strivex/* "$root"/etc/medianex-relay/*)
for text in "${texts[@]}"; do
  [ -f "$text" ] || continue
  while read -r named; do
    [ -e "$root$named" ] || fail "${text#"$root"} names $named, which no package ships"
  done < <(grep -oE '/(etc/strivex|etc/medianex-relay|usr/share/doc/(strivex|medianex-relay)|usr/lib/systemd)/[A-Za-z0-9_./@-]*[A-Za-z0-9_@-]' "$text" |
    grep -v NAME | sort -u)
  grep -nE 'odbcinst\.ini\.example|in this folder|medianex-relay\.env here' "$text" &&
    fail "${text#"$root"} names a file as the sources have it"
done
# The example instance file holds only keys the host takes, each described in strivex.ini(5).
host_help=$(env -i PATH=/usr/bin:/bin "$root/usr/bin/strivex-host" --help)
page=$(zcat "$root/usr/share/man/man5/strivex.ini.5.gz")
keys=$(sed -n 's/^# *\([a-z-]*\) *=.*/\1/p' "$root/etc/strivex/example.ini.sample")
[ -n "$keys" ] || fail "example.ini.sample: no keys"
for key in $keys; do
  grep -qE -- "--$key( |$)" <<<"$host_help" || fail "example.ini.sample: '$key' is no option of strivex-host"
  grep -qE "^\.B[IR] ${key//-/\\\\-}( |$)" <<<"$page" || fail "strivex.ini(5): '$key' not described"
done

# ---- man pages -----------------------------------------------------------------------------
# page (under usr/share/man)   program (its --help's usage forms, and its commands' ones)   sections
man_table="
man1/strivex-host.1.gz    strivex-host                    FILES ENVIRONMENT SEE_ALSO
man1/strivex-cli.1.gz     strivex-cli:interpret,outbox,receive,sql,status,worklist  COMMANDS FILES ENVIRONMENT SEE_ALSO
man1/medianex-relay.1.gz  medianex-relay                  FILES ENVIRONMENT SEE_ALSO
man5/strivex.ini.5.gz     -                               SYNOPSIS KEYS FILES ENVIRONMENT SEE_ALSO
"
while read -r page program sections; do
  [ -n "$page" ] || continue
  file="$root/usr/share/man/$page"
  [ -f "$file" ] || { fail "$page: not shipped"; continue; }
  text=$(MANWIDTH=1000 man -l "$file" 2>/dev/null | col -b)
  for section in $sections; do
    grep -qx "${section//_/ }" <<<"$text" || fail "$page: no ${section//_/ } section"
  done
  [ "$program" = - ] && continue
  name=${program%%:*} commands=
  [[ "$program" == *:* ]] && commands=${program#*:}
  synopsis=$(sed -n '/^SYNOPSIS$/,/^[A-Z]/p' <<<"$text" | tr -s ' ' | sed 's/^ //')
  while IFS= read -r form; do
    grep -qxF -- "$form" <<<"$synopsis" || fail "$page: SYNOPSIS lacks '$form'"
  done < <(
    env -i PATH=/usr/bin:/bin "$root/usr/bin/$name" --help | awk -v name="$name" -f "$source/packaging/man/usage_forms.awk"
    for command in ${commands//,/ }; do
      env -i PATH=/usr/bin:/bin "$root/usr/bin/$name" "$command" --help | awk -v name="$name" -f "$source/packaging/man/usage_forms.awk"
    done)
done <<<"$man_table"

exit "$status"
