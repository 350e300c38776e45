# The Windows build (MinGW-w64, cross-built here; scripts/windows-build.sh).
# Included before the targets: tests and gtest discovery run the Windows
# programs under Wine; the tool's icon is rendered from its drawing.
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
  # The tests are listed when they run (in the Wine prefix), not at build time.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

set(ZELMAR_WINDOWS_ICON ${CMAKE_BINARY_DIR}/zelmar-tcpip-settings.ico)
zelmar_windows_icon(${ZELMAR_WINDOWS_ICON} main-cable)
add_custom_target(zelmar_windows_icon DEPENDS ${ZELMAR_WINDOWS_ICON})

# What Explorer, the installed programs and the installers call the product,
# and its folder in Program Files and name in the Start menu (no "/" there).
set(ZELMAR_PRODUCT "Zelmar TCP/IP Settings Tool")
set(ZELMAR_PRODUCT_FOLDER "Zelmar TCP-IP Settings Tool")
set(ZELMAR_PUBLISHER "Zelmar")

# A program the Windows installers carry (packaging/windows/programs.cmake
# lists them, one line each):
#   zelmar_windows_program(<target> <description> [START_MENU <entry name>] [FIREWALL])
# It gets the icon and a version resource with the description; START_MENU
# gives it a Start menu entry of that name, FIREWALL the inbound firewall rule
# that lets the controllers' answers through (programs that search).
function(zelmar_windows_program target description)
  cmake_parse_arguments(ARG "FIREWALL" "START_MENU" "" ${ARGN})
  set(ZELMAR_RC_NAME ${target})
  set(ZELMAR_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_BINARY_DIR}/windows-programs/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${ZELMAR_WINDOWS_ICON})
  add_dependencies(${target} zelmar_windows_icon)
  set(firewall 0)
  if(ARG_FIREWALL)
    set(firewall 1)
  endif()
  # <file>|<Start menu entry, or empty>|<firewall rule: 0 or 1>
  set_property(GLOBAL APPEND PROPERTY ZELMAR_WINDOWS_PROGRAMS "${target}.exe|${ARG_START_MENU}|${firewall}")
  set_property(GLOBAL APPEND PROPERTY ZELMAR_WINDOWS_PROGRAM_TARGETS ${target})
endfunction()

# Every program runs from bin/ as it stands: the Qt, libsodium and MinGW
# runtime DLLs, and the platform and style plugins, are copied beside them.
# Call after the targets exist.
function(zelmar_windows_runtime)
  set(libraries $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
                $<TARGET_FILE:Qt6::Network>)
  if(BUILD_TESTING)
    list(APPEND libraries $<TARGET_FILE:Qt6::Test>)
  endif()
  find_file(ZELMAR_SODIUM_DLL NAMES libsodium-23.dll HINTS ${SODIUM_PREFIX}/bin NO_DEFAULT_PATH REQUIRED)
  list(APPEND libraries ${ZELMAR_SODIUM_DLL})
  set(plugins
    platforms=$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
    platforms=$<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>
    styles=$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)
  # Where the MinGW runtime DLLs (libstdc++, libgcc, winpthread) lie.
  set(folders $<TARGET_FILE_DIR:Qt6::Core> ${SODIUM_PREFIX}/bin)
  foreach(dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(folder ${path} DIRECTORY)
    list(APPEND folders ${folder})
  endforeach()
  string(REPLACE ";" "|" libraries "${libraries}")
  string(REPLACE ";" "|" plugins "${plugins}")
  string(REPLACE ";" "|" folders "${folders}")
  # Qt's own texts in the tool's languages (the standard buttons, the file dialog): the
  # translations are the same files on every system, so the build machine's serve.
  find_file(ZELMAR_QT_SWEDISH qt_sv.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_custom_target(zelmar_windows_runtime ALL
    COMMAND ${CMAKE_COMMAND} -DDEST=${CMAKE_RUNTIME_OUTPUT_DIRECTORY} -DLIBRARIES=${libraries}
            -DPLUGINS=${plugins} -DFOLDERS=${folders} -DOBJDUMP=${CMAKE_OBJDUMP}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/CopyRuntime.cmake
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/translations
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZELMAR_QT_SWEDISH} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/translations/
    COMMENT "Copying the runtime DLLs, plugins and Qt's translations beside the programs"
    VERBATIM)
endfunction()
