# Copies DLLs, the plugins and every DLL they load (found in FOLDERS) into
# DEST; the system's own DLLs stay where they are. cmake -P with
#   -DDEST= -DLIBRARIES=a|b -DPLUGINS=<subfolder>=<dll>|... -DFOLDERS=a|b -DOBJDUMP=
foreach(var LIBRARIES PLUGINS FOLDERS)
  string(REPLACE "|" ";" ${var} "${${var}}")
endforeach()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${OBJDUMP})

set(plugin_files)
foreach(entry IN LISTS PLUGINS)
  string(REPLACE "=" ";" parts ${entry})
  list(GET parts 0 subfolder)
  list(GET parts 1 dll)
  file(MAKE_DIRECTORY ${DEST}/${subfolder})
  get_filename_component(name ${dll} NAME)
  file(COPY_FILE ${dll} ${DEST}/${subfolder}/${name} ONLY_IF_DIFFERENT)
  list(APPEND plugin_files ${dll})
endforeach()

file(GET_RUNTIME_DEPENDENCIES
  LIBRARIES ${LIBRARIES} ${plugin_files}
  DIRECTORIES ${FOLDERS}
  RESOLVED_DEPENDENCIES_VAR found
  UNRESOLVED_DEPENDENCIES_VAR system
  PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-")
foreach(dll IN LISTS LIBRARIES found)
  get_filename_component(name ${dll} NAME)
  file(COPY_FILE ${dll} ${DEST}/${name} ONLY_IF_DIFFERENT)
endforeach()
