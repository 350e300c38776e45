# One test program and its GoogleTest cases, registered with CTest:
#
#   zelmar_test(<name>
#     SOURCES <files...>          its sources
#     LIBS <targets...>           what it links
#     LABELS <labels...>          unit, network, gui, acceptance (ctest -L)
#     [MAIN qapp|qguiapp|own]     whose main(): GoogleTest's by default; qapp: the shared one that
#                                 makes a QApplication (tests/platform/ui/gtest_qapp_main.cpp);
#                                 qguiapp: one that makes a QGuiApplication, for models that draw
#                                 but hold no widget (tests/common/gtest_qguiapp_main.cpp);
#                                 own: one among SOURCES
#     [DATA] [LANG <lang>]        it reads this build's data folder (texts), in this language
#     [DEFINES <definitions...>]  e.g. the path of a program it starts
#     [NEEDS <targets...>]        built before it: the programs it starts
#     [ENVIRONMENT <VAR=value...>]
#     [TIMEOUT <seconds>]
#     [LIST_WHEN_RUN]             its cases are listed when ctest runs, not when it is built
#                                 (the cross build lists every program's so)
#     [NOT_WHEN_CROSS])           built but not run in a cross build (the simulator's own tests:
#                                 under Wine a socket bound to one loopback address takes its
#                                 port on the whole loopback)
#
# Every case runs with QT_QPA_PLATFORM=offscreen: nothing a test shows reaches a screen.
function(zelmar_test name)
  cmake_parse_arguments(T "DATA;LIST_WHEN_RUN;NOT_WHEN_CROSS" "MAIN;LANG;TIMEOUT"
                        "SOURCES;LIBS;LABELS;DEFINES;NEEDS;ENVIRONMENT" ${ARGN})
  if(NOT T_SOURCES OR NOT T_LABELS)
    message(FATAL_ERROR "zelmar_test(${name}): SOURCES and LABELS are required")
  endif()
  set(sources ${T_SOURCES})
  set(libs ${T_LIBS})
  if(T_MAIN STREQUAL "qapp")
    list(PREPEND sources ${PROJECT_SOURCE_DIR}/tests/platform/ui/gtest_qapp_main.cpp)
    list(APPEND libs GTest::gtest)
  elseif(T_MAIN STREQUAL "qguiapp")
    list(PREPEND sources ${PROJECT_SOURCE_DIR}/tests/common/gtest_qguiapp_main.cpp)
    list(APPEND libs GTest::gtest)
  elseif(T_MAIN STREQUAL "own")
    list(APPEND libs GTest::gtest)
  elseif(NOT T_MAIN)
    list(APPEND libs GTest::gtest_main)
  else()
    message(FATAL_ERROR "zelmar_test(${name}): MAIN is qapp, qguiapp or own, not ${T_MAIN}")
  endif()

  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${libs})
  set_target_properties(${name} PROPERTIES AUTOUIC OFF)
  target_compile_definitions(${name} PRIVATE ${T_DEFINES})
  set(environment "QT_QPA_PLATFORM=offscreen" ${T_ENVIRONMENT})
  if(T_DATA)
    target_compile_definitions(${name} PRIVATE ZELMAR_TEST_DATA_DIR="${ZELMAR_BUILD_DATA_DIR}")
    list(APPEND environment "ZELMAR_DATA_DIR=${ZELMAR_BUILD_DATA_DIR}")
    list(APPEND T_NEEDS zelmar_data)
  endif()
  if(T_LANG)
    target_compile_definitions(${name} PRIVATE ZELMAR_TEST_LANG="${T_LANG}")
    list(APPEND environment "ZELMAR_LANG=${T_LANG}")
  endif()
  if(T_NEEDS)
    add_dependencies(${name} ${T_NEEDS})
  endif()

  if(T_NOT_WHEN_CROSS AND CMAKE_CROSSCOMPILING)
    return()
  endif()
  set(discovery DISCOVERY_TIMEOUT 60)
  if(T_LIST_WHEN_RUN)
    list(APPEND discovery DISCOVERY_MODE PRE_TEST)
  endif()
  # Quoted: the labels and the environment are lists of their own.
  if(T_TIMEOUT)
    gtest_discover_tests(${name} ${discovery}
      PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${environment}" TIMEOUT ${T_TIMEOUT})
  else()
    gtest_discover_tests(${name} ${discovery} PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${environment}")
  endif()
endfunction()
