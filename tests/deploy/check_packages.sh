#!/usr/bin/env bash
# The packages as a lab PC gets them: their dependencies resolve, lintian finds no error, their
# system and user units pass systemd's check, their programs run unpacked with nothing of the build
# around, and what lintian does not see is as Debian would have it (package_contents.sh).
set -euo pipefail
packages=$(readlink -f "$1")
here=$(dirname "$(readlink -f "$0")")
debs=("$packages"/*.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

apt-get install --simulate "${debs[@]}" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
lintian --fail-on error "${debs[@]}"

root="$work/root"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
# The units' own dependencies (sysinit.target, ...) come from this machine's systemd.
cp -n /usr/lib/systemd/system/*.target "$root/usr/lib/systemd/system/"
# The units' man: links must name pages the packages ship (the trailing colon keeps the system's).
export MANPATH="$root/usr/share/man:"
for unit in "$root"/usr/lib/systemd/system/*.service; do
  systemd-analyze verify --root="$root" "${unit#"$root"}"
done
# User units: --user takes no --root, so each is checked as a file whose programs point into the
# unpacked tree; the user manager's targets come from this machine. A template is checked with a
# made-up instance.
mkdir "$work/user" "$work/runtime"
for unit in "$root"/usr/lib/systemd/user/*; do
  sed "s#=/usr/bin/#=$root/usr/bin/#" "$unit" >"$work/user/${unit##*/}"
done
for unit in "$work"/user/*; do
  XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user "$unit"
done
bash "$here/installed_programs.sh" "$root" /usr/bin
bash "$here/package_contents.sh" "$packages" "$root" "$(readlink -f "$here/../..")"
