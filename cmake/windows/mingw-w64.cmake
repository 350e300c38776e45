# Cross build for 64-bit Windows with MinGW-w64 (posix threads).
#
# The Windows dependencies (Qt, libsodium, GoogleTest) sit in one prefix that
# scripts/windows-deps.sh builds: ZELMAR_WINDOWS_DEPS names it. A copy of this
# file lives inside that prefix, where Qt records its path; there the prefix
# is the file's own folder two levels up, so the cache can move.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

if(NOT ZELMAR_WINDOWS_DEPS)
  if(DEFINED ENV{ZELMAR_WINDOWS_DEPS})
    set(ZELMAR_WINDOWS_DEPS "$ENV{ZELMAR_WINDOWS_DEPS}")
  else()
    get_filename_component(ZELMAR_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
  endif()
endif()
# try_compile projects run this file again without the cache: pass it on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELMAR_WINDOWS_DEPS)
set(ENV{ZELMAR_WINDOWS_DEPS} "${ZELMAR_WINDOWS_DEPS}")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple} "${ZELMAR_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's Qt tools (moc, uic, rcc) serve the cross build; they must be the
# same Qt version as the prefix's.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# pkg-config looks only in the prefix, and takes the prefix from where the .pc
# file lies rather than from where it was installed.
set(ENV{PKG_CONFIG_LIBDIR} "${ZELMAR_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --define-prefix)
