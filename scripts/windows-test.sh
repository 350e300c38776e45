#!/usr/bin/env bash
# `make windows-test`: the Windows build's tests under Wine, headless, in a
# throwaway Wine prefix, and its installers.
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
# CTEST_ARGS adds to the ctest command line of the tests (for example
# -R Encryption; the caption checks with the Windows plugin run all the same);
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
source "$repo/scripts/wine-lib.sh"
before_cleanup() { ip netns exec "$ws" env WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null; }
remove_on_exit

make_ns "$ws"
mkdir -p "$work/home"

step() { echo "== $* ($(date +%T))"; }

step "a Wine prefix of its own"
in_ws wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(cat "$work/wineboot.log")"
in_ws wineserver -w 2>>"$work/wine.log"
# The faces of a Windows laptop, as near as Wine has them. Wine's own fonts
# (fonts-wine) go into the prefix's Fonts folder, where this Wine looks for
# them: Tahoma, and Marlett, which Wine draws the buttons of its window frames
# with; MS Sans Serif and Small Fonts, bitmap faces as on Windows. The
# Windows dialog face, Microsoft Sans Serif, is not among them: Tahoma, its
# close relative of nearly the same widths, takes its name (a Wine font
# replacement), so that the dialogs draw in the face a Windows laptop gives
# them rather than in the host's DejaVu.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# ClearType, on as in a Windows laptop: with Wine's default smoothing Qt's
# GDI font engine loses the one-pixel stems of small text ("Seria Number:").
{
  in_ws wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Microsoft Sans Serif" /d Tahoma /f &&
    in_ws wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 2 /f &&
    in_ws wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingType /t REG_DWORD /d 2 /f
} >>"$work/wine.log" 2>&1 || fail "the prefix's font settings"
in_ws wineserver -w 2>>"$work/wine.log"

run_installer_tests() {
  export work ws win_build sim repo
  bash "$repo/scripts/windows-installer-test.sh"
}
if [ "${WINDOWS_TEST_STEPS:-}" = installer ]; then
  run_installer_tests
  exit 0
fi

step "the Linux simulator's fleet host on the workstation's loopback"
in_ws "$sim" --host-fleets 0 >"$work/fleet-host.out" 2>&1 &
keep_pid $!
for _ in $(seq 100); do
  grep -q '^ready ' "$work/fleet-host.out" 2>/dev/null && break
  sleep 0.1
done
fleet_host=$(sed -n 's/^ready fleet-host=//p' "$work/fleet-host.out")
[ -n "$fleet_host" ] || fail "the fleet host did not start: $(cat "$work/fleet-host.out")"

# The tests of the Windows build under Wine, each test's reason printed when it skipped.
run_ctest() {
  local status=0
  in_ws env ZELMAR_TEST_FLEET_HOST="$fleet_host" "$@" \
    ctest --test-dir "$win_build" --output-on-failure --timeout 600 -j2 ${CTEST_ARGS:-} || status=$?
  skip_reasons "$win_build/Testing/Temporary/LastTest.log"
  return "$status"
}

step "the unit, network and dialog tests of the Windows build"
# The offscreen platform plugin of the Windows build reads its fonts from a
# folder (QT_QPA_FONTDIR): DejaVu, and the faces the layouts were made for,
# MS Sans Serif and Small Fonts, as Wine ships them (TrueType).
fonts="$work/fonts"
mkdir -p "$fonts"
ln -s /usr/share/fonts/truetype/dejavu/*.ttf "$fonts/"
for face in ms_sans_serif small_fonts; do
  ln -s "/usr/share/wine/fonts/$face.ttf" "$fonts/"
done
# Wine's services (services.exe, rpcss, plugplay, ...) start with the first
# program of a Wine server's session and inherit its standard output. Were
# that a test's pipe, CTest would wait on it until the services end. So one
# Wine server lasts each run, and its services start first, writing into
# $work/wine.log.
wine_server_start
run_ctest QT_QPA_PLATFORM=offscreen QT_QPA_FONTDIR="$fonts" || fail "tests of the Windows build"
wine_server_stop

step "the dialogs' captions with the Windows platform plugin, on an X display"
# The same checks in the fonts Wine gives a real window: its own MS Sans
# Serif and Small Fonts, and the host's DejaVu Sans as the wide face.
start_xvfb || fail "Xvfb"
wine_server_start "$display"
CTEST_ARGS="-R Caption|DialogFonts" run_ctest DISPLAY="$display" ZELMAR_WINE_PLATFORM=windows ||
  fail "caption checks with the Windows platform plugin"
wine_server_stop

[ "${WINDOWS_TEST_STEPS:-}" = tests ] && exit 0
run_installer_tests
