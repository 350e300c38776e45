# The MSI (zelmar-tcpip-settings.wxs.in), included by MakeInstallers.cmake:
# zelmar_msi_installer(<staged tree> <package.msi>). wixl-heat makes every
# staged file a component of its own, named after its path, so that the
# component codes stay the same from version to version; the Start menu
# entries come from PROGRAMS.
set(ZELMAR_MSI_UPGRADE_CODE 77F07DCA-E47D-40A7-A14D-4EE2D4495060)  # never changes

function(zelmar_msi_installer stage outfile)
  set(FOLDER_REFS "")
  get_filename_component(out_dir ${outfile} DIRECTORY)
  set(work ${out_dir}/msi)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})

  file(GLOB_RECURSE files LIST_DIRECTORIES false ${stage}/*)
  list(SORT files)
  list(JOIN files "\n" file_lines)
  file(WRITE ${work}/staged-files.txt "${file_lines}\n")
  execute_process(COMMAND ${WIXL_HEAT} --prefix ${stage}/ --directory-ref INSTALLDIR --component-group StagedFiles
                          --var var.Stage
    INPUT_FILE ${work}/staged-files.txt OUTPUT_VARIABLE heat COMMAND_ERROR_IS_FATAL ANY)
  # 64-bit components: their registry and system folders are the 64-bit ones.
  string(REPLACE "Guid=\"*\"" "Guid=\"*\" Win64=\"yes\"" heat "${heat}")
  file(WRITE ${work}/files.wxs "${heat}")

  # Every folder of the tree goes on uninstall when it is empty, the install
  # folder too (a folder without files of its own would stay otherwise): a
  # component in each folder that creates and removes it. (wixl takes the
  # folder to remove from the component, not from RemoveFolder's Directory.)
  set(FOLDERS "")
  string(REGEX MATCHALL "<Directory Id=\"[^\"]+\"" folders "${heat}")
  string(REGEX REPLACE "<Directory Id=\"([^\"]+)\"" "\\1" folders "${folders}")
  foreach(id INSTALLDIR ${folders})
    string(UUID guid NAMESPACE ${ZELMAR_MSI_UPGRADE_CODE} NAME "folder ${id}" TYPE SHA1 UPPER)
    string(APPEND FOLDERS "    <DirectoryRef Id=\"${id}\">\n"
                          "      <Component Id=\"Folder${id}\" Guid=\"${guid}\" Win64=\"yes\">\n"
                          "        <CreateFolder/>\n"
                          "        <RemoveFolder Id=\"Remove${id}\" On=\"uninstall\"/>\n"
                          "      </Component>\n"
                          "    </DirectoryRef>\n")
    string(APPEND FOLDER_REFS "      <ComponentRef Id=\"Folder${id}\"/>\n")
  endforeach()

  set(SHORTCUTS "")
  foreach(entry IN LISTS PROGRAMS)
    if(entry MATCHES "^([^|]+)\\|([^|]+)\\|")
      string(MAKE_C_IDENTIFIER "StartMenu_${CMAKE_MATCH_1}" id)
      string(APPEND SHORTCUTS "        <Shortcut Id=\"${id}\" Name=\"${CMAKE_MATCH_2}\" "
                              "Target=\"[INSTALLDIR]bin\\${CMAKE_MATCH_1}\" WorkingDirectory=\"INSTALLDIR\"/>\n")
    endif()
  endforeach()
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" parts ${VERSION})
  math(EXPR next_patch "${CMAKE_MATCH_3} + 1")
  set(NEXT_PATCH_VERSION ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${next_patch})
  set(UPGRADE_CODE ${ZELMAR_MSI_UPGRADE_CODE})
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/zelmar-tcpip-settings.wxs.in ${work}/product.wxs @ONLY)
  # wixl finds files only by paths relative to the folder it runs in.
  file(COPY_FILE ${ICON} ${work}/product.ico)
  file(RELATIVE_PATH stage_from_work ${work} ${stage})
  execute_process(COMMAND ${WIXL} -a x64 -D Stage=${stage_from_work} -o ${outfile} product.wxs files.wxs
    WORKING_DIRECTORY ${work} RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wixl: ${errors}")
  endif()
endfunction()
