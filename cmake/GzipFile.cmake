# cmake -DIN=<file> -DOUT=<file.gz> -P GzipFile.cmake
# Compresses one file as `gzip -9n` does: best compression, and neither the
# file name nor a time stamp in the header, so every build gives the same bytes.
# (With SOURCE_DATE_EPOCH set, CMake leaves the gzip time stamp out.)
if(NOT IN OR NOT OUT)
  message(FATAL_ERROR "usage: cmake -DIN=<file> -DOUT=<file.gz> -P GzipFile.cmake")
endif()
set(ENV{SOURCE_DATE_EPOCH} 0)
file(ARCHIVE_CREATE OUTPUT "${OUT}" PATHS "${IN}" FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
