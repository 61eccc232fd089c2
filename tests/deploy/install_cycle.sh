#!/usr/bin/env bash
# The packages installed, removed, installed again and purged for real with dpkg, as root on a
# machine where systemd does not run (CI's): what each step leaves, the relay's state folder and a
# user's outbox as a running relay and module would have left them, and the machine as it was
# before.
#   install_cycle.sh PACKAGES_DIR
set -uo pipefail
packages=$(readlink -f "$1")
names=(strivex medianex-relay strivex-odbc-helper)
if [ "$(id -u)" -ne 0 ]; then
  echo "install_cycle.sh: needs root (dpkg)"
  exit 77
fi
# Not over installed packages of ours: their purge is not ours to do.
for name in "${names[@]}"; do
  if dpkg-query -W -f '${db:Status-Status}' "$name" 2>/dev/null | grep -qv '^not-installed$'; then
    echo "install_cycle.sh: $name is installed here already; not touching it" >&2
    exit 1
  fi
done
work=$(mktemp -d)
# Folders an administrator made by hand are put aside for the cycle and back after it: a purge
# would take their files, and a hand-made conffile would stop dpkg at a question.
places=(/etc/strivex /etc/medianex-relay /var/lib/medianex-relay /var/lib/private/medianex-relay)
for i in "${!places[@]}"; do
  if [ -e "${places[$i]}" ] || [ -L "${places[$i]}" ]; then mv "${places[$i]}" "$work/saved.$i"; fi
done

# What the cycle may touch, listed before and after.
watched=("${places[@]}" /etc/systemd /var/lib/systemd /var/lib/private /usr/lib/systemd/user/strivex@.service
  /root/.local/state/strivex)
snapshot() { find "${watched[@]}" 2>/dev/null | sort; }
snapshot >"$work/before"
created=()
make_dir() {  # mkdir -p that remembers the topmost folder it made, to take it away at the end
  local dir=$1 top=
  while [ ! -e "$dir" ]; do top=$dir; dir=$(dirname "$dir"); done
  mkdir -p "$1"
  [ -z "$top" ] || created+=("$top")
}
cleanup() {
  dpkg --purge "${names[@]}" >/dev/null 2>&1
  rm -rf "${places[@]}" "${created[@]}"
  for i in "${!places[@]}"; do
    if [ -e "$work/saved.$i" ] || [ -L "$work/saved.$i" ]; then mv "$work/saved.$i" "${places[$i]}"; fi
  done
  rm -rf "$work"
}
trap cleanup EXIT

status=0
fail() { echo "install cycle: $*" >&2; status=1; }
debs=("$packages"/*.deb)
outbox=/root/.local/state/strivex/install-cycle/_Strivex_outbox.db
relay_log=/var/lib/medianex-relay/_acterr.log
mask=/etc/systemd/system/medianex-relay.service
private=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/strivex

# step          path                                          left
expected="
installed       /usr/bin/strivex-host                         file
installed       /etc/strivex/example.ini.sample               file
installed       $mask                                         none
installed       /etc/systemd/system/multi-user.target.wants/medianex-relay.service none
removed         /usr/bin/strivex-host                         none
removed         $private                                      none
removed         /etc/strivex/example.ini.sample               file
removed         /etc/medianex-relay/medianex-relay.env        file
removed         $mask                                         masked
removed         $relay_log                                    file
reinstalled     $mask                                         none
reinstalled     $relay_log                                    file
purged          /etc/strivex/example.ini.sample               none
purged          /etc/medianex-relay                           none
purged          $mask                                         none
purged          /var/lib/medianex-relay                       none
purged          /var/lib/private/medianex-relay               none
purged          $outbox                                       file
"
check() {
  local step=$1 at path left
  while read -r at path left; do
    [ "$at" = "$step" ] || continue
    case "$left" in
      file) [ -e "$path" ] || fail "$step: $path is missing" ;;
      none) [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$step: $path is still there" ;;
      masked) [ "$(readlink "$path")" = /dev/null ] || fail "$step: $path does not mask the unit" ;;
    esac
  done <<<"$expected"
}
run() {  # dpkg, its output kept for the checks; a failing step ends the cycle
  if ! dpkg "$@" </dev/null >"$work/dpkg.log" 2>&1; then
    cat "$work/dpkg.log" >&2
    fail "dpkg $* failed"
    exit 1
  fi
}

run -i "${debs[@]}"
check installed
# What a running relay (StateDirectory= of a DynamicUser= unit) and a lab user's module leave.
make_dir /var/lib/private/medianex-relay
ln -s private/medianex-relay /var/lib/medianex-relay
touch "$relay_log"
make_dir "${outbox%/*}"
touch "$outbox"

run --remove "${names[@]}"
check removed
run -i "${debs[@]}"
check reinstalled
run --purge "${names[@]}"
check purged
grep -qF "$outbox" "$work/dpkg.log" || fail "purge did not say where the kept outbox is: $(cat "$work/dpkg.log")"

for name in "${names[@]}"; do
  dpkg-query -W -f '${db:Status-Status}' "$name" 2>/dev/null | grep -qv '^not-installed$' &&
    fail "$name is still known to dpkg after its purge"
done
rm -rf "${created[@]}"
created=()
snapshot >"$work/after"
diff "$work/before" "$work/after" >&2 || fail "the machine is not left as it was (< before, > after)"
[ "$status" -eq 0 ] && echo "install cycle: installed, removed, installed again and purged; machine as it was"
exit "$status"
