; The installer's entry in PATH: the system's for an all-users install, the
; user's for a per-user one (SHCTX and $MultiUser.InstallMode say which).
; NSIS strings hold 1024 characters and a company laptop's PATH is often
; longer, so the value is read, changed and written through the Windows API in
; buffers of its own, never through NSIS strings: the rest of PATH stays as it
; was, byte for byte. What was added is remembered under the settings key, and
; the uninstaller removes exactly that entry.
;
;   Call AddBinToPath           (installer) $INSTDIR\bin, unless PATH has it
;   Call un.RemoveBinFromPath   (uninstaller) the entry AddBinToPath added

!define PATH_BUFFER_BYTES 65536        ; an environment value holds 32767 characters at most
!define PATH_READ_BYTES 65532          ; room left for the terminating zero
!define HKLM_HANDLE -2147483646        ; HKEY_LOCAL_MACHINE, sign-extended as Windows wants it
!define HKCU_HANDLE -2147483647        ; HKEY_CURRENT_USER
!define PATH_KEY_ACCESS 0x103          ; KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY
!define SYSTEM_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

; Opens the environment key of the install mode into $R0 (0 when it cannot be
; opened), and reads its Path into the new buffer $R1 (type in $R2: an absent
; value reads as empty, of type REG_EXPAND_SZ). $R3 is a second buffer.
!macro OpenPath
  StrCpy $R0 0
  ${If} $MultiUser.InstallMode == "AllUsers"
    System::Call 'advapi32::RegCreateKeyExW(p ${HKLM_HANDLE}, w "${SYSTEM_ENVIRONMENT}", i 0, p 0, i 0, i ${PATH_KEY_ACCESS}, p 0, *p .R0, p 0) i .r0'
  ${Else}
    System::Call 'advapi32::RegCreateKeyExW(p ${HKCU_HANDLE}, w "Environment", i 0, p 0, i 0, i ${PATH_KEY_ACCESS}, p 0, *p .R0, p 0) i .r0'
  ${EndIf}
  ${If} $0 != 0
    StrCpy $R0 0
  ${EndIf}
  System::Alloc ${PATH_BUFFER_BYTES}
  Pop $R1
  System::Alloc ${PATH_BUFFER_BYTES}
  Pop $R3
  StrCpy $R2 2
  ${If} $R0 != 0
    System::Call 'advapi32::RegQueryValueExW(p R0, w "Path", p 0, *i .R2, p R1, *i ${PATH_READ_BYTES}) i .r0'
    ${If} $0 == 2  ; ERROR_FILE_NOT_FOUND: no Path yet
      StrCpy $R2 2
    ${ElseIf} $0 != 0
      DetailPrint "PATH could not be read (error $0): it stays as it is."
      System::Call 'advapi32::RegCloseKey(p R0)'
      StrCpy $R0 0
    ${EndIf}
  ${EndIf}
!macroend

!macro ClosePath
  ${If} $R0 != 0
    System::Call 'advapi32::RegCloseKey(p R0)'
  ${EndIf}
  System::Free $R1
  System::Free $R3
  ; Programs started from now on (a new command prompt) see the new PATH.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

; Writes the zero-terminated value at address $0 as Path, of type $R2.
!macro WritePath
  System::Call 'kernel32::lstrlenW(p r0) i .r1'
  IntOp $1 $1 + 1
  IntOp $1 $1 * 2
  System::Call 'advapi32::RegSetValueExW(p R0, w "Path", i 0, i R2, p r0, i r1) i .r2'
  ${If} $2 != 0
    DetailPrint "PATH could not be written (error $2)."
  ${EndIf}
!macroend

; $R3 := ";" Path ";", so that every entry, the first and the last too, is
; found as ";entry;".
!macro EnclosePathInSeparators
  System::Call 'kernel32::lstrcpyW(p R3, w ";")'
  System::Call 'kernel32::lstrcatW(p R3, p R1)'
  System::Call 'kernel32::lstrcatW(p R3, w ";")'
!macroend

Function AddBinToPath
  StrCpy $9 "$INSTDIR\bin"
  !insertmacro OpenPath
  ${If} $R0 != 0
    !insertmacro EnclosePathInSeparators
    System::Call 'shlwapi::StrStrIW(p R3, w ";$9;") p .r0'
    System::Call 'shlwapi::StrStrIW(p R3, w ";$9\;") p .r1'
    System::Call 'kernel32::lstrlenW(p R1) i .r2'
    StrLen $3 $9
    IntOp $3 $3 + $2
    ${If} $0 != 0
    ${OrIf} $1 != 0
      DetailPrint "PATH already holds $9."
    ${ElseIf} $3 > 32760
      DetailPrint "PATH is too long to take $9: add it yourself."
    ${Else}
      ; After a Path that ends in ";" the entry comes with its own, so that
      ; removing ";entry" gives back exactly the old value.
      ${If} $2 == 0
        System::Call 'kernel32::lstrcpyW(p R1, w "$9")'
      ${Else}
        IntOp $4 $2 - 1
        IntOp $4 $4 * 2
        IntPtrOp $4 $R1 + $4
        System::Call '*$4(&i2 .r5)'
        ${If} $5 == 59  ; ';'
          System::Call 'kernel32::lstrcatW(p R1, w "$9;")'
        ${Else}
          System::Call 'kernel32::lstrcatW(p R1, w ";$9")'
        ${EndIf}
      ${EndIf}
      StrCpy $0 $R1
      !insertmacro WritePath
      ${If} $2 == 0
        WriteRegStr SHCTX "${SETTINGS_KEY}" "PathEntry" "$9"
        DetailPrint "Added to PATH: $9"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  !insertmacro ClosePath
FunctionEnd

Function un.RemoveBinFromPath
  ReadRegStr $9 SHCTX "${SETTINGS_KEY}" "PathEntry"
  ${If} $9 == ""
    Return  ; nothing was added
  ${EndIf}
  !insertmacro OpenPath
  ${If} $R0 != 0
    !insertmacro EnclosePathInSeparators
    System::Call 'shlwapi::StrStrIW(p R3, w ";$9;") p .r5'
    ${If} $5 != 0
      ; Cut ";entry" out of ";...;entry;...;": the ";" after it stays.
      StrLen $6 $9
      IntOp $6 $6 + 1
      IntOp $6 $6 * 2
      IntPtrOp $6 $5 + $6
      System::Call 'kernel32::lstrlenW(p r6) i .r7'
      IntOp $7 $7 + 1
      IntOp $7 $7 * 2
      System::Call 'kernel32::RtlMoveMemory(p r5, p r6, p r7)'
      ; Drop the two separators EnclosePathInSeparators added.
      System::Call 'kernel32::lstrlenW(p R3) i .r7'
      ${If} $7 >= 2
        IntOp $7 $7 - 1
        IntOp $7 $7 * 2
        IntPtrOp $7 $R3 + $7
        System::Call '*$7(&i2 0)'
        IntPtrOp $0 $R3 + 2
      ${Else}
        System::Call '*$R3(&i2 0)'
        StrCpy $0 $R3
      ${EndIf}
      System::Call 'kernel32::lstrlenW(p r0) i .r7'
      ${If} $7 == 0
      ${AndIf} $MultiUser.InstallMode != "AllUsers"
        System::Call 'advapi32::RegDeleteValueW(p R0, w "Path")'
      ${Else}
        !insertmacro WritePath
      ${EndIf}
      DetailPrint "Removed from PATH: $9"
    ${EndIf}
  ${EndIf}
  !insertmacro ClosePath
FunctionEnd
