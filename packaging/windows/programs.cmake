# The programs of the Windows installers, one line each: the target, the
# description its version resource carries, START_MENU with the name of its
# Start menu entry (the windowed programs) and FIREWALL for the inbound rule
# that lets the controllers' answers through (the programs that search).
# A new program is one more line here: both installers, their uninstallers,
# the version resources and the signing follow from this list.
zelmar_windows_program(zelmar-tcpip-settings "Zelmar TCP/IP Settings Tool"
  START_MENU "Zelmar TCP-IP Settings Tool" FIREWALL)
zelmar_windows_program(zelmar-netctl "Zelmar controllers from the command line" FIREWALL)
zelmar_windows_program(zelmar-controller-sim "Zelmar controller simulator")
zelmar_windows_program(zelmar-make-upgrade "Zelmar TCP/IP Port OS upgrade files")
zelmar_windows_program(zelmar-site "Zelmar TCP/IP Site Commissioning"
  START_MENU "Zelmar TCP-IP Site Commissioning" FIREWALL)
