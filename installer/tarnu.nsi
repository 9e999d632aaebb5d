; tarnu's installer: a per-user install (no administrator rights) into the
; user's own programs folder, a Start menu entry, optionally the start at
; sign-in, and an uninstaller that removes what it added and asks before it
; deletes the settings and the mail history.
;
; Built by scripts/package:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0 -DVERSION4=1.0.0.0 -DSTAGE=dir
;            -DICON=tarnu.ico -DOUTFILE=setup.exe [-DWITH_HELP] tarnu.nsi
; STAGE holds tarnu.exe, readme.txt and, with WITH_HELP, tarnu.chm.
;
; Command line (besides NSIS's own /S and /D=folder): /STARTUP ticks the
; start at sign-in, also in a silent install.

; tarnu.exe is an x86-64 program: a 64-bit installer for it.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tarnu"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The hidden main window of a running tarnu.exe.
!define MAIN_CLASS "tarnuMainWindow"

Name "tarnu ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\tarnu"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "tarnu ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1041 "ProductName" "tarnu"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileDescription" "tarnu セットアップ"
VIAddVersionKey /LANG=1041 "LegalCopyright" "tarnu"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\tarnu.exe"
!define MUI_FINISHPAGE_RUN_TEXT "tarnu を起動する"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; Asks a running tarnu to quit (it saves its settings on the way) and waits
; up to ten seconds for it, so its files can be replaced or removed.
!macro CLOSE_RUNNING un
Function ${un}CloseRunningTarnu
  FindWindow $0 "${MAIN_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION "実行中の tarnu を終了します。" /SD IDOK IDOK close
    Abort
    close:
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $1 0
    ${Do}
      Sleep 200
      FindWindow $0 "${MAIN_CLASS}"
      IntOp $1 $1 + 1
      ${If} $1 >= 50
        ${Break}
      ${EndIf}
    ${LoopWhile} $0 <> 0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Section "tarnu" SecProgram
  SectionIn RO
  Call CloseRunningTarnu
  SetOutPath "$INSTDIR"
  File "${STAGE}\tarnu.exe"
  File "${STAGE}\readme.txt"
  !ifdef WITH_HELP
    File "${STAGE}\tarnu.chm"
  !endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\tarnu.lnk" "$INSTDIR\tarnu.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "tarnu"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "tarnu"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarnu.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The same value tarnu's settings write: the path in quotes.
Section /o "サインイン時に起動する" SecSignIn
  WriteRegStr HKCU "${RUN_KEY}" "tarnu" '"$INSTDIR\tarnu.exe"'
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "tarnu 本体とスタートメニューの項目"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSignIn} "Windows へのサインイン時に tarnu を起動します (あとから基本設定で変えられます)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/STARTUP" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecSignIn} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CloseRunningTarnu
  ; The start at sign-in goes only when it starts this copy.
  ReadRegStr $0 HKCU "${RUN_KEY}" "tarnu"
  ${If} $0 == '"$INSTDIR\tarnu.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" "tarnu"
  ${EndIf}
  Delete "$SMPROGRAMS\tarnu.lnk"
  Delete "$INSTDIR\tarnu.exe"
  Delete "$INSTDIR\tarnu.chm"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; The settings and the mail history live beside the program (the folder
  ; is the user's own), or under the application data after a run from a
  ; folder that could not be written. They stay unless the user says so; a
  ; silent uninstall keeps them.
  StrCpy $0 0
  ${If} ${FileExists} "$INSTDIR\tarnu.*"
  ${OrIf} ${FileExists} "$APPDATA\tarnu\*.*"
    StrCpy $0 1
  ${EndIf}
  ${If} $0 = 1
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "設定ファイルとメールの履歴も削除しますか?$\n$\n「いいえ」を選ぶと残ります (もう一度インストールすれば、そのまま使えます)。" /SD IDNO IDNO keep
    Delete "$INSTDIR\tarnu.*"
    RMDir /r "$APPDATA\tarnu"
    keep:
  ${EndIf}
  RMDir "$INSTDIR"
SectionEnd
