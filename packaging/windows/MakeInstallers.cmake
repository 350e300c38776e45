# Builds the Windows installers from one staged tree (cmake -P):
#   -DPARAMS=<installers-params.cmake>  [-DVERSION=x.y.z] [-DOUT_DIR=<folder>]
# The tree is staged with `cmake --install --strip` (the DLLs stripped too);
# when a code-signing certificate is given in the environment (Signing.cmake)
# the programs are signed before they are packed, and then the installers.
# Writes <OUT_DIR>/zelmar-tcpip-settings-<VERSION>-setup.exe and -x64.msi.
cmake_minimum_required(VERSION 3.25)
include(${PARAMS})
include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/NsisInstaller.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/MsiInstaller.cmake)

if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "VERSION ${VERSION}: the installers need three numbers (x.y.z)")
endif()
set(stage ${OUT_DIR}/installer-stage)
set(base ${OUT_DIR}/zelmar-tcpip-settings-${VERSION})

file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB_RECURSE dlls ${stage}/*.dll)
foreach(dll IN LISTS dlls)
  execute_process(COMMAND ${STRIP} --strip-unneeded ${dll} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Ours are the programs (the libraries of ours are linked into them); the DLLs
# beside them are Qt's, libsodium's and MinGW's, signed or not by their makers.
zelmar_signing_check()
foreach(entry IN LISTS PROGRAMS)
  string(REGEX MATCH "^[^|]+" program "${entry}")
  if(NOT EXISTS ${stage}/bin/${program})
    message(FATAL_ERROR "${program} is in packaging/windows/programs.cmake but was not installed into bin/")
  endif()
  zelmar_sign(${stage}/bin/${program})
endforeach()

zelmar_nsis_installer(${stage} ${base}-setup.exe)
zelmar_sign(${base}-setup.exe)
zelmar_msi_installer(${stage} ${base}-x64.msi)
zelmar_sign(${base}-x64.msi)
