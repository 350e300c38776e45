# `make package`: a Debian package of exactly what `make install` installs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelmar-tcpip-settings)
set(CPACK_PACKAGE_VENDOR Zelmar)
set(CPACK_PACKAGE_CONTACT "Zelmar service tools <service-tools@zelmar.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find Zelmar controllers and set up their TCP/IP port")
# Lines of at most 80 characters, as Debian's control file wants them.
set(CPACK_PACKAGE_DESCRIPTION
  "The service technician's desktop tool for commissioning Zelmar\nbuilding-automation controllers, with the command-line client zelmar-netctl,\nthe upgrade-file tool and the controller simulator.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)  # quick to build in the tests; the programs are small
# The Qt 6 and libsodium packages of the Debian release it is built on, as
# dpkg-shlibdeps reads them from the programs (the Qt plugins come with them).
# And Qt's own texts (standard buttons, the file dialog) in the site window's language.
find_program(ZELMAR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZELMAR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, libqt6svg6, libsodium23, qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-dejavu-extra")
include(CPack)
