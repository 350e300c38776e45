#!/usr/bin/env bash
# The Debian package: built by CPack from this build tree, unpacked with
# dpkg-deb into a temporary root, its files the same as `make install`
# installs, its dependencies Debian's Qt 6 and libsodium packages, and its
# programs run from there. Every program that talks to controllers is pointed
# at a simulator on loopback by ZELMAR_NETSERVICE_CONFIG; `adapters` only
# lists the adapters and sends nothing.
#
# usage: package_contents.sh CMAKE CPACK BUILD_DIR
set -euo pipefail
cmake_cmd=$1
cpack_cmd=$2
build=$3

command -v dpkg-deb >/dev/null 2>&1 || { echo "SKIP: no dpkg-deb (not a Debian system)"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelmar-package.XXXXXX")
sim_pid=""
tool_pid=""
cleanup() {
  local status=$?
  set +e
  for pid in $tool_pid $sim_pid; do
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Build it as `make package` does, into a folder of this test's own.
"$cpack_cmd" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"

# Dependencies: Debian's own Qt 6 and libsodium packages.
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6svg6 libsodium23; do
  grep -q "\b$p" <<<"$depends" || fail "Depends lacks $p: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
( cd "$root" && find . \( -type f -o -type l \) | sort ) >"$work/package.list"
"$cmake_cmd" --install "$build" --prefix "$work/installed/usr" >/dev/null
( cd "$work/installed" && find . \( -type f -o -type l \) | sort ) >"$work/install.list"
diff -u "$work/install.list" "$work/package.list" >"$work/lists.diff" ||
  fail "make install and the package differ: $(cat "$work/lists.diff")"

for f in usr/bin/zelmar-tcpip-settings usr/bin/zelmar-site usr/bin/zelmar-netctl usr/bin/zelmar-make-upgrade usr/bin/zelmar-controller-sim \
  usr/share/man/man1/zelmar-tcpip-settings.1.gz usr/share/man/man1/zelmar-netctl.1.gz \
  usr/share/man/man1/zelmar-make-upgrade.1.gz usr/share/man/man1/zelmar-controller-sim.1.gz \
  usr/share/doc/zelmar-tcpip-settings/copyright \
  usr/share/applications/zelmar-tcpip-settings.desktop \
  usr/share/icons/hicolor/scalable/apps/zelmar-tcpip-settings.svg \
  usr/share/metainfo/zelmar-tcpip-settings.metainfo.xml \
  usr/share/man/man1/zelmar-site.1.gz usr/share/applications/zelmar-site.desktop \
  usr/share/icons/hicolor/scalable/apps/zelmar-site.svg usr/share/metainfo/zelmar-site.metainfo.xml \
  "usr/share/zelmar/Prod/Texts/Zelmar TCP IP Settings Tool.en.txt" \
  "usr/share/zelmar/Prod/Texts/Zelmar TCP IP Settings Tool.sv.txt" \
  usr/share/zelmar/SLIB/QORreal/README.txt usr/share/zelmar/netservice.json \
  usr/share/doc/zelmar-tcpip-settings/changelog.gz; do
  [ -f "$root/$f" ] || fail "the package lacks $f"
done
# As lintian wants them: every manual page gzipped with best compression and no
# time stamp (gzip -9n: the same bytes on every build), the copyright file in
# Debian's format.
for page in "$root"/usr/share/man/man1/*; do
  case "$page" in *.gz) ;; *) fail "manual page not compressed: ${page#"$root"/}" ;; esac
  gzip -t "$page" || fail "not a gzip file: ${page#"$root"/}"
  [ "$(od -An -tx1 -j4 -N5 "$page" | tr -d ' ')" = 0000000002 ] ||
    fail "manual page with a time stamp or without best compression: ${page#"$root"/}"
done
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$root/usr/share/doc/zelmar-tcpip-settings/copyright" || fail "copyright file not in Debian's format"
# No demo data: nothing in the upgrade folder could be offered to a real controller.
[ -z "$(find "$root" -name '*.TcpIpPortOS')" ] || fail "the package holds upgrade files"
grep -q '"adapters"' "$root/usr/share/zelmar/netservice.json" || fail "the installed configuration does not search the adapters"
echo "ok: contents, dependencies, the same files as make install"

# Debian's checks, which scripts/install-deps.sh installs: lintian finds no
# error in the package (its warnings are shown), the desktop entry validates
# without even a hint, and so does the AppStream metainfo.
for tool in lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing: scripts/install-deps.sh installs it"
done
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
cat "$work/lintian.log"
for program in zelmar-tcpip-settings zelmar-site; do
  desktop=$(desktop-file-validate "$root/usr/share/applications/$program.desktop" 2>&1) &&
    [ -z "$desktop" ] || fail "desktop entry of $program: $desktop"
  appstreamcli validate --no-net "$root/usr/share/metainfo/$program.metainfo.xml" >"$work/appstream.log" 2>&1 ||
    fail "metainfo of $program: $(cat "$work/appstream.log")"
done
echo "ok: lintian, desktop entries and metainfo"

# The programs, run from the unpacked root.
bin="$root/usr/bin"
mkdir -p "$work/xdg"
export XDG_CONFIG_HOME="$work/xdg"  # no per-user configuration of whoever runs the tests

# Without a configuration variable the installed configuration holds.
env -u ZELMAR_NETSERVICE_CONFIG -u ZELMAR_DATA_DIR "$bin/zelmar-netctl" adapters --json >"$work/adapters.json"
grep -q "\"path\": \"$root/usr/share/zelmar/netservice.json\"" "$work/adapters.json" ||
  fail "adapters does not name the installed configuration: $(cat "$work/adapters.json")"
grep -q '"source": "installed"' "$work/adapters.json" || fail "adapters: source"

"$bin/zelmar-make-upgrade" --random-image 4096 --type 3 --revision 1.0 --output "$work/3.TcpIpPortOS" >/dev/null
"$bin/zelmar-make-upgrade" --check "$work/3.TcpIpPortOS" >/dev/null || fail "make-upgrade --check"

"$bin/zelmar-controller-sim" --generate 3 --port 0 --client-config "$work/client.json" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready ' "$work/sim.out" && break
  sleep 0.1
done
grep -q '^ready ' "$work/sim.out" || fail "simulator: $(cat "$work/sim.out")"
found=$(ZELMAR_NETSERVICE_CONFIG="$work/client.json" "$bin/zelmar-netctl" --json search | grep -c '"SerialNo"')
[ "$found" -eq 3 ] || fail "netctl found $found of 3 simulated controllers"

QT_QPA_PLATFORM=offscreen ZELMAR_NETSERVICE_CONFIG="$work/client.json" "$bin/zelmar-tcpip-settings" \
  >"$work/tool.out" 2>&1 &
tool_pid=$!
sleep 2
kill -0 "$tool_pid" 2>/dev/null || fail "the tool ended at start: $(cat "$work/tool.out")"
kill -TERM "$tool_pid" 2>/dev/null; wait "$tool_pid" 2>/dev/null || true

# The site window, started the same way, stays up.
QT_QPA_PLATFORM=offscreen ZELMAR_NETSERVICE_CONFIG="$work/client.json" "$bin/zelmar-site" >"$work/site.out" 2>&1 &
tool_pid=$!
sleep 2
kill -0 "$tool_pid" 2>/dev/null || fail "the site window ended at start: $(cat "$work/site.out")"
echo "ok: the packaged programs run from the unpacked root"
