# Code signing with osslsigncode (SHA-256), when the environment names a
# certificate; the password never appears on a command line:
#   ZELMAR_SIGN_PKCS12          the code-signing certificate with its key (.p12/.pfx)
#   ZELMAR_SIGN_PASSWORD_FILE   a file holding its password
#   ZELMAR_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamping service, so
#                               that signatures outlive the certificate
# Included, it defines zelmar_signing_check() and zelmar_sign(<file>); run as
# `cmake -DOSSLSIGNCODE=<program> -DPRODUCT=<name> -DFILE=<file> -P Signing.cmake`
# it signs that one file in place (NSIS signs its uninstaller that way).

# Fails when a certificate is named but cannot be used.
function(zelmar_signing_check)
  if(NOT DEFINED ENV{ZELMAR_SIGN_PKCS12} OR "$ENV{ZELMAR_SIGN_PKCS12}" STREQUAL "")
    return()
  endif()
  if(NOT EXISTS "$ENV{ZELMAR_SIGN_PKCS12}")
    message(FATAL_ERROR "ZELMAR_SIGN_PKCS12: no such file: $ENV{ZELMAR_SIGN_PKCS12}")
  endif()
  if(NOT EXISTS "$ENV{ZELMAR_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "ZELMAR_SIGN_PASSWORD_FILE must name the file holding the certificate's password")
  endif()
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "signing needs osslsigncode (scripts/install-deps.sh windows installs it)")
  endif()
endfunction()

function(zelmar_sign file)
  if(NOT DEFINED ENV{ZELMAR_SIGN_PKCS12} OR "$ENV{ZELMAR_SIGN_PKCS12}" STREQUAL "")
    return()
  endif()
  set(timestamp)
  if(NOT "$ENV{ZELMAR_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(timestamp -ts "$ENV{ZELMAR_SIGN_TIMESTAMP_URL}")
  endif()
  file(REMOVE ${file}.signed)
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign -pkcs12 "$ENV{ZELMAR_SIGN_PKCS12}" -readpass "$ENV{ZELMAR_SIGN_PASSWORD_FILE}"
            -h sha256 -n "${PRODUCT}" ${timestamp} -in ${file} -out ${file}.signed
    OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE ${file}.signed)
    message(FATAL_ERROR "signing ${file} failed: ${out}")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND DEFINED FILE)
  zelmar_sign(${FILE})
endif()
