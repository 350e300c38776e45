#!/usr/bin/env bash
# `make windows`: the tool, zelmar-netctl, zelmar-controller-sim and
# zelmar-make-upgrade for 64-bit Windows in build-windows/bin/, each runnable
# there with its DLLs, and the installers
# build-windows/zelmar-tcpip-settings-<version>-setup.exe and -x64.msi.
#
# With a code-signing certificate the programs and both installers are signed
# (osslsigncode, SHA-256; packaging/windows/Signing.cmake):
#   ZELMAR_SIGN_PKCS12=<certificate.p12> ZELMAR_SIGN_PASSWORD_FILE=<file> make windows
# (ZELMAR_SIGN_TIMESTAMP_URL adds a time stamp). The last line says whether
# the installers are signed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows
deps=$(bash scripts/windows-deps.sh)
build=build-windows
# Release: the installers ship stripped programs; debug information would
# only make the build slower and the test programs larger.
cmake -S . -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/windows/mingw-w64.cmake" -DZELMAR_WINDOWS_DEPS="$deps" >/dev/null
cmake --build "$build"
cmake --build "$build" --target zelmar-installers
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
installers="$build/zelmar-tcpip-settings-$version-setup.exe $build/zelmar-tcpip-settings-$version-x64.msi"
if [ -n "${ZELMAR_SIGN_PKCS12:-}" ]; then
  echo "Signed with $ZELMAR_SIGN_PKCS12: $installers and the programs in them"
else
  echo "Unsigned (no ZELMAR_SIGN_PKCS12 given; SmartScreen will warn): $installers"
fi
