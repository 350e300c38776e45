#!/usr/bin/env bash
# A technician's site made of network namespaces that this test creates and
# removes itself. Nothing of it touches the machine's own namespace: every
# veth pair is made inside the namespaces, which have no link to the host.
#
#   workstation ──n1── switch1 ── 3 controllers   192.0.2.0/24
#               ──n2── switch2 ── 2 controllers   198.51.100.0/24
#               ──cable── 1 controller, link-local 169.254.77.7, reporting IP 0.0.0.0
#
# In the workstation namespace the installed zelmar-netctl runs WITHOUT a
# configuration variable, so that the installed configuration and its
# "adapters" target are what is tested; then the tool's dialogs once
# (test_netns_gui). Each controller is one simulator in a namespace of its
# own listening on all its addresses (--any-address 0.0.0.0), as a real one
# hears broadcasts. Exit 77: skipped, with the reason printed.
#
# usage: netns_site.sh CMAKE BUILD_DIR GUI_TEST
set -euo pipefail
cmake_cmd=$1
build=$2
gui_test=$3

skip() {
  echo "SKIP: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null 2>&1 || skip "no 'ip' command (install iproute2)"

tag="zt$$"  # names unique to this run
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmar-netns.XXXXXX")
source "$(dirname "$0")/../../scripts/netns-lib.sh"
remove_on_exit

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The first namespace that cannot be made says the machine cannot: skipped.
ns_failed() {
  [ -s "$work/namespaces" ] || skip "cannot create network namespaces: $2"
  fail "ip netns add $1: $2"
}

# The installed programs: what `make install` puts under a prefix.
root="$work/root"
"$cmake_cmd" --install "$build" --prefix "$root/usr" >/dev/null
bin="$root/usr/bin"
[ -f "$root/usr/share/zelmar/netservice.json" ] || fail "no installed service configuration"

ws="$tag-ws"
make_ns "$ws"

# A switch namespace with a bridge, its uplink to the workstation's adapter.
make_switch() {  # switch-ns workstation-adapter address/prefix
  make_ns "$1"
  if ! ip -n "$1" link add br0 type bridge forward_delay 0 2>"$work/bridge.err"; then
    skip "cannot create a bridge in a namespace: $(cat "$work/bridge.err")"
  fi
  ip -n "$ws" link add "$2" type veth peer name uplink netns "$1"
  ip -n "$1" link set uplink master br0
  ip -n "$1" link set uplink up
  ip -n "$1" link set br0 up
  ip -n "$ws" addr add "$3" brd + dev "$2"
  ip -n "$ws" link set "$2" up
}

# One controller: its own namespace on a switch (or the cable), its fleet
# file, a simulator listening on all the namespace's addresses.
controllers=()
start_controller() {  # ns serial mac address/prefix reported-ip reported-mask gateway network connected name
  local ns=$1
  ip -n "$ns" addr add "$4" brd + dev eth0
  ip -n "$ns" link set eth0 up
  sim_controller "$ns" "$bin/zelmar-controller-sim" "$2" "$3" "$5" "$6" "$7" "$8" "$9" "${10}"
  controllers+=("$2")
}
site_controller() {  # switch-ns index serial address network name (the workstation, .1, is gateway and DNS server)
  local ns="$tag-c$2"
  make_ns "$ns"
  ip -n "$1" link add "p$2" type veth peer name eth0 netns "$ns"
  ip -n "$1" link set "p$2" master br0
  ip -n "$1" link set "p$2" up
  start_controller "$ns" "$3" "00-1A-4C-20-00-0$2" "$4/24" "$4" 255.255.255.0 "${4%.*}.1" "$5" false "$6"
}

make_switch "$tag-sw1" n1 192.0.2.1/24
make_switch "$tag-sw2" n2 198.51.100.1/24
site_controller "$tag-sw1" 1 10-00001 192.0.2.11 192.0.2.0/24 "Site A 1"
site_controller "$tag-sw1" 2 10-00002 192.0.2.12 192.0.2.0/24 "Site A 2"
site_controller "$tag-sw1" 3 10-00003 192.0.2.13 192.0.2.0/24 "Site A 3"
site_controller "$tag-sw2" 4 20-00001 198.51.100.21 198.51.100.0/24 "Site B 1"
site_controller "$tag-sw2" 5 20-00002 198.51.100.22 198.51.100.0/24 "Site B 2"

# The direct cable: both ends link-local, as without a DHCP server there.
cab="$tag-cab"
make_ns "$cab"
ip -n "$ws" link add cable type veth peer name eth0 netns "$cab"
ip -n "$ws" addr add 169.254.1.1/16 brd + dev cable
ip -n "$ws" link set cable up
start_controller "$cab" 30-00001 00-1A-4C-30-00-01 169.254.77.7/16 0.0.0.0 0.0.0.0 0.0.0.0 169.254.0.0/16 true "Cabled"

for ns in $(cat "$work/namespaces"); do
  [ -f "$work/$ns.fleet.json" ] || continue
  sim_ready "$ns" || fail "the simulator in $ns did not start: $(cat "$work/$ns.out")"
done
echo "site: ${#controllers[@]} controllers on 2 site networks and a direct cable"

# The workstation's programs: no configuration variable, an empty per-user folder.
mkdir -p "$work/xdg" "$work/home"
in_ws() {
  ip netns exec "$ws" env -u ZELMAR_NETSERVICE_CONFIG -u ZELMAR_DATA_DIR XDG_CONFIG_HOME="$work/xdg" \
    HOME="$work/home" "$@"
}
netctl() { in_ws "$bin/zelmar-netctl" "$@"; }
serials() { grep -o '"SerialNo":"[^"]*"' | sed 's/.*:"\(.*\)"/\1/' | sort; }
field_of() {  # serial field < json lines
  grep "\"SerialNo\":\"$1\"" | grep -o "\"$2\":\"[^\"]*\"" | sed 's/.*:"\(.*\)"/\1/'
}
expected=$(printf '%s\n' "${controllers[@]}" | sort)

# 1. What the technician sees with `adapters`: the installed configuration,
#    three searched adapters, their broadcasts.
netctl adapters --json >"$work/adapters.json"
grep -q "\"path\": \"$root/usr/share/zelmar/netservice.json\"" "$work/adapters.json" ||
  fail "adapters: not the installed configuration: $(cat "$work/adapters.json")"
[ "$(grep -c '"searched": true' "$work/adapters.json")" -eq 3 ] || fail "adapters: not three searched adapters"
for name in n1 n2 cable; do
  grep -q "\"name\": \"$name\"" "$work/adapters.json" || fail "adapters: $name missing"
done
for target in 192.0.2.255 198.51.100.255 169.254.255.255; do
  grep -q "\"target\": \"$target\"" "$work/adapters.json" || fail "adapters: no target $target"
done
[ "$(grep -c '"target": "255.255.255.255"' "$work/adapters.json")" -eq 3 ] ||
  fail "adapters: the limited broadcast is not sent through each of the three adapters"
echo "ok: adapters lists the three adapters and their search targets"

# 2. A full search finds every controller exactly once.
netctl --json search >"$work/search1.json"
[ "$(serials <"$work/search1.json")" = "$expected" ] ||
  fail "search found: $(serials <"$work/search1.json" | tr '\n' ' ') expected: $(echo $expected)"
[ "$(field_of 30-00001 IpAddress <"$work/search1.json")" = "0.0.0.0" ] || fail "the cabled controller's reported IP"
echo "ok: the search finds each of the ${#controllers[@]} controllers once"

# 3. Connected mode: only the cabled one.
netctl --json connected >"$work/connected.json"
[ "$(serials <"$work/connected.json")" = "30-00001" ] ||
  fail "connected mode found: $(serials <"$work/connected.json" | tr '\n' ' ')"
echo "ok: connected mode finds only the cabled controller"

# 4. A fixed address for the cabled controller on its network. Nobody is there yet.
new_ip=169.254.20.20
[ -z "$(netctl --json search "$new_ip" | serials)" ] || fail "something answers at $new_ip before the setup"
netctl set 30-00001 UseDhcp=false ConfigIpAddress=$new_ip ConfigSubnetMask=255.255.0.0 ConfigGateway=0.0.0.0 \
  >"$work/set.out" || fail "setup of the cabled controller: $(cat "$work/set.out")"
grep -q '"ipAddress": "169.254.20.20"' "$work/$cab.state.json" || fail "the simulator did not take the setup"
# The controller's own network stack takes the address it was given.
ip -n "$cab" addr flush dev eth0
ip -n "$cab" addr add "$new_ip/16" brd + dev eth0
netctl --json search "$new_ip" >"$work/at-new.json"
[ "$(serials <"$work/at-new.json")" = "30-00001" ] || fail "the cabled controller does not answer at $new_ip"
netctl --json search >"$work/search2.json"
[ "$(serials <"$work/search2.json")" = "$expected" ] || fail "after the setup the search found: $(serials <"$work/search2.json" | tr '\n' ' ')"
[ "$(field_of 30-00001 IpAddress <"$work/search2.json")" = "$new_ip" ] || fail "the cabled controller reports no new address"
echo "ok: the cabled controller got $new_ip and is found there"

# 5. The tool's dialogs once: choose a controller of the second site network, load new settings.
in_ws env QT_QPA_PLATFORM=offscreen ZELMAR_DATA_DIR="$root/usr/share/zelmar" ZELMAR_NETNS_SITE=1 \
  ZELMAR_NETNS_CONTROLLERS=${#controllers[@]} ZELMAR_NETNS_CHOOSE=20-00002 ZELMAR_NETNS_NEW_NAME="Site B 2 checked" \
  "$gui_test" >"$work/gui.out" 2>&1 || fail "the dialogs: $(cat "$work/gui.out")"
grep -q '\[  PASSED  \] 1 test' "$work/gui.out" || fail "the dialogs did not run: $(cat "$work/gui.out")"
[ "$(netctl --json find 20-00002 | field_of 20-00002 Name)" = "Site B 2 checked" ] ||
  fail "the setup from the dialogs did not reach the controller"
echo "ok: the dialogs chose 20-00002 through the adapters and wrote its new name"

# 6. A slow link: every datagram from the second site network to the
#    workstation delayed 400 ms (tc netem on the switch's uplink, inside the
#    namespaces), longer than a search on a fast network waits after its last
#    answer. The search still finds every controller once.
if ! command -v tc >/dev/null 2>&1; then
  echo "skipped (slow link): no 'tc' command"
elif ! tc -n "$tag-sw2" qdisc add dev uplink root netem delay 400ms 2>"$work/netem.err"; then
  echo "skipped (slow link): the netem qdisc is unavailable: $(cat "$work/netem.err")"
else
  netctl --json search >"$work/search-slow.json"
  [ "$(serials <"$work/search-slow.json")" = "$expected" ] ||
    fail "over the slow link the search found: $(serials <"$work/search-slow.json" | tr '\n' ' ')"
  echo "ok: with 400 ms on the second site network the search still finds each controller once"
fi
