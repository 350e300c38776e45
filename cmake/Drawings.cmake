# The dialogs' drawings (resources/icons/*.svg) as Qt resources named without
# a format: ":/<prefix>/<name>". Where Qt SVG is found the SVG files are the
# resources and the dialogs render them at run time; where it is not (the
# Windows build: Debian has no Qt SVG source) a host program renders each
# drawing to PNG at its size and at twice it, at build time.
#
#   zelmar_add_drawings(<target> <prefix> <name>:<pixels>...)
#   zelmar_windows_icon(<output.ico> <name>)   a Windows icon of a drawing
find_package(Qt6 QUIET COMPONENTS Svg)
if(TARGET Qt6::Svg)
  set(ZELMAR_DRAWINGS_AS_SVG ON)
else()
  set(ZELMAR_DRAWINGS_AS_SVG OFF)
endif()

set(ZELMAR_DRAWINGS_DIR ${PROJECT_SOURCE_DIR}/resources/icons)

if(NOT ZELMAR_DRAWINGS_AS_SVG OR WIN32)
  # Built with the host's compiler and Qt, also in a cross build.
  include(ExternalProject)
  set(ZELMAR_DRAWING_RENDERER ${CMAKE_BINARY_DIR}/host/render-drawings/zelmar-render-drawings)
  ExternalProject_Add(zelmar_render_drawings
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/render-drawings
    BINARY_DIR ${CMAKE_BINARY_DIR}/host/render-drawings
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=
    INSTALL_COMMAND ""
    BUILD_ALWAYS OFF
    BUILD_BYPRODUCTS ${ZELMAR_DRAWING_RENDERER})
endif()

function(zelmar_add_drawings target prefix)
  set(files)
  foreach(item IN LISTS ARGN)
    string(REPLACE ":" ";" parts ${item})
    list(GET parts 0 name)
    list(GET parts 1 pixels)
    set(svg ${ZELMAR_DRAWINGS_DIR}/${name}.svg)
    if(ZELMAR_DRAWINGS_AS_SVG)
      set_source_files_properties(${svg} PROPERTIES QT_RESOURCE_ALIAS ${name}.svg)
      list(APPEND files ${svg})
    else()
      set(png ${CMAKE_CURRENT_BINARY_DIR}/drawings/${name}.png)
      set(png2 ${CMAKE_CURRENT_BINARY_DIR}/drawings/${name}@2x.png)
      add_custom_command(OUTPUT ${png} ${png2}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/drawings
        COMMAND ${ZELMAR_DRAWING_RENDERER} png ${svg} ${pixels} ${png} ${png2}
        DEPENDS ${svg} zelmar_render_drawings
        COMMENT "Rendering the drawing ${name} at ${pixels} pixels"
        VERBATIM)
      set_source_files_properties(${png} PROPERTIES QT_RESOURCE_ALIAS ${name}.png)
      set_source_files_properties(${png2} PROPERTIES QT_RESOURCE_ALIAS ${name}@2x.png)
      list(APPEND files ${png} ${png2})
    endif()
  endforeach()
  qt_add_resources(${target} ${target}_drawings PREFIX ${prefix} FILES ${files})
endfunction()

function(zelmar_windows_icon output name)
  add_custom_command(OUTPUT ${output}
    COMMAND ${ZELMAR_DRAWING_RENDERER} ico ${ZELMAR_DRAWINGS_DIR}/${name}.svg ${output} 16 24 32 48 64 256
    DEPENDS ${ZELMAR_DRAWINGS_DIR}/${name}.svg zelmar_render_drawings
    COMMENT "Rendering the Windows icon of ${name}"
    VERBATIM)
endfunction()
