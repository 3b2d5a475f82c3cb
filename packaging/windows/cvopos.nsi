; Corvane OPOS for Windows. Built by scripts/package:
;   makensis -DSTAGE64=DIR [-DSTAGE32=DIR] -DVERSION_FILE=FILE -DOUTFILE=FILE cvopos.nsi
; STAGE64 and STAGE32 are `cmake --install` trees of the win64 and win32
; builds. /S installs and uninstalls silently.
Unicode true
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include "${VERSION_FILE}"

!define PRODUCT "Corvane OPOS"
; Where the service objects look for their install directory: the folder
; of this entry's UninstallString.
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\CVOPOS_is1"
!define PRODUCT_KEY "SOFTWARE\Tessel\CVOPOS"
!define PRODUCT_KEY_VERSION "2.30.000"
!define PORT_RANGE_KEY "SOFTWARE\OLEforRetail\ServiceInfo\Corvane OPOS ADK"
; The parallel port driver service that the setup tool's installation run creates.
!define DRIVER_TOKEN "480317"

Name "${PRODUCT} ${CVOPOS_VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvane\CVOPOS"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The service objects, the components they load beside them, and the tools.
!macro ModuleFiles STAGE
  File "${STAGE}\receiptso.dll"
  File "${STAGE}\drawerso.dll"
  File "${STAGE}\portlink.dll"
  File "${STAGE}\cvplatform.dll"
  File "${STAGE}\tracelog.dll"
  File "${STAGE}\usblink.dll"
  File "${STAGE}\imgproc.dll"
  File "${STAGE}\imgconv.dll"
  File "${STAGE}\oposcontrol.dll"
  File "${STAGE}\OPOSLog.ini"
!macroend

!macro DeleteModuleFiles DIR
  Delete "${DIR}\receiptso.dll"
  Delete "${DIR}\drawerso.dll"
  Delete "${DIR}\portlink.dll"
  Delete "${DIR}\cvplatform.dll"
  Delete "${DIR}\tracelog.dll"
  Delete "${DIR}\usblink.dll"
  Delete "${DIR}\imgproc.dll"
  Delete "${DIR}\imgconv.dll"
  Delete "${DIR}\oposcontrol.dll"
  Delete "${DIR}\OPOSLog.ini"
  ; The service objects' logs.
  RMDir /r "${DIR}\Printerlog"
  RMDir /r "${DIR}\Cashlog"
!macroend

; regsvr32 loads the module with its own folder on the search path, so the
; DLLs it imports are found beside it. A server that does not register
; leaves no working installation: stop.
!macro RegisterServer REGSVR DLL
  ClearErrors
  ExecWait '"${REGSVR}" /s "${DLL}"' $0
  ; A regsvr32 that cannot start leaves $0 empty and sets the error flag.
  ${If} ${Errors}
  ${OrIf} $0 != 0
    MessageBox MB_ICONSTOP "Registering ${DLL} failed ($0)." /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
!macroend

!macro UnregisterServer REGSVR DLL
  ${If} ${FileExists} "${DLL}"
    ExecWait '"${REGSVR}" /s /u "${DLL}"'
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
FunctionEnd

Section "Install"
  SetRegView 64
  SetOutPath "$INSTDIR"
  !insertmacro ModuleFiles "${STAGE64}"
  File "${STAGE64}\tillsetup.exe"
  File "${STAGE64}\regsweep.exe"
  File "${STAGE64}\posctl.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${CVOPOS_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Corvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The product key, and the port range key with the ranges the setup tool
  ; assumes without it. The cleaner stops at the first of its keys that is
  ; missing, and the port range key comes before the product key and the
  ; cash drawer entries.
  WriteRegStr HKLM "${PRODUCT_KEY}" "Version" "${PRODUCT_KEY_VERSION}"
  WriteRegDWORD HKLM "${PORT_RANGE_KEY}" "COMMAX" 4
  WriteRegDWORD HKLM "${PORT_RANGE_KEY}" "LPTMAX" 2

  !insertmacro RegisterServer "$SYSDIR\regsvr32.exe" "$INSTDIR\receiptso.dll"
  !insertmacro RegisterServer "$SYSDIR\regsvr32.exe" "$INSTDIR\drawerso.dll"

!ifdef STAGE32
  ; 32-bit applications load the 32-bit service objects. Those read the
  ; 32-bit registry view, so they get an uninstall entry there naming their
  ; own folder (hidden from Programs and Features; its uninstaller removes
  ; everything, as the main one does).
  SetOutPath "$INSTDIR\x86"
  !insertmacro ModuleFiles "${STAGE32}"
  WriteUninstaller "$INSTDIR\x86\uninstall.exe"
  SetRegView 32
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\x86\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (32-bit service objects)"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "SystemComponent" 1
  SetRegView 64
  !insertmacro RegisterServer "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\receiptso.dll"
  !insertmacro RegisterServer "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\drawerso.dll"
!endif

  ; The parallel port driver service. Its driver file comes from the
  ; driver's own setup; without it the service cannot start, which leaves
  ; the printers on other ports working, so the installation goes on.
  nsExec::ExecToLog '"$INSTDIR\tillsetup.exe" ${DRIVER_TOKEN}'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The parallel port driver service is registered but does not run yet ($0)."
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  ; The copy in the 32-bit folder removes the whole installation too.
  ${GetFileName} "$INSTDIR" $0
  ${If} $0 == "x86"
  ${AndIf} ${FileExists} "$INSTDIR\..\uninstall.exe"
    ${GetParent} "$INSTDIR" $INSTDIR
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  !insertmacro UnregisterServer "$SYSDIR\regsvr32.exe" "$INSTDIR\receiptso.dll"
  !insertmacro UnregisterServer "$SYSDIR\regsvr32.exe" "$INSTDIR\drawerso.dll"
  ${If} ${FileExists} "$INSTDIR\x86\receiptso.dll"
    !insertmacro UnregisterServer "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\receiptso.dll"
    !insertmacro UnregisterServer "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\drawerso.dll"
  ${EndIf}
  ; The logical devices, the port range key and the product keys.
  ${If} ${FileExists} "$INSTDIR\regsweep.exe"
    ExecWait '"$INSTDIR\regsweep.exe"'
  ${EndIf}
  ; Without a printer ever set up the cleaner stops before the product key.
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Tessel"

  !insertmacro DeleteModuleFiles "$INSTDIR"
  Delete "$INSTDIR\tillsetup.exe"
  Delete "$INSTDIR\regsweep.exe"
  Delete "$INSTDIR\posctl.exe"
  !insertmacro DeleteModuleFiles "$INSTDIR\x86"
  Delete "$INSTDIR\x86\uninstall.exe"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The maker's folder of the default location, once nothing else is in it.
  ${GetParent} "$INSTDIR" $1
  ${GetFileName} "$1" $2
  ${If} $2 == "Corvane"
    RMDir "$1"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRegView 32
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRegView 64
SectionEnd
