# The NSIS setup program (zelmar-tcpip-settings.nsi), included by
# MakeInstallers.cmake: zelmar_nsis_installer(<staged tree> <setup.exe>).
# Beside the script it writes two files the script includes: the uninstaller's
# list of exactly the files staged, and the programs' Start menu entries and
# firewall rules (from PROGRAMS). When signing, the uninstaller is signed as
# makensis writes it into the setup program.
function(zelmar_nsis_installer stage outfile)
  get_filename_component(out_dir ${outfile} DIRECTORY)

  # Delete every staged file, then every staged folder, deepest first: RMDir
  # leaves a folder that holds something the technician put there.
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${stage} ${stage}/*)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${stage} ${stage}/*)
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
  set(filelist ${out_dir}/installer-files.nsh)
  file(WRITE ${filelist} "${list}")

  set(shortcuts "!macro CreateProgramShortcuts\n")
  set(unshortcuts "!macro DeleteProgramShortcuts\n")
  set(rules "!macro AddProgramFirewallRules\n")
  foreach(entry IN LISTS PROGRAMS)
    string(REGEX MATCH "^([^|]+)\\|([^|]*)\\|([01])$" fields "${entry}")
    set(program ${CMAKE_MATCH_1})
    set(start_menu "${CMAKE_MATCH_2}")
    set(firewall ${CMAKE_MATCH_3})
    if(NOT start_menu STREQUAL "")
      string(APPEND shortcuts "  CreateShortcut \"$SMPROGRAMS\\${start_menu}.lnk\" \"$INSTDIR\\bin\\${program}\"\n")
      string(APPEND unshortcuts "  Delete \"$SMPROGRAMS\\${start_menu}.lnk\"\n")
    endif()
    if(firewall)
      string(APPEND rules "  !insertmacro AddFirewallRule \"${program}\"\n")
    endif()
  endforeach()
  set(programs_nsh ${out_dir}/installer-programs.nsh)
  file(WRITE ${programs_nsh} "${shortcuts}!macroend\n${unshortcuts}!macroend\n${rules}!macroend\n")

  set(sign_uninstaller)
  if(NOT "$ENV{ZELMAR_SIGN_PKCS12}" STREQUAL "")
    set(sign_uninstaller -DSIGN_UNINSTALLER=1 -DCMAKE=${CMAKE_COMMAND} -DSIGNING=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Signing.cmake
                         -DOSSLSIGNCODE=${OSSLSIGNCODE})
  endif()
  execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DPRODUCT=${PRODUCT} -DPRODUCT_FOLDER=${PRODUCT_FOLDER}
                          -DPUBLISHER=${PUBLISHER}
                          -DSTAGE=${stage} -DOUTFILE=${outfile} -DFILELIST=${filelist} -DPROGRAMS=${programs_nsh}
                          -DICON=${ICON} ${sign_uninstaller}
                          ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/zelmar-tcpip-settings.nsi
    COMMAND_ERROR_IS_FATAL ANY)
endfunction()
