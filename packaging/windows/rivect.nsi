; Rivect's Windows installer: a per-user install that needs no administrator.
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.00 -DVERSION_QUAD=1.0.0.0 -DSTAGE=DIR -DFILES=FILES.nsh \
;            -DOUTFILE=Rivect-1.00-setup.exe rivect.nsi
;
; STAGE is the program folder as it is to be installed. FILES defines the macros
; RivectInstallFiles and RivectUninstallFiles, one line per file of STAGE, so that the
; uninstaller removes exactly what was installed (scripts/windows_pack.sh writes it); an
; upgrade runs the uninstaller of the version it replaces first. The program writes Rivect.ini
; and OutMess.txt into its folder; they, and whatever else the crew puts there, stay.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "define VERSION (see the head of this file)"
!endif
!ifndef STAGE
  !error "define STAGE (see the head of this file)"
!endif
!ifndef FILES
  !error "define FILES (see the head of this file)"
!endif
!ifndef VERSION_QUAD
  !define VERSION_QUAD "${VERSION}.0.0"
!endif
!ifndef OUTFILE
  !define OUTFILE "Rivect-${VERSION}-setup.exe"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Rivect"
; Held by rivect.exe for as long as it runs.
!define RUNNING_MUTEX "Local\RivectRunning"
; Exit status of a run refused because Rivect is running.
!define EXIT_RIVECT_RUNNING 3

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "${FILES}"

Name "Rivect ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Rivect"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "Rivect"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION_QUAD}"
VIAddVersionKey /LANG=0 "FileDescription" "Rivect ${VERSION} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "2026 The Rivect developers"

!define MUI_ICON "${__FILEDIR__}\rivect.ico"
!define MUI_UNICON "${__FILEDIR__}\rivect.ico"
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString RivectRunning ${LANG_JAPANESE} "Rivect が起動しています。Rivect を終了してから、もう一度実行してください。"
LangString RivectRunning ${LANG_ENGLISH} "Rivect is running. End Rivect, then run this again."

; Tells that Rivect runs and ends this run. Silently, only the exit status says so.
!macro RivectRefuse
  MessageBox MB_OK|MB_ICONSTOP "$(RivectRunning)" /SD IDOK
  SetErrorLevel ${EXIT_RIVECT_RUNNING}
  Quit
!macroend

; Stops the installer or uninstaller while Rivect runs: its files are in use, and the crew's
; run must not lose its program. A Rivect started elevated ("Run as administrator") made its
; mutex with an access list that this user's ordinary token may not open: OpenMutexW then
; fails with ERROR_ACCESS_DENIED (5), which says that the mutex exists, so Rivect runs.
!macro RivectRefuseWhileRunning
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0 ?e'
  Pop $1
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    !insertmacro RivectRefuse
  ${ElseIf} $1 = 5
    !insertmacro RivectRefuse
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext current
  !insertmacro RivectRefuseWhileRunning
FunctionEnd

Function un.onInit
  SetShellVarContext current
  !insertmacro RivectRefuseWhileRunning
FunctionEnd

Section "Rivect"
  ; An install already in the folder is removed by its own uninstaller first, which knows the
  ; files of its version: none of them stays behind beside the new ones, and the crew's files
  ; stay. _?= keeps it in place, so that it runs before the copying and its status is seen.
  ; Only Rivect's own, as its uninstall entry names it: another program's uninstaller in a
  ; folder chosen for Rivect could remove everything in it.
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 == $INSTDIR
  ${AndIf} ${FileExists} "$INSTDIR\uninstall.exe"
  ${AndIf} ${FileExists} "$INSTDIR\rivect.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR' $0
    ; Rivect was started meanwhile: nothing was removed.
    ${If} $0 = ${EXIT_RIVECT_RUNNING}
      !insertmacro RivectRefuse
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}
  !insertmacro RivectInstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Rivect.lnk" "$INSTDIR\rivect.exe" "" "$INSTDIR\rivect.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Rivect"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Rivect"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\rivect.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  !ifdef SIZE_KB
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  !endif
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Rivect.lnk"
  !insertmacro RivectUninstallFiles
  Delete "$INSTDIR\uninstall.exe"
  ; Not /r: the folder stays while the crew's own files are in it.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
