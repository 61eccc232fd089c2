#!/usr/bin/env bash
# Installed programs run with nothing of the build around them: no RUNPATH outside their own tree,
# no library path, and the host loads the installed module.
#   installed_programs.sh ROOT BINDIR                  programs unpacked under ROOT, in ROOT/BINDIR
#   installed_programs.sh --install BUILD_DIR BINDIR   cmake --install BUILD_DIR into a temporary root first
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$1" = --install ]; then
  root="$work/root"
  DESTDIR="$root" cmake --install "$2" >/dev/null
  shift
else
  root="$1"
fi
bin="$root$2"
# What every program answers with exit status 0.
probe=--version
clean=(env -i PATH=/usr/bin:/bin HOME="$work" QT_QPA_PLATFORM=offscreen)

status=0
while IFS= read -r file; do
  paths=$(readelf -d "$file" 2>/dev/null | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')
  if [ -n "$paths" ] && tr ':' '\n' <<<"$paths" | grep -qv '^\$ORIGIN'; then
    echo "${file#"$root"}: search path outside the installed tree: $paths" >&2
    status=1
  fi
done < <(find "$root" -type f \( -perm -u+x -o -name '*.so*' \))

for program in strivex-host strivex-cli medianex-relay; do
  [ -e "$bin/$program" ] || continue
  if ! "${clean[@]}" "$bin/$program" "$probe" >/dev/null 2>"$work/err"; then
    echo "$program $probe failed:" >&2
    cat "$work/err" >&2
    status=1
  fi
done

# The programs that reach a server start the installed driver helper: a driver that is not
# registered is refused by the driver manager inside the helper, which a missing helper never gets
# to. strivex-cli says so on standard error, the relay in the error log of its folder.
unregistered=(--exec --connect "Driver={strivex-unregistered-driver}" "SELECT 1")
helper_ran() {
  if ! grep -q 'Driver Manager' "$2"; then
    echo "the installed $1 did not reach the driver through its helper:" >&2
    cat "$2" >&2
    status=1
  fi
}
if [ -e "$bin/strivex-cli" ]; then
  (cd "$work" && "${clean[@]}" "$bin/strivex-cli" sql "${unregistered[@]}" >/dev/null 2>"$work/err") || true
  helper_ran strivex-cli "$work/err"
  if [ -e "$bin/medianex-relay" ]; then
    mkdir "$work/relay"
    (cd "$work/relay" && exec "${clean[@]}" "$bin/medianex-relay" --listen 127.0.0.1:0 \
      --allow-driver strivex-unregistered-driver >"$work/relay.out" 2>"$work/relay.err") &
    relay=$!
    for _ in $(seq 100); do
      grep -q '^listening on ' "$work/relay.out" && break
      sleep 0.1
    done
    (cd "$work" && "${clean[@]}" "$bin/strivex-cli" sql --relay "$(sed -n 's/^listening on //p' "$work/relay.out")" \
      "${unregistered[@]}" >/dev/null 2>&1) || true
    kill -TERM "$relay" 2>/dev/null || true
    wait "$relay" || true
    touch "$work/relay/_acterr.log"
    helper_ran medianex-relay "$work/relay/_acterr.log"
  fi
fi

if [ -e "$bin/strivex-host" ]; then
  # The packages are checked as root on the CI machines.
  "${clean[@]}" "$bin/strivex-host" --allow-root --machine-id 1 --name Strivex --local-db "$work/local.db" \
    --workdir "$work" --server-unavailable --close-ends-module </dev/null >"$work/out" 2>"$work/err" &
  host=$!
  for _ in $(seq 300); do
    grep -q '^initialised' "$work/out" && break
    kill -0 "$host" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM "$host" 2>/dev/null || true
  for _ in $(seq 300); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$host" 2>/dev/null || true
  if ! grep -q '^module ended' "$work/out"; then
    echo "the installed strivex-host did not run the installed module:" >&2
    cat "$work/out" "$work/err" >&2
    status=1
  fi
fi
exit "$status"
