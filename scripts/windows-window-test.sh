#!/usr/bin/env bash
# The installed tool's real window under Wine, as a technician meets it: the
# Windows platform plugin on an X display (Xvfb), driven by the mouse and the
# keyboard with xdotool. The Linux simulator plays the demo site on the
# workstation's loopback, and the user's configuration points the tool there.
#   the start-up question, answered No; the search window lists the site; a
#   double click on a row chooses it; a new name typed into the main window
#   and written with "Load TCP/IP Settings"; the Linux zelmar-netctl sees it;
#   the site window (zelmar-site) searches as it opens and lists the site.
# Screenshots of the question and of the four windows (main, search,
# security, site), drawn by the Windows plugin, go to WINDOWS_BUILD/screenshots.
#
# usage: windows-window-test.sh USER_CONFIG   (run by windows-installer-test.sh,
# with its environment: the tool installed for all users, no Wine program running)
set -euo pipefail
user_config=$1
source "$repo/scripts/netns-lib.sh"
source "$repo/scripts/wine-lib.sh"

fail() {
  echo "windows-test: FAIL (window): $*" >&2
  [ -f "$work/tool.log" ] && echo "the tool's output: $(cat "$work/tool.log")" >&2
  [ -n "${display:-}" ] && echo "the windows on the screen: $(in_ws env DISPLAY="$display" xwininfo -root -children 2>&1 | grep '"')" >&2
  exit 1
}
step() { echo "== $* ($(date +%T))"; }
linux_netctl="$(dirname "$sim")/zelmar-netctl"
shots="$win_build/screenshots"
mkdir -p "$shots"
new_name="Renamed under Wine"
password=$(sed -n 's/.*password is //p' "$repo/demo/README-password.txt")  # of the demo's encrypted controllers

step "the installed tool's window on the demo site, driven by mouse and keyboard"
in_ws "$sim" --fleet "$repo/demo/fleet.json" --state "$work/demo.state.json" --port 0 \
  --client-config "$work/demo-linux.json" >"$work/demo.out" 2>&1 &
keep_pid $!
for _ in $(seq 100); do
  grep -q '^ready ' "$work/demo.out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/^ready port=\([0-9]*\).*/\1/p' "$work/demo.out")
[ -n "$port" ] || fail "the demo site did not start: $(cat "$work/demo.out")"
mkdir -p "$(dirname "$user_config")"
cat >"$user_config" <<EOF
{ "port": $port, "bindAddress": "127.0.0.1",
  "searchTargets": ["127.77.0.1-127.77.0.254", "127.77.9.1-127.77.9.254"] }
EOF

# Wine picks its display when its server starts: this one starts with it.
# Wine manages the windows itself, as Windows does, rather than leaving them to
# a window manager (there is none): it draws their frames, and hides a window
# at once. A window left to a window manager is hidden only once the manager
# has confirmed that it was shown; without one Wine waits 2 s for that at
# every window that closes (its x11 driver's wait_for_withdrawn_state).
wine_ws reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine_settle
start_xvfb || fail "Xvfb"
x() { in_ws env DISPLAY="$display" "$@"; }
wine_server_start "$display"
x wine "C:\\Program Files\\Zelmar TCP-IP Settings Tool\\bin\\zelmar-tcpip-settings.exe" >"$work/tool.log" 2>&1 &
tool_pid=$!

