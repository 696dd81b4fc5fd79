; Pelorin's installer, one script for both architectures. The build passes:
;   /DARCH=x86|x64  /DVERSION=a.b.c.d  /DEXE=Pelorin.exe  /DCATEGORIES=categories.ini
;   /DICON=pelorin.ico  /DWELCOME=welcome.bmp  /DOUTFILE=PelorinSetup-<arch>.exe
; Per user and without administrator rights: the program writes settings.ini and its
; self-update beside itself, which a standard user cannot do under Program Files.
; Silent mode: /S, /D=FOLDER (last), and /STARTUP=0 or 1 for the Run value (without it, a
; reinstall keeps what is there and a first install starts Pelorin with Windows).

!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x86 or x64"
!endif

; The version shown in "Apps & features" is the one the executable carries.
!getdllversion "${EXE}" ExeVersion_
!if "${ExeVersion_1}.${ExeVersion_2}.${ExeVersion_3}.${ExeVersion_4}" != "${VERSION}"
  !error "${EXE} carries version ${ExeVersion_1}.${ExeVersion_2}.${ExeVersion_3}.${ExeVersion_4}, not ${VERSION}"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include Sections.nsh

!define PRODUCT "Pelorin"
!define PUBLISHER "Varnoth"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelorin"
; The same value the program's "Load on Windows start up" writes.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Pelorin"
; The program's application window: a WM_CLOSE to it ends the program.
!define APP_WINDOW_CLASS "PelorinApplication"
!define CLOSE_WAIT_MS 10000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Unicode true
RequestExecutionLevel user
SetCompressor /SOLID lzma
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; The welcome and finish pages' side picture (drawn by app/res/make_artwork.py).
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WELCOME}"
; Nothing of the system is replaced: no other program needs to close, no restart follows.
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${PRODUCT} ${VERSION} for you alone, in your own programs folder; it needs no administrator rights.$\r$\n$\r$\nIf ${PRODUCT} is running, Setup will ask it to close. Your settings are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Pelorin.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------------------

; Asks every running Pelorin to close through its application window and waits for its
; process, a bounded time each. Still running: silent mode gives up, else the user decides.
!macro CLOSE_PELORIN un
Function ${un}ClosePelorin
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 0
  ${Do}
    FindWindow $0 "${APP_WINDOW_CLASS}"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    ${If} $3 >= 3
      ${If} ${Silent}
        DetailPrint "${PRODUCT} is still running."
        SetErrorLevel 2
        Quit
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is still running. Close it, then choose Retry." IDRETRY retry
      SetErrorLevel 1
      Quit
      retry:
      StrCpy $3 0
    ${EndIf}
    IntOp $3 $3 + 1
    DetailPrint "Closing ${PRODUCT}..."
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1)"
    ; SYNCHRONIZE: enough to wait for the process to end.
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=${CLOSE_WAIT_MS}
    ${If} $2 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS})"
      System::Call "kernel32::CloseHandle(p r2)"
    ${Else}
      Sleep 1000
    ${EndIf}
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_PELORIN ""
!insertmacro CLOSE_PELORIN "un."

; The Run value's data for the executable on the stack: the path, quoted when it holds a
; blank or a tab, so that Windows cannot start a shorter path's program instead.
!macro RUN_COMMAND_LINE un
Function ${un}RunCommandLine
  Exch $0
  Push $1
  Push $2
  StrCpy $2 0
  ${Do}
    StrCpy $1 $0 1 $2
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    ${If} $1 == " "
    ${OrIf} $1 == "$\t"
      StrCpy $0 '"$0"'
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro RUN_COMMAND_LINE ""
!insertmacro RUN_COMMAND_LINE "un."

; ---------------------------------------------------------------------------------------

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call ClosePelorin
  SetOutPath "$INSTDIR"
  ; settings.ini is the user's and stays as it is.
  File "/oname=Pelorin.exe" "${EXE}"
  File "/oname=categories.ini" "${CATEGORIES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  SetShellVarContext current
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Pelorin.exe" "" "$INSTDIR\Pelorin.exe" 0

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Pelorin.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Start ${PRODUCT} with Windows" SecStartup
  Push "$INSTDIR\Pelorin.exe"
  Call RunCommandLine
  Pop $0
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" "$0"
SectionEnd

; Unchosen, the start with Windows goes, but only when it is this copy's.
Section "-NoStartup"
  ${IfNot} ${SectionIsSelected} ${SecStartup}
    Call RemoveOwnRunValue
  ${EndIf}
SectionEnd

!macro REMOVE_OWN_RUN_VALUE un
Function ${un}RemoveOwnRunValue
  Push "$INSTDIR\Pelorin.exe"
  Call ${un}RunCommandLine
  Pop $1
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == "$INSTDIR\Pelorin.exe"
  ${OrIf} $0 == '"$INSTDIR\Pelorin.exe"'
  ${OrIf} $0 == $1
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro REMOVE_OWN_RUN_VALUE ""
!insertmacro REMOVE_OWN_RUN_VALUE "un."

Function .onInit
  ; A first install starts with Windows; a reinstall keeps the user's choice.
  ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
    ReadRegStr $1 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $1 == ""
      !insertmacro UnselectSection ${SecStartup}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/STARTUP=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "0"
      !insertmacro UnselectSection ${SecStartup}
    ${ElseIf} $1 == "1"
      !insertmacro SelectSection ${SecStartup}
    ${Else}
      MessageBox MB_ICONSTOP "/STARTUP= takes 0 or 1, not $\"$1$\"." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------

Section "Uninstall"
  Call un.ClosePelorin
  Delete "$INSTDIR\Pelorin.exe"
  Delete "$INSTDIR\categories.ini"
  ; Downloads of an update that never finished, and the last feed downloaded.
  Delete "$INSTDIR\*.uTMP"
  Delete "$INSTDIR\data.txt"
  ; The items already shown go with the settings.
  MessageBox MB_YESNO|MB_ICONQUESTION "Keep your ${PRODUCT} settings for a later install?" /SD IDYES IDYES keep_settings
  Delete "$INSTDIR\settings.ini"
  Delete "$INSTDIR\seenitems.txt"
  Delete "$INSTDIR\seenitems.txt.tmp"
  keep_settings:
  ; The uninstaller runs from a copy of itself; the original may take a moment to close.
  ${For} $R0 1 30
    ClearErrors
    Delete "$INSTDIR\Uninstall.exe"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    Sleep 100
  ${Next}
  ; Only when empty: the folder may hold the user's own files.
  RMDir "$INSTDIR"

  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Call un.RemoveOwnRunValue
  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
