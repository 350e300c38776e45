# Wine inside the workstation namespace of the Windows tests: what
# windows-test.sh and the scripts it runs share. Source it after netns-lib.sh,
# with `work` (the run's folder), `ws` (the workstation namespace) and
# WINEPREFIX set. Wine's own output (its server's, its services') goes to
# $work/wine.log, never into the run's output.
#
#   in_ws CMD...          CMD in the workstation namespace, HOME in $work, and
#                         no configuration variable of the tool's
#   wine_ws ARGS...       wine there, ended after five minutes
#   wine_out ARGS...      the same, its standard output (without CRs) printed
#                         once it has ended: through a file, as Wine's services
#                         may inherit it and would hold a pipe open
#   wine_settle           waits until every program of the prefix has ended
#   wine_server_start [DISPLAY]  one Wine server for what follows, and Wine's
#                         services, started now so that no test's output pipe
#                         becomes theirs; DISPLAY: the X display its windows use
#   wine_server_stop
#   start_xvfb            an X display inside the namespace; sets `display`
#   reg_value KEY NAME    the data of a registry value, or nothing
#   windows_path UNIXPATH the path as Windows programs under Wine see it
#   unix_path WINPATH     and back
#   skip_reasons LOG      every skipped test of a ctest log, with its reason

in_ws() {
  ip netns exec "$ws" env -u ZELMAR_NETSERVICE_CONFIG -u ZELMAR_DATA_DIR HOME="$work/home" "$@"
}
wine_ws() { in_ws timeout 300 wine "$@"; }
wine_out() {
  local status=0
  wine_ws "$@" >"$work/wine-out.txt" 2>>"$work/wine.log" || status=$?
  tr -d '\r' <"$work/wine-out.txt"
  return "$status"
}
wine_settle() { in_ws timeout 60 wineserver -w || in_ws wineserver -k 2>>"$work/wine.log" || true; }

wine_server_start() {
  local display=${1:-}
  mkdir -p "$work/home"
  if [ -n "$display" ]; then
    in_ws env DISPLAY="$display" wineserver -p 2>>"$work/wine.log"
    in_ws env DISPLAY="$display" wineboot </dev/null >>"$work/wine.log" 2>&1
  else
    in_ws env -u DISPLAY wineserver -p 2>>"$work/wine.log"
    in_ws env -u DISPLAY wineboot </dev/null >>"$work/wine.log" 2>&1
  fi
}

wine_server_stop() {
  in_ws wineserver -k 2>>"$work/wine.log" || true
  in_ws wineserver -w 2>>"$work/wine.log" || true
}

start_xvfb() {
  display=:$((90 + $$ % 100))
  in_ws Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  keep_pid $!
  for _ in $(seq 50); do
    in_ws env DISPLAY="$display" xwininfo -root >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "no X display $display: $(cat "$work/xvfb.log")" >&2
  return 1
}

reg_value() {
  { wine_out reg query "$1" /v "$2" || true; } | sed -n "s/^ *$2 \{1,\}REG_[A-Z_]* \{1,\}//p"
}

windows_path() { wine_out winepath -w "$1"; }
unix_path() { wine_out winepath -u "$1"; }

skip_reasons() {
  awk '
    { sub(/\r$/, "") }
    /^[0-9]+\/[0-9]+ Test: / { name = $3; reason = "" }
    /: Skipped$/ { getline reason; sub(/\r$/, "", reason) }
    /^\[  SKIPPED \] / && name != "" {
      print "skipped: " name ": " (reason == "" ? "(no reason given)" : reason)
      name = ""
    }
  ' "$1"
}
