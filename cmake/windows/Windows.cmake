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
  add_custom_target(zelmar_windows_runtime ALL
    COMMAND ${CMAKE_COMMAND} -DDEST=${CMAKE_RUNTIME_OUTPUT_DIRECTORY} -DLIBRARIES=${libraries}
            -DPLUGINS=${plugins} -DFOLDERS=${folders} -DOBJDUMP=${CMAKE_OBJDUMP}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/CopyRuntime.cmake
    COMMENT "Copying the runtime DLLs and plugins beside the programs"
    VERBATIM)
endfunction()
