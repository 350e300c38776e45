#!/usr/bin/env bash
# The Windows installers under Wine, run by windows-test.sh inside its
# workstation namespace and Wine prefix (environment: work, ws, win_build,
# sim, repo, WINEPREFIX). The build's installers are the older version; the
# same build packed again, signed, as the next patch version is the newer one
# (windows-signing-test.sh). For each installer:
#  - a silent install: its files, Start menu entry and entry among the
#    installed programs; the installed zelmar-netctl finds a controller of the
#    Linux simulator on the workstation's cable through the adapters;
#  - the setup program puts the command-line programs on PATH (a new command
#    prompt finds zelmar-netctl), for all users and for one user, changing
#    nothing else of a long PATH; the installed tool's real window
#    (windows-window-test.sh);
#  - the newer version installed over it replaces the programs (now the
#    signed ones) and keeps the user's configuration and the upgrade files the
#    technician added; the MSI refuses to go back to the older one;
#  - a silent uninstall leaves nothing behind but those added files.
# The caller removes what this script makes (scripts/netns-lib.sh).
set -euo pipefail
source "$repo/scripts/netns-lib.sh"
source "$repo/scripts/wine-lib.sh"
cab="$ws-cab"

fail() {
  echo "windows-test: FAIL (installers): $*" >&2
  exit 1
}
step() { echo "== $* ($(date +%T))"; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")
older_setup="$win_build/zelmar-tcpip-settings-$version-setup.exe"
older_msi="$win_build/zelmar-tcpip-settings-$version-x64.msi"
[ -f "$older_setup" ] && [ -f "$older_msi" ] || fail "no installers of $version in $win_build (make windows)"

step "version resources, and the same build packed again as the next version and signed"
mkdir -p "$work/newer"
bash "$repo/scripts/windows-signing-test.sh" "$win_build" "$work/newer"
newer=$(cat "$work/newer/version")
newer_setup="$work/newer/zelmar-tcpip-settings-$newer-setup.exe"
newer_msi="$work/newer/zelmar-tcpip-settings-$newer-x64.msi"
programs=$(ls "$work/newer/installer-stage/bin/" | grep '\.exe$')

drive_c="$WINEPREFIX/drive_c"
folder="Zelmar TCP-IP Settings Tool"
installed="$drive_c/Program Files/$folder"
installed_win="C:\\Program Files\\$folder"
start_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$folder.lnk"
nsis_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZelmarTcpIpSettingsTool'
system_env='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
user_env='HKCU\Environment'
netctl="$installed_win\\bin\\zelmar-netctl.exe"
added_upgrade="share/zelmar/SLIB/QORreal/7.TcpIpPortOS"

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

appdata=$(wine_out cmd /c 'echo %APPDATA%')
[ -n "$appdata" ] || fail "no %APPDATA% in the prefix"
user_config="$(unix_path "$appdata")/zelmar/netservice.json"

# --- what every check below looks at ------------------------------------------

expect_installed() {
  local what=$1 start_menu=$2
  for file in bin/zelmar-tcpip-settings.exe bin/zelmar-site.exe bin/zelmar-netctl.exe bin/zelmar-controller-sim.exe \
              bin/zelmar-make-upgrade.exe bin/Qt6Widgets.dll bin/libsodium-23.dll bin/platforms/qwindows.dll \
              bin/styles/qwindowsvistastyle.dll share/zelmar/netservice.json share/zelmar/SLIB/QORreal/README.txt \
              "share/zelmar/Prod/Texts/Zelmar TCP IP Settings Tool.en.txt" doc/zelmar-netctl.txt doc/user-guide.md; do
    [ -f "$installed/$file" ] || fail "$what: not installed: $file"
  done
  [ ! -e "$installed/bin/Qt6Test.dll" ] || fail "$what: the test library was installed"
  [ -f "$start_menu" ] || fail "$what: no Start menu entry"
}

# The installed zelmar-netctl, with the installed configuration (search
# through every adapter), finds the controller on the cable and renames it.
netctl_finds_the_cable_controller() {
  local name=$1
  rm -f "$user_config"
  wine_ws "$netctl" adapters --json >"$work/adapters.json" 2>&1 || fail "adapters: $(cat "$work/adapters.json")"
  grep -q '"source": "installed"' "$work/adapters.json" || fail "not the installed configuration: $(cat "$work/adapters.json")"
  grep -q '"target": "192.0.2.255"' "$work/adapters.json" || fail "the cable's broadcast is not searched: $(cat "$work/adapters.json")"
  wine_ws "$netctl" --json search >"$work/search.json" 2>"$work/search.err" || fail "search: $(cat "$work/search.err")"
  grep -q '"SerialNo":"30-00001"' "$work/search.json" || fail "search found: $(cat "$work/search.json") $(cat "$work/search.err")"
  wine_ws "$netctl" set 30-00001 "Name=$name" >"$work/set.out" 2>&1 || fail "set: $(cat "$work/set.out")"
  wine_ws "$netctl" --json find 30-00001 >"$work/find.json" 2>&1
  grep -q "\"Name\":\"$name\"" "$work/find.json" || fail "the new name did not reach the controller: $(cat "$work/find.json")"
  echo "ok: the installed zelmar-netctl found 30-00001 on the cable and named it \"$name\""
}

# The user's configuration and an upgrade file the technician added.
add_user_files() {
  mkdir -p "$(dirname "$user_config")"
  [ -f "$user_config" ] || printf '{ "port": 41950, "searchTargets": ["adapters"], "bindAddress": "0.0.0.0", "allowNonLoopback": true }\n' >"$user_config"
  cp "$user_config" "$work/user-config.kept"
  head -c 4096 /dev/urandom >"$installed/$added_upgrade"
  cp "$installed/$added_upgrade" "$work/upgrade.kept"
}
expect_user_files_kept() {
  cmp -s "$user_config" "$work/user-config.kept" || fail "$1: the user's configuration changed"
  cmp -s "$installed/$added_upgrade" "$work/upgrade.kept" || fail "$1: the added upgrade file is gone or changed"
}

# The installed programs are the signed ones of the newer package.
expect_signed_programs() {
  local program
  for program in $programs "$@"; do
    osslsigncode verify -CAfile "$work/newer/cert.pem" -in "$installed/bin/$program" >"$work/verify.log" 2>&1 ||
      fail "installed $program is not the newer, signed one: $(tail -3 "$work/verify.log")"
  done
}

expect_only_user_files_left() {
  local what=$1 start_menu=$2 left
  left=$(cd "$installed" 2>/dev/null && find . -type f | sed 's|^\./||' || true)
  [ "$left" = "$added_upgrade" ] || fail "$what left behind: $left"
  [ ! -e "$start_menu" ] || fail "$what: the Start menu entry is still there"
  rm -rf "$installed"
}

# A new command prompt (a new process, with the registry's PATH) runs zelmar-netctl.
cmd_finds_netctl() { { wine_out cmd /c zelmar-netctl --version || true; } | grep -q "^zelmar-netctl $1"; }

# --- the setup program, for all users -----------------------------------------

step "the setup program $version: a silent install for all users"
path_before=$(reg_value "$system_env" Path)
wine_ws "$(windows_path "$older_setup")" /S
wine_settle
expect_installed "setup $version" "$start_menu"
[ -f "$installed/uninstall.exe" ] || fail "no uninstaller"
reg_value "$nsis_key" DisplayName | grep -q "^Zelmar TCP/IP Settings Tool$" || fail "not among the installed programs"
[ "$(reg_value "$nsis_key" DisplayVersion)" = "$version" ] || fail "installed programs: version $(reg_value "$nsis_key" DisplayVersion)"
reg_value "$nsis_key" QuietUninstallString | grep -q '/S' || fail "no quiet uninstall"
[ "$(reg_value "$system_env" Path)" = "$path_before;$installed_win\\bin" ] ||
  fail "system PATH: $(reg_value "$system_env" Path)"
cmd_finds_netctl "$version" || fail "a new command prompt does not find zelmar-netctl"
echo "ok: in Program Files, with a Start menu entry, among the installed programs, and on the system PATH"
netctl_finds_the_cable_controller "Found from Windows"

bash "$repo/scripts/windows-window-test.sh" "$user_config"

step "the setup program $newer (signed) over $version"
add_user_files
wine_ws "$(windows_path "$newer_setup")" /S
wine_settle
expect_installed "setup $newer" "$start_menu"
[ "$(reg_value "$nsis_key" DisplayVersion)" = "$newer" ] || fail "installed programs: version $(reg_value "$nsis_key" DisplayVersion)"
expect_signed_programs ../uninstall.exe
expect_user_files_kept "setup $newer"
[ "$(reg_value "$system_env" Path)" = "$path_before;$installed_win\\bin" ] || fail "PATH after the upgrade: $(reg_value "$system_env" Path)"
echo "ok: the signed programs of $newer replaced those of $version; the user's configuration and the added upgrade file stayed"

step "the setup program: a silent uninstall"
wine_ws "$installed_win\\uninstall.exe" /S
wine_settle
if reg_value "$nsis_key" DisplayName | grep -q .; then fail "still among the installed programs"; fi
[ "$(reg_value "$system_env" Path)" = "$path_before" ] || fail "system PATH after the uninstall: $(reg_value "$system_env" Path)"
if cmd_finds_netctl ""; then fail "a new command prompt still finds zelmar-netctl"; fi
expect_only_user_files_left "the uninstall" "$start_menu"
echo "ok: nothing left but the added upgrade file; PATH as before"

step "the setup program for this user only, with a long user PATH"
long="C:\\Tools"
for i in $(seq 40); do long="$long;C:\\Tools\\A vendor's folder for tools, number $i\\bin"; done
wine_ws reg add "$user_env" /v Path /t REG_EXPAND_SZ /d "$long" /f >/dev/null 2>&1
wine_ws "$(windows_path "$older_setup")" /S /CurrentUser
wine_settle
user_dir=$(reg_value 'HKCU\Software\Zelmar\TCP-IP Settings Tool' InstallDir)
[ -n "$user_dir" ] && [ -f "$(unix_path "$user_dir")/bin/zelmar-netctl.exe" ] || fail "not installed for this user: '$user_dir'"
[ "$(reg_value "$user_env" Path)" = "$long;$user_dir\\bin" ] || fail "user PATH (${#long} characters before): $(reg_value "$user_env" Path)"
[ "$(reg_value "$system_env" Path)" = "$path_before" ] || fail "the system PATH changed"
wine_ws "$user_dir\\uninstall.exe" /S
wine_settle
[ "$(reg_value "$user_env" Path)" = "$long" ] || fail "user PATH after the uninstall: $(reg_value "$user_env" Path)"
[ ! -e "$(unix_path "$user_dir")" ] || fail "left behind: $(find "$(unix_path "$user_dir")")"
echo "ok: in $user_dir and on the user's PATH of ${#long} characters, then gone, that PATH as it was"
wine_ws "$(windows_path "$older_setup")" /S /CurrentUser /NoPath
wine_settle
[ -f "$(unix_path "$user_dir")/bin/zelmar-netctl.exe" ] || fail "/NoPath: not installed"
[ "$(reg_value "$user_env" Path)" = "$long" ] || fail "/NoPath changed the user PATH: $(reg_value "$user_env" Path)"
wine_ws "$user_dir\\uninstall.exe" /S
wine_settle
[ "$(reg_value "$user_env" Path)" = "$long" ] || fail "/NoPath: the uninstall changed the user PATH"
wine_ws reg delete "$user_env" /v Path /f >/dev/null 2>&1
echo "ok: with /NoPath the user's PATH stays as it is"

# --- the MSI --------------------------------------------------------------------

msi_product_key() {
  local code
  code=$(msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
  echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code"
}
# Wine's msiexec puts the shortcuts of a per-machine package into the user's
# Start menu (Windows into the common one, as the setup program does).
msi_start_menu="$(unix_path "$appdata")/Microsoft/Windows/Start Menu/Programs/$folder.lnk"
older_key=$(msi_product_key "$older_msi")
newer_key=$(msi_product_key "$newer_msi")

step "the MSI $version: msiexec /i /qn"
wine_ws msiexec /i "$(windows_path "$older_msi")" /qn || fail "msiexec /i $version: exit status $?"
wine_settle
expect_installed "MSI $version" "$msi_start_menu"
[ "$(reg_value "$older_key" DisplayName)" = "Zelmar TCP/IP Settings Tool" ] || fail "not among the installed programs"
[ "$(reg_value "$older_key" DisplayVersion)" = "$version" ] || fail "installed programs: $(reg_value "$older_key" DisplayVersion)"
echo "ok: in Program Files, with a Start menu entry and among the installed programs"
netctl_finds_the_cable_controller "Found through the MSI"

step "the MSI $newer (signed) over $version"
add_user_files
wine_ws msiexec /i "$(windows_path "$newer_msi")" /qn || fail "msiexec /i $newer: exit status $?"
wine_settle
expect_installed "MSI $newer" "$msi_start_menu"
[ "$(reg_value "$newer_key" DisplayVersion)" = "$newer" ] || fail "installed programs: $(reg_value "$newer_key" DisplayVersion)"
if reg_value "$older_key" DisplayName | grep -q .; then fail "$version is still among the installed programs"; fi
expect_signed_programs
expect_user_files_kept "MSI $newer"
echo "ok: $newer replaced $version (one entry among the installed programs); the user's configuration and the added upgrade file stayed"
if wine_ws msiexec /i "$(windows_path "$older_msi")" /qn; then fail "the older MSI went over the newer one"; fi
wine_settle
[ "$(reg_value "$newer_key" DisplayVersion)" = "$newer" ] || fail "after the refused downgrade"
expect_signed_programs
echo "ok: the older MSI refuses to go over the newer one"

step "the MSI: msiexec /x /qn"
wine_ws msiexec /x "$(windows_path "$newer_msi")" /qn || fail "msiexec /x: exit status $?"
wine_settle
if reg_value "$newer_key" DisplayName | grep -q .; then fail "still among the installed programs"; fi
expect_only_user_files_left "msiexec /x" "$msi_start_menu"
rm -f "$user_config"
echo "ok: nothing left but the added upgrade file"
