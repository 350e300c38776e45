#!/usr/bin/env bash
# `make windows`: the tool, zelmar-netctl, zelmar-controller-sim and
# zelmar-make-upgrade for 64-bit Windows in build-windows/bin/, each runnable
# there with its DLLs, and the installer
# build-windows/zelmar-tcpip-settings-<version>-setup.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows
deps=$(bash scripts/windows-deps.sh)
build=build-windows
# Release: the installer ships stripped programs; debug information would
# only make the build slower and the test programs larger.
cmake -S . -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/windows/mingw-w64.cmake" -DZELMAR_WINDOWS_DEPS="$deps" >/dev/null
cmake --build "$build"
cmake --build "$build" --target zelmar-installer
ls "$build"/zelmar-tcpip-settings-*-setup.exe
