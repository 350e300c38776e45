#!/usr/bin/env bash
# Starts the tool. (The simulated demo fleet joins once the simulator exists.)
set -euo pipefail
build=${1:-build}
exec "$build/bin/zelmar-tcpip-settings"