# The viewable top-level window titled $1, at least $2 and at most $3 pixels
# high when given: its id, left, top, width and height on the screen.
window() {
  local id l t w h
  for id in $(x xwininfo -root -children 2>/dev/null | grep -F "\"$1\"" | awk '{print $1}'); do
    read -r l t w h < <(x xwininfo -id "$id" 2>/dev/null | awk '
      /Absolute upper-left X/ {l=$NF} /Absolute upper-left Y/ {t=$NF}
      /Width:/ {w=$NF} /Height:/ {h=$NF} /Map State: IsViewable/ {v=1}
      END {if (v) print l, t, w, h}') || continue
    [ -n "${h:-}" ] && [ "$h" -ge "${2:-0}" ] && [ "$h" -le "${3:-100000}" ] || continue
    echo "$id $l $t $w $h"
    return 0
  done
  return 1
}
wait_window() {
  local found
  for _ in $(seq 300); do
    found=$(window "$@") && { echo "$found"; return 0; }
    kill -0 "$tool_pid" 2>/dev/null || fail "the tool ended while waiting for \"$1\""
    sleep 0.1
  done
  fail "no window \"$1\" on the screen"
}
wait_gone() {
  for _ in $(seq 300); do
    window "$@" >/dev/null || return 0
    sleep 0.1
  done
  fail "the window \"$1\" stays on the screen"
}
# The tool ends within 10 s of being told to close, or the step fails with $1.
wait_tool_ended() {
  for _ in $(seq 100); do
    kill -0 "$tool_pid" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "$1"
}
shoot() {
  local id=$1 name=$2
  sleep 1  # drawn
  x xwd -silent -id "$id" | xwdtopnm 2>/dev/null | pnmtopng >"$shots/$name.png"
  [ -s "$shots/$name.png" ] || fail "no screenshot $name"
}
# Keys (xdotool key arguments) or, with `type`, text for the window: it gets
# the keyboard first, as there is no window manager to give it.
keys() {
  local window=$1
  shift
  x xdotool windowfocus --sync "${window%% *}"
  if [ "$1" = type ]; then
    x xdotool type --delay 40 "$2"
  else
    x xdotool key --clearmodifiers "$@"
  fi
}
# Clicks at client pixel (X, Y) of a window of CLIENT_WIDTH x CLIENT_HEIGHT
# client pixels: Wine draws the frame around the client area, the title bar
# on top.
click() {
  local window=$1 client_w=$2 client_h=$3 cx=$4 cy=$5 repeat=${6:-1}
  local id l t w h border top
  read -r id l t w h <<<"$window"
  border=$(((w - client_w) / 2))
  top=$((h - client_h - border))
  x xdotool mousemove --sync $((l + border + cx)) $((t + top + cy)) click --repeat "$repeat" --delay 120 1
}

# The tool's title names its main window (731 client pixels high) and its
# questions and messages (far lower).
title="Zelmar TCP/IP Settings Tool"
small=400

step "the start-up question, answered No"
question=$(wait_window "$title" 0 $small)
shoot "${question%% *}" windows-startup-question
keys "$question" Escape
wait_gone "$title" 0 $small

step "the search window lists the demo site; a double click on a row chooses it"
search=$(wait_window "Search and Select")
sleep 3  # the list fills
shoot "${search%% *}" windows-search
click "$search" 772 274 200 67 2  # the first row
wait_gone "Search and Select"
# A controller that requires encryption asks for its password before the
# main window shows it.
main=""
for _ in $(seq 300); do
  if prompt=$(window "$title" 0 $small); then
    keys "$prompt" type "$password"
    keys "$prompt" Return
    wait_gone "$title" 0 $small
  fi
  main=$(window "$title" 731) && break
  sleep 0.1
done
[ -n "$main" ] || fail "no main window after the choice"

step "a new name written with Load TCP/IP Settings"
click "$main" 528 731 270 143 3
keys "$main" ctrl+a
keys "$main" type "$new_name"
click "$main" 528 731 104 688
result=$(wait_window "$title" 0 $small)
keys "$result" Return
wait_gone "$title" 0 $small

step "the security window"
click "$main" 528 731 247 688
security=$(wait_window "Security")
shoot "${security%% *}" windows-security
keys "$security" Return
wait_gone "Security"
sleep 1  # the main window draws again where the security window was
shoot "${main%% *}" windows-main
click "$main" 528 731 462 688
wait_tool_ended "Close did not end the tool"
wine_server_stop

step "the Linux zelmar-netctl sees the new name"
in_ws env ZELMAR_NETSERVICE_CONFIG="$work/demo-linux.json" ZELMAR_PASSWORD="$password" "$linux_netctl" --json search >"$work/demo-search.json" 2>&1 ||
  fail "search: $(cat "$work/demo-search.json")"
grep -q "\"Name\":\"$new_name\"" "$work/demo-search.json" || fail "no controller named \"$new_name\": $(cat "$work/demo-search.json")"
step "the installed site window lists the demo site"
wine_server_start "$display"
x wine "C:\\Program Files\\Zelmar TCP-IP Settings Tool\\bin\\zelmar-site.exe" >"$work/tool.log" 2>&1 &
tool_pid=$!
site_title="Zelmar TCP/IP Site Commissioning"
site=$(wait_window "$site_title" $small)
# It searches as it opens; the demo's encrypted controllers ask for the site's password once.
prompt=$(wait_window "$site_title" 0 $small)
keys "$prompt" type "$password"
keys "$prompt" Return
wait_gone "$site_title" 0 $small
sleep 4  # the table fills
shoot "${site%% *}" windows-site
keys "$site" ctrl+q
wait_tool_ended "Close did not end the site window"
wine_server_stop
echo "ok: chosen with a double click in the search window, renamed in the main window; the site window lists the site; screenshots in $shots"
