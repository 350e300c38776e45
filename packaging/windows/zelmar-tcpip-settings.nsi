; The Windows setup program of the Zelmar TCP/IP Settings Tool.
; makensis -DVERSION=x.y.z -DPRODUCT=<name> -DPRODUCT_FOLDER=<folder name> -DPUBLISHER=<name> -DSTAGE=<staged tree>
;          -DOUTFILE=<setup.exe> -DFILELIST=<uninstall list .nsh> -DPROGRAMS=<programs .nsh>
;          -DICON=<.ico> [-DSIGN_UNINSTALLER=1 -DCMAKE=<cmake> -DSIGNING=<Signing.cmake>
;          -DOSSLSIGNCODE=<osslsigncode>] zelmar-tcpip-settings.nsi
; (packaging/windows/NsisInstaller.cmake prepares them.)
;
; With administrator rights it installs for all users into Program Files and
; lets the controllers' answers through the Windows Firewall; without them
; into the user's own programs folder (the firewall then asks at first use).
; The command-line programs go on PATH unless that component is left out.
; /S installs silently; /AllUsers or /CurrentUser choose the mode; /NoPath
; leaves PATH as it is. Installed over an earlier version, it first runs that
; version's uninstaller, which removes exactly the files it installed.
Target amd64-unicode  ; the 64-bit stub: a 64-bit-only Windows (or Wine) runs it
SetCompressor /SOLID lzma

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
!include Sections.nsh
!include FileFunc.nsh
!include x64.nsh
!include "PathEntry.nsh"
!include "${PROGRAMS}"

!ifdef SIGN_UNINSTALLER
  ; The uninstaller is signed as it is written into the setup program.
  !uninstfinalize '"${CMAKE}" "-DOSSLSIGNCODE=${OSSLSIGNCODE}" "-DPRODUCT=${PRODUCT}" "-DFILE=%1" -P "${SIGNING}"'
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${TOOL_EXE}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; One inbound rule per program that searches: UDP from the controllers' port.
!macro AddFirewallRule PROGRAM
  nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP remoteport=41950 profile=any program="$INSTDIR\bin\${PROGRAM}"'
  Pop $0
  DetailPrint "Firewall rule for ${PROGRAM}: netsh exit code $0"
!macroend

; An earlier install in the same mode: its own uninstaller removes exactly the
; files it installed, its Start menu entries, firewall rules and PATH entry;
; the upgrade files the technician added and the user's configuration stay.
Function RemoveEarlierVersion
  ReadRegStr $0 SHCTX "${SETTINGS_KEY}" "InstallDir"
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} "$0\uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the installed version in $0"
  ExecWait '"$0\uninstall.exe" /S /$MultiUser.InstallMode _?=$0' $1
  DetailPrint "Its uninstaller ended with $1"
  Delete "$0\uninstall.exe"
  RMDir "$0"
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call RemoveEarlierVersion
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  !insertmacro CreateProgramShortcuts

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
    !insertmacro AddProgramFirewallRules
  ${Else}
    DetailPrint "Installed for this user only: Windows asks about the firewall when the tool first searches."
  ${EndIf}
SectionEnd

Section "Command-line programs on PATH" SecPath
  Call AddBinToPath
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NoPath" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Uninstall"
  ${If} $MultiUser.InstallMode == "AllUsers"
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0
  ${EndIf}
  Call un.RemoveBinFromPath
  !insertmacro DeleteProgramShortcuts
  ; Exactly the files this installer put there: upgrade files the technician
  ; added to the upgrade folder stay, and with them their folders.
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${SETTINGS_KEY}"
  DeleteRegKey /ifempty SHCTX "Software\Zelmar"
SectionEnd
