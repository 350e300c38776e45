#!/usr/bin/env bash
# Starts the simulator with the demo fleet on loopback, then the tool (or the
# program named second, such as zelmar-site) pointed at it. Closing it stops
# the simulator; nothing is left running.
#
#   run-demo.sh BUILD_DIR [PROGRAM]
#
# With demo/fleet.json the workstation's search covers the local site
# (127.77.0.x); the north annex (127.77.9.x) sits behind a router, as a
# broadcast search would not reach it, and is found with "Find more...".
set -euo pipefail
build=${1:-build}
program=${2:-zelmar-tcpip-settings}
bin="$build/bin"

# The tool is a desktop program: without a display there is nothing to show it on.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: run 'make run' in a desktop session (or set DISPLAY, e.g. under Xvfb)." >&2
  exit 1
fi
# The demo files live beside this script, wherever it is started from.
demo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/demo"
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmar-demo.XXXXXX")

sim_pid=""
tool_pid=""
stop() {
  local pid=$1
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
}
cleanup() {
  stop "$tool_pid"
  stop "$sim_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

demo_fleet=""
fleet_args=(--generate 25 --connected 1)
if [ -f "$demo/fleet.json" ]; then
  demo_fleet="$demo/fleet.json"
  fleet_args=(--fleet "$demo_fleet")
fi

"$bin/zelmar-controller-sim" "${fleet_args[@]}" --port 0 \
  --state "$work/state.json" --client-config "$work/client.json" >"$work/sim.out" &
sim_pid=$!

# Wait for the simulator's ready line (it prints exactly one).
for _ in $(seq 200); do
  grep -q '^ready ' "$work/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^ready ' "$work/sim.out" 2>/dev/null; then
  echo "The controller simulator did not start." >&2
  exit 1
fi
echo "Simulator: $(head -1 "$work/sim.out")"

config="$work/client.json"
if [ -n "$demo_fleet" ]; then
  port=$(sed -n 's/^ready port=\([0-9][0-9]*\).*/\1/p' "$work/sim.out")
  config="$work/site.json"
  cat >"$config" <<EOF
{
  "port": $port,
  "bindAddress": "127.0.0.1",
  "searchTargets": ["127.77.0.1-127.77.0.254"]
}
EOF
  [ -f "$demo/README-password.txt" ] && cat "$demo/README-password.txt"
fi

# The demo upgrade files (random images for the simulator's port types) are
# offered from beside the demo fleet; the installed upgrade folder has none.
ZELMAR_NETSERVICE_CONFIG="$config" ZELMAR_SLIB_DIR="$demo/upgrades" "$bin/$program" &
tool_pid=$!
# Waiting in the background lets a signal to this script reach the traps at once.
status=0
wait "$tool_pid" || status=$?
tool_pid=""
exit "$status"
