# Builds the Windows installer (cmake -P):
#   -DBUILD_DIR= -DSTAGE= -DOUTFILE= -DVERSION= -DICON= -DSTRIP= -DMAKENSIS=
# The installed tree is staged with `cmake --install --strip`, the DLLs of the
# runtime are stripped too, and the uninstaller gets the list of exactly the
# files staged.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE} --strip
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

file(GLOB_RECURSE dlls ${STAGE}/*.dll)
foreach(dll IN LISTS dlls)
  execute_process(COMMAND ${STRIP} --strip-unneeded ${dll} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Delete every staged file, then every staged folder, deepest first: RMDir
# leaves a folder that holds something the technician put there.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${STAGE} ${STAGE}/*)
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${STAGE} ${STAGE}/*)
set(folders ${entries})
list(REMOVE_ITEM folders ${files})
list(SORT folders ORDER DESCENDING)
set(list "")
foreach(file IN LISTS files)
  string(REPLACE "/" "\\" file "${file}")
  string(APPEND list "Delete \"$INSTDIR\\${file}\"\n")
endforeach()
foreach(folder IN LISTS folders)
  string(REPLACE "/" "\\" folder "${folder}")
  string(APPEND list "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
get_filename_component(out_dir ${OUTFILE} DIRECTORY)
set(filelist ${out_dir}/installer-files.nsh)
file(WRITE ${filelist} "${list}")

execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DSTAGE=${STAGE} -DOUTFILE=${OUTFILE}
                        -DFILELIST=${filelist} -DICON=${ICON}
                        ${CMAKE_CURRENT_LIST_DIR}/zelmar-tcpip-settings.nsi
  COMMAND_ERROR_IS_FATAL ANY)
