; The Windows installer of the Zelmar TCP/IP Settings Tool.
; makensis -DVERSION=x.y.z -DSTAGE=<folder of the installed tree> -DOUTFILE=<setup.exe>
;          -DFILELIST=<uninstall list .nsh> -DICON=<.ico> zelmar-tcpip-settings.nsi
; (packaging/windows/MakeInstaller.cmake prepares them.)
;
; With administrator rights it installs for all users into Program Files and
; lets the controllers' answers through the Windows Firewall; without them
; into the user's own programs folder (the firewall then asks at first use).
; /S installs silently; /AllUsers or /CurrentUser choose the mode.
Target amd64-unicode  ; the 64-bit stub: a 64-bit-only Windows (or Wine) runs it

!define PRODUCT "Zelmar TCP/IP Settings Tool"
!define PRODUCT_FOLDER "Zelmar TCP-IP Settings Tool"  ; a file name: no "/"
!define PUBLISHER "Zelmar"
!define TOOL_EXE "bin\zelmar-tcpip-settings.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZelmarTcpIpSettingsTool"
!define SETTINGS_KEY "Software\Zelmar\TCP-IP Settings Tool"
!define FIREWALL_RULE "Zelmar controllers' answers"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT_FOLDER}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${TOOL_EXE}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; One inbound rule per program: UDP from the controllers' port.
!macro AddFirewallRule PROGRAM
  nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP remoteport=41950 profile=any program="$INSTDIR\bin\${PROGRAM}"'
  Pop $0
  DetailPrint "Firewall rule for ${PROGRAM}: netsh exit code $0"
!macroend

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT_FOLDER}.lnk" "$INSTDIR\${TOOL_EXE}" "" "$INSTDIR\${TOOL_EXE}" 0

  WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallMode" "$MultiUser.InstallMode"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${TOOL_EXE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${If} $MultiUser.InstallMode == "AllUsers"
    !insertmacro AddFirewallRule "zelmar-tcpip-settings.exe"
    !insertmacro AddFirewallRule "zelmar-netctl.exe"
  ${Else}
    DetailPrint "Installed for this user only: Windows asks about the firewall when the tool first searches."
  ${EndIf}
SectionEnd

Section "Uninstall"
  ${If} $MultiUser.InstallMode == "AllUsers"
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT_FOLDER}.lnk"
  ; Exactly the files this installer put there: upgrade files the technician
  ; added to the upgrade folder stay, and with them their folders.
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${SETTINGS_KEY}"
  DeleteRegKey /ifempty SHCTX "Software\Zelmar"
SectionEnd
