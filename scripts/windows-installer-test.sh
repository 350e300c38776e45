#!/usr/bin/env bash
# The Windows installer under Wine, run by windows-test.sh inside its
# workstation namespace and Wine prefix (WINEPREFIX): a silent install, the
# installed zelmar-netctl finding a controller of the Linux simulator through
# the workstation's adapters, the installed tool showing its start-up question
# under Xvfb with the Windows platform plugin (screenshot), and a silent
# uninstall that leaves no program file behind.
#
# usage: windows-installer-test.sh WORK WORKSTATION_NS LINUX_SIM WINDOWS_BUILD
# The caller removes what this script makes (scripts/netns-lib.sh).
set -euo pipefail
work=$1
ws=$2
sim=$3
win_build=$4
cab="$ws-cab"
source "$(dirname "$0")/netns-lib.sh"

fail() {
  echo "windows-test: FAIL (installer): $*" >&2
  exit 1
}
step() { echo "== $* ($(date +%T))"; }
in_ws() { ip netns exec "$ws" env -u ZELMAR_NETSERVICE_CONFIG -u ZELMAR_DATA_DIR HOME="$work/home" "$@"; }
wine_ws() { in_ws timeout 300 wine "$@"; }
# Until every program of the prefix has ended (a stuck one is ended after a minute).
wine_settle() { in_ws timeout 60 wineserver -w || in_ws wineserver -k || true; }

setup=$(ls "$win_build"/zelmar-tcpip-settings-*-setup.exe)
drive_c="$WINEPREFIX/drive_c"
folder="Zelmar TCP-IP Settings Tool"
installed="$drive_c/Program Files/$folder"
installed_win="C:\\Program Files\\$folder"
start_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$folder.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZelmarTcpIpSettingsTool'

# The direct cable: a controller in a namespace of its own, link to the
# workstation, documentation addresses; it hears broadcasts as a real one does.
step "a controller of the Linux simulator on the workstation's cable"
make_ns "$cab"
ip -n "$ws" link add cable type veth peer name eth0 netns "$cab"
ip -n "$ws" addr add 192.0.2.1/24 brd + dev cable
ip -n "$ws" link set cable up
ip -n "$cab" addr add 192.0.2.10/24 brd + dev eth0
ip -n "$cab" link set eth0 up
sim_controller "$cab" "$sim" 30-00001 00-1A-4C-30-00-01 192.0.2.10 255.255.255.0 192.0.2.1 192.0.2.0/24 true \
  "On the cable"
sim_ready "$cab" || fail "the simulator on the cable did not start: $(cat "$work/$cab.out")"

step "a silent install"
wine_ws "$setup" /S
wine_settle
for file in bin/zelmar-tcpip-settings.exe bin/zelmar-netctl.exe bin/zelmar-controller-sim.exe \
            bin/zelmar-make-upgrade.exe bin/Qt6Widgets.dll bin/libsodium-23.dll bin/platforms/qwindows.dll \
            bin/styles/qwindowsvistastyle.dll share/zelmar/netservice.json share/zelmar/SLIB/QORreal/README.txt \
            "share/zelmar/Prod/Texts/Zelmar TCP IP Settings Tool.en.txt" doc/zelmar-netctl.txt doc/user-guide.md \
            uninstall.exe; do
  [ -f "$installed/$file" ] || fail "not installed: $file"
done
[ ! -e "$installed/bin/Qt6Test.dll" ] || fail "the test library was installed"
[ -f "$start_menu" ] || fail "no Start menu entry"
wine_ws reg query "$uninstall_key" >"$work/uninstall-key.txt" 2>&1 || fail "no entry in the installed programs"
grep -q "DisplayName.*Zelmar TCP/IP Settings Tool" "$work/uninstall-key.txt" || fail "$(cat "$work/uninstall-key.txt")"
grep -q "QuietUninstallString" "$work/uninstall-key.txt" || fail "no quiet uninstall: $(cat "$work/uninstall-key.txt")"
echo "ok: installed into Program Files with a Start menu entry and an entry in the installed programs"

step "the installed zelmar-netctl finds the controller on the cable through the adapters"
netctl="$installed_win\\bin\\zelmar-netctl.exe"
wine_ws "$netctl" adapters --json >"$work/adapters.json" 2>&1 || fail "adapters: $(cat "$work/adapters.json")"
grep -q '"source": "installed"' "$work/adapters.json" || fail "not the installed configuration: $(cat "$work/adapters.json")"
grep -q '"target": "192.0.2.255"' "$work/adapters.json" || fail "the cable's broadcast is not searched: $(cat "$work/adapters.json")"
wine_ws "$netctl" --json search >"$work/search.json" 2>"$work/search.err" || fail "search: $(cat "$work/search.err")"
grep -q '"SerialNo":"30-00001"' "$work/search.json" || fail "search found: $(cat "$work/search.json") $(cat "$work/search.err")"
wine_ws "$netctl" set 30-00001 "Name=Found from Windows" >"$work/set.out" 2>&1 || fail "set: $(cat "$work/set.out")"
wine_ws "$netctl" --json find 30-00001 >"$work/find.json" 2>&1
grep -q '"Name":"Found from Windows"' "$work/find.json" || fail "the new name did not reach the controller: $(cat "$work/find.json")"
echo "ok: the installed zelmar-netctl found 30-00001 through the cable and renamed it"

step "the installed tool under Xvfb with the Windows platform plugin"
# Wine picks its display when its desktop starts: end the one the programs
# above started without a display. Wine draws the window frames itself, as
# Windows does, rather than leaving them to a window manager (there is none).
wine_ws reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
in_ws wineserver -k || true
wine_settle
display=:$((90 + $$ % 100))
in_ws Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
keep_pid $!
for _ in $(seq 50); do
  in_ws env DISPLAY="$display" xwininfo -root >/dev/null 2>&1 && break
  sleep 0.1
done
in_ws env DISPLAY="$display" wine "$installed_win\\bin\\zelmar-tcpip-settings.exe" >"$work/tool.log" 2>&1 &
question=""
for _ in $(seq 300); do
  question=$(in_ws env DISPLAY="$display" xwininfo -root -tree 2>/dev/null |
    grep -m1 '"Zelmar TCP/IP Settings Tool"' | awk '{print $1}') || true
  [ -n "$question" ] && break
  sleep 0.1
done
[ -n "$question" ] || fail "no start-up question on the screen: $(cat "$work/tool.log")"
sleep 1  # drawn
mkdir -p "$win_build/screenshots"
shot="$win_build/screenshots/windows-startup-question.png"
in_ws env DISPLAY="$display" xwd -silent -id "$question" | xwdtopnm 2>/dev/null | pnmtopng >"$shot"
[ -s "$shot" ] || fail "no screenshot"
echo "ok: the tool shows its start-up question (screenshot: $shot)"
in_ws wineserver -k || true
wine_settle

step "a silent uninstall"
wine_ws "$installed_win\\uninstall.exe" /S
wine_settle
left=$(find "$installed" -type f 2>/dev/null || true)
[ -z "$left" ] || fail "left behind: $left"
[ ! -d "$installed" ] || fail "the install folder is still there"
[ ! -e "$start_menu" ] || fail "the Start menu entry is still there"
if wine_ws reg query "$uninstall_key" >/dev/null 2>&1; then fail "still among the installed programs"; fi
echo "ok: the uninstall left no program file, Start menu entry or registry entry behind"
