; The Windows installer of Quorvel Node Spotter, made by
; scripts/package-windows.sh with NSIS:
;   makensis -DVERSION=<x.y.z> -DSOURCE_DIR=<portable folder>
;            -DUNINSTALL_LIST=<file of Delete/RMDir lines> -DOUTFILE=<setup.exe>
;            installer.nsi
; It installs the portable folder per machine into Program Files, adds a
; Start-menu shortcut, an uninstaller with its Add/Remove Programs entry and
; an inbound firewall rule for the program. /S installs and uninstalls
; silently.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Quorvel Node Spotter"
!define PUBLISHER "Quorvel"
!define PROGRAM "NodeSpotter.exe"
; The console companion of the command line: it receives the same replies,
; and with --address-server the BOOTP/DHCP requests on UDP port 67.
!define CLI_PROGRAM "nodespotter-cli.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvelNodeSpotter"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; Windows' firewall silently drops the UDP replies of a program it does not
; know, and "no devices found" is then all the user sees. Each rule admits
; every UDP port of its program: the replies to the probes, and port 67 for
; the address server.
!define FIREWALL_RULE "Quorvel Node Spotter"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PUBLISHER}\Node Spotter"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; The program's logo on the installer and the uninstaller (makensis reads
; paths relative to this script).
!define MUI_ICON "../quorvel_logo.ico"
!define MUI_UNICON "../quorvel_logo.ico"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File /r "${SOURCE_DIR}/*"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; A failure here (no firewall service, or wine, whose netsh has no
    ; advfirewall) leaves the program installed, only without the rule.
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\${PROGRAM}" protocol=UDP enable=yes profile=any'
    Pop $0
    ${If} $0 != 0
        DetailPrint "The firewall rule could not be added ($0); devices may stay unseen behind the firewall."
    ${EndIf}
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\${CLI_PROGRAM}" protocol=UDP enable=yes profile=any'
    Pop $0
    ${If} $0 != 0
        DetailPrint "The firewall rule of ${CLI_PROGRAM} could not be added ($0)."
    ${EndIf}
SectionEnd

Section "Uninstall"
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\${PROGRAM}"'
    Pop $0
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\${CLI_PROGRAM}"'
    Pop $0
    Delete "${SHORTCUT}"
    ; Only the files this installer put there, then the folders if empty.
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
    ; The publisher's folder of the default location, once it is empty.
    RMDir "$PROGRAMFILES\${PUBLISHER}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
