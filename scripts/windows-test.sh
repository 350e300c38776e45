#!/usr/bin/env bash
# `make windows-test`: the Windows build's tests under Wine, headless, in a
# throwaway Wine prefix, and its installer.
#
# Wine uses the host's network, and an installed program searches the
# workstation's adapters: so everything here runs inside network namespaces
# this script makes and removes on every way out, never in the machine's own.
#   workstation namespace: loopback, and a cable to a controller namespace
#   (192.0.2.0/24, documentation addresses) where the Linux simulator plays
#   one controller as a real one would, hearing broadcasts.
# The tests' simulated controllers are the Linux simulator's: a fleet host
# (zelmar-controller-sim --host-fleets) serves them on the workstation's
# loopback, so that a Windows client talks to controllers built for Linux.
#
# usage: windows-test.sh LINUX_BUILD WINDOWS_BUILD
# CTEST_ARGS adds to the ctest command line (for example -R Encryption);
# WINDOWS_TEST_STEPS=tests or =installer runs only that part.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
sim="$linux_build/bin/zelmar-controller-sim"

fail() {
  echo "windows-test: FAIL: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root: the tests run in network namespaces of their own (try sudo make windows-test)"
command -v ip >/dev/null || fail "no 'ip' command (install iproute2)"
[ -x "$sim" ] || fail "no Linux simulator at $sim (make build)"

tag="zw$$"
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmar-windows-test.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ws="$tag-ws"
source "$repo/scripts/netns-lib.sh"
before_cleanup() { ip netns exec "$ws" env WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null; }
remove_on_exit

make_ns "$ws"
in_ws() { ip netns exec "$ws" env HOME="$work/home" "$@"; }
mkdir -p "$work/home"

step() { echo "== $* ($(date +%T))"; }

step "a Wine prefix of its own"
in_ws wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(cat "$work/wineboot.log")"
in_ws wineserver -w

step "the Linux simulator's fleet host on the workstation's loopback"
in_ws "$sim" --host-fleets 0 >"$work/fleet-host.out" 2>&1 &
keep_pid $!
for _ in $(seq 100); do
  grep -q '^ready ' "$work/fleet-host.out" 2>/dev/null && break
  sleep 0.1
done
fleet_host=$(sed -n 's/^ready fleet-host=//p' "$work/fleet-host.out")
[ -n "$fleet_host" ] || fail "the fleet host did not start: $(cat "$work/fleet-host.out")"

# The offscreen platform plugin of the Windows build reads its fonts from a
# folder (QT_QPA_FONTDIR): the dialogs get the faces they have on Linux, so
# the layout tests measure the same captions.
if [ "${WINDOWS_TEST_STEPS:-}" = installer ]; then
  bash "$repo/scripts/windows-installer-test.sh" "$work" "$ws" "$sim" "$win_build"
  exit 0
fi
step "the unit, network and dialog tests of the Windows build"
# Wine's services (services.exe, rpcss, plugplay, ...) start with the first
# program of a Wine server's session and inherit its standard output. Were
# that a test's pipe, CTest would wait on it until the services end. So one
# Wine server lasts the whole run, and its services start here, writing
# nowhere.
in_ws wineserver -p
in_ws wineboot </dev/null >/dev/null 2>&1
in_ws env ZELMAR_TEST_FLEET_HOST="$fleet_host" QT_QPA_PLATFORM=offscreen \
  QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu \
  ctest --test-dir "$win_build" --output-on-failure --timeout 600 -j2 ${CTEST_ARGS:-} ||
  fail "tests of the Windows build"
in_ws wineserver -k || true
in_ws wineserver -w

[ "${WINDOWS_TEST_STEPS:-}" = tests ] && exit 0
bash "$repo/scripts/windows-installer-test.sh" "$work" "$ws" "$sim" "$win_build"
