#!/usr/bin/env bash
# The relay's unit stays confined: systemd's own offline rating, alone and with the shipped
# address drop-in, must not rise above the figure docs/administrators.md promises.
set -euo pipefail
deploy="$1" threshold="$2"
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze not installed (./run setup installs systemd)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate() {
  systemd-analyze security --offline=true --threshold="$threshold" "$1" | tail -n 1
}
rate "$deploy/medianex-relay.service"
# A drop-in's [Service] lines join the unit's; the rating reads one file.
cat "$deploy/medianex-relay.service" "$deploy/medianex-relay-ip.conf.example" >"$work/medianex-relay.service"
rate "$work/medianex-relay.service"
