#!/usr/bin/env bash
# Installs exactly the Debian packages the build, the tests and `make run` need
# and that are missing. Quiet when everything is there; safe to run again.
# dpkg-dev: the package's dependencies (dpkg-shlibdeps); lintian,
# desktop-file-utils and appstream: the package test's checks of the package,
# its desktop entry and metainfo; iproute2: the network-namespace site test
# (`ip netns`, veth, bridges).
#
#   install-deps.sh            the Linux build and tests
#   install-deps.sh windows    also the Windows cross build and its tests under Wine
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libsodium-dev libgtest-dev libgmock-dev
  fonts-dejavu-core fonts-dejavu-extra qt6-translations-l10n
  xvfb xauth
  dpkg-dev lintian desktop-file-utils appstream iproute2
)
if [ "${1:-}" = windows ]; then
  # The cross compiler; autotools for libsodium's source; the NSIS installer
  # and the MSI (wixl, and msitools to read it back); signing
  # (osslsigncode, openssl for the test's throwaway certificate); Wine with its
  # fonts; groff for the help texts; xwd and netpbm for the screenshots of the
  # tool under Wine; xdotool to drive its window there.
  packages+=(
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    autoconf automake libtool debian-archive-keyring
    nsis wixl msitools osslsigncode openssl
    wine wine64 fonts-wine groff-base
    x11-apps netpbm xdotool
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
