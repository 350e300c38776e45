#!/usr/bin/env bash
# Builds the Windows dependencies of the cross build (Qt, libsodium, GoogleTest)
# from Debian's own source packages, for x86_64-w64-mingw32, into a cache folder
# outside the repository named by what it holds. A second run finds the cache
# and only prints its path, which is the one line this script writes to stdout.
#
#   scripts/windows-deps.sh            build if missing, print the prefix
#
# ZELMAR_WINDOWS_CACHE moves the cache (default ~/.cache/zelmar/windows-deps).
# The Qt version is the host's: its moc, uic and rcc serve the cross build.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
triple=x86_64-w64-mingw32
jobs=$(nproc)

version_of() { dpkg-query -W -f='${Version}' "$1"; }
qt_deb=$(version_of qt6-base-dev)         # e.g. 6.4.2+dfsg-10
sodium_deb=$(version_of libsodium-dev)    # e.g. 1.0.18-1+deb12u1
qt_upstream=${qt_deb%%[+-]*}
sodium_upstream=${sodium_deb%%[+-]*}

cache_root=${ZELMAR_WINDOWS_CACHE:-$HOME/.cache/zelmar/windows-deps}
prefix=$cache_root/qt-$qt_upstream-sodium-$sodium_upstream
stamp=$prefix/.complete
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

log() { echo "windows-deps: $*" >&2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmar-windows-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix/share/zelmar-toolchain"
# Qt records the toolchain file's path: keep it inside the prefix.
cp "$repo/cmake/windows/mingw-w64.cmake" "$prefix/share/zelmar-toolchain/"
toolchain=$prefix/share/zelmar-toolchain/mingw-w64.cmake

# --- the sources, through a source list of our own ---------------------------
# The machine's package lists stay as they are: apt reads and writes only here.
fetch_sources() {
  local apt=$work/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  cat >"$apt/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
  local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
              -o APT::Sandbox::User=root)
  log "fetching qt6-base $qt_deb and libsodium $sodium_deb source packages"
  apt-get "${opts[@]}" -qq update >&2
  (cd "$work" && apt-get "${opts[@]}" -qq source --download-only \
      "qt6-base=$qt_deb" "libsodium=$sodium_deb" >&2)
  (cd "$work" && dpkg-source -q -x qt6-base_*.dsc qtbase >&2 2>/dev/null &&
                 dpkg-source -q -x libsodium_*.dsc sodium >&2 2>/dev/null)
}

# --- libsodium ----------------------------------------------------------------
build_sodium() {
  log "building libsodium"
  (cd "$work/sodium" &&
    DO_NOT_UPDATE_CONFIG_SCRIPTS=1 ./autogen.sh -s >/dev/null 2>&1 &&
    ./configure -q --host=$triple --prefix="$prefix" --disable-static --enable-shared \
        CC=$triple-gcc-posix >/dev/null &&
    make -s -j"$jobs" >/dev/null 2>&1 && make -s install >/dev/null)
  rm -f "$prefix"/lib/*.la
}

# --- GoogleTest, from the host's libgtest-dev sources -------------------------
build_gtest() {
  log "building GoogleTest"
  cmake -S /usr/src/googletest -B "$work/gtest" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$work/gtest" >/dev/null
  cmake --install "$work/gtest" >/dev/null
}

# --- Qt: Core, Gui, Widgets, Network, Test and the platform plugins -----------
build_qt() {
  log "building Qt $qt_upstream (about 20 minutes on two cores)"
  # No OpenGL at all (-DINPUT_opengl=no: turning off the feature alone leaves
  # dynamic OpenGL on). Debian's source lacks the wintab headers that tablet
  # events and Direct2D need; the DirectWrite 3 font database goes with Direct2D.
  cmake -S "$work/qtbase" -B "$work/qtbuild" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
      -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
      -DINPUT_opengl=no -DFEATURE_opengl=OFF \
      -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
      -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF \
      -DFEATURE_xml=OFF -DFEATURE_openssl=OFF \
      -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
      -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
      -DFEATURE_system_doubleconversion=OFF >"$work/qt-configure.log" 2>&1 ||
    { tail -40 "$work/qt-configure.log" >&2; return 1; }
  cmake --build "$work/qtbuild" --parallel "$jobs" >"$work/qt-build.log" 2>&1 ||
    { grep -m20 -B2 -A8 "error" "$work/qt-build.log" >&2; return 1; }
  cmake --install "$work/qtbuild" >/dev/null
}

start=$SECONDS
fetch_sources
build_sodium
build_gtest
build_qt
touch "$stamp"
log "done in $((SECONDS - start)) s: $(du -sh "$prefix" | cut -f1) in $prefix"
echo "$prefix"
