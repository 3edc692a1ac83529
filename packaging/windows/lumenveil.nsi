; Lumenveil's Windows installer, lumenveil-setup.exe: the screen saver for
; everyone on the machine (in the system folder, where every user's Screen
; Saver settings list it) or for the current user alone (in the user's own
; programs folder, made that user's screen saver), the control panel in the
; Start menu, and an uninstaller listed in Add/Remove Programs.
;
;   makensis -DSCR=lumenveil.scr -DOUTFILE=lumenveil-setup.exe -DVERSION=1.1 [-DICON=x.ico] lumenveil.nsi
;
; Switches of the installer and of the uninstaller: /S silent; /ALLUSERS or
; /CURRENTUSER for whom (default: everyone when an administrator runs it, else
; the current user). Add/Remove Programs runs the uninstaller with the switch
; of its installation.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel highest
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!macro Required name
  !ifndef ${name}
    !error "${name} is not given: makensis -DSCR=lumenveil.scr -DOUTFILE=lumenveil-setup.exe -DVERSION=1.1 lumenveil.nsi"
  !endif
!macroend
!insertmacro Required SCR
!insertmacro Required OUTFILE
!insertmacro Required VERSION

!define PRODUCT "Lumenveil & Astrel-1"
!define PUBLISHER "Qbn"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumenveil"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SAVER_VALUE "SCRNSAVE.EXE"
; The user's screen saver before a current-user installation made it ours:
; given back by the uninstaller while ours is still the one chosen.
!define PREVIOUS_VALUE "PreviousScreenSaver"
!define SETTINGS_KEY "Software\Qbn\Lumenveil"
!define SHORTCUT "Lumenveil Control Panel.lnk"
; Exit codes beside NSIS's own (1 cancelled, 2 aborted).
!define EXIT_BAD_SWITCHES 87     ; ERROR_INVALID_PARAMETER
!define EXIT_NEEDS_ADMIN 740     ; ERROR_ELEVATION_REQUIRED

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey FileDescription "${PRODUCT} Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "The Lumenveil developers"

Var AllUsers   ; 1: everyone on the machine, 0: the current user alone
Var ModeGiven  ; 1 when a switch chose it
Var IsAdmin
Var ScrDir     ; the folder of lumenveil.scr
Var RadioAll

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$ScrDir\lumenveil.scr"
!define MUI_FINISHPAGE_RUN_PARAMETERS "/c"
!define MUI_FINISHPAGE_RUN_TEXT "Open the control panel"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; The switches and the account: sets $AllUsers, $ModeGiven and $IsAdmin, or
; ends the run with a message when they cannot be followed.
!macro ReadMode un
Function ${un}ReadMode
  StrCpy $IsAdmin 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin 1
  ${EndIf}
  StrCpy $ModeGiven 0
  StrCpy $AllUsers $IsAdmin
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ALLUSERS" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    StrCpy $ModeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/CURRENTUSER" $1
  ${IfNot} ${Errors}
    ${If} $ModeGiven == 1
      MessageBox MB_ICONSTOP|MB_OK "Give /ALLUSERS or /CURRENTUSER, not both." /SD IDOK
      SetErrorLevel ${EXIT_BAD_SWITCHES}
      Quit
    ${EndIf}
    StrCpy $AllUsers 0
    StrCpy $ModeGiven 1
  ${EndIf}
FunctionEnd

Function ${un}RefuseWithoutAdmin
  ${If} $AllUsers == 1
  ${AndIf} $IsAdmin == 0
    MessageBox MB_ICONSTOP|MB_OK "The screen saver for everyone on this computer needs an administrator: run this program as administrator, or with /CURRENTUSER for your own installation." /SD IDOK
    SetErrorLevel ${EXIT_NEEDS_ADMIN}
    Quit
  ${EndIf}
FunctionEnd

; The folders and the registry root of $AllUsers's installation.
Function ${un}SetMode
  ${If} $AllUsers == 1
    SetShellVarContext all
    StrCpy $ScrDir $SYSDIR
    StrCpy $INSTDIR "$PROGRAMFILES64\Lumenveil"
  ${Else}
    SetShellVarContext current
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Lumenveil"
    StrCpy $ScrDir $INSTDIR
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ReadMode ""
!insertmacro ReadMode "un."

Function .onInit
  Call ReadMode
  Call RefuseWithoutAdmin
  Call SetMode
FunctionEnd

Function ModePage
  ${If} $ModeGiven == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Install ${PRODUCT} for everyone on this computer, or for you alone."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 30u "For everyone on this computer: in the system folder, listed in every user's Screen Saver settings (needs an administrator)"
  Pop $RadioAll
  ${NSD_CreateRadioButton} 0 36u 100% 30u "For me alone: in my own programs folder, and made my screen saver"
  Pop $1
  ${If} $IsAdmin == 0
    EnableWindow $RadioAll 0
  ${EndIf}
  ${If} $AllUsers == 1
    ${NSD_Check} $RadioAll
  ${Else}
    ${NSD_Check} $1
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $RadioAll $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call SetMode
FunctionEnd

Section "Install"
  SetOutPath $ScrDir
  File "/oname=lumenveil.scr" "${SCR}"
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$ScrDir\lumenveil.scr" "/c" "$ScrDir\lumenveil.scr" 0 \
                 SW_SHOWNORMAL "" "Settings of the ${PRODUCT} screen saver"

  ${If} $AllUsers == 1
    StrCpy $1 "/ALLUSERS"
  ${Else}
    StrCpy $1 "/CURRENTUSER"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$ScrDir\lumenveil.scr,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S $1'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$ScrDir" "/M=lumenveil.scr /S=0K /G=0" $0 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Only the system folder's savers are listed in the Screen Saver settings:
  ; a saver of the user's own is chosen by naming it. The choice it replaces
  ; is kept (not over a reinstallation, when the choice is already ours).
  ${If} $AllUsers == 0
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "${SAVER_VALUE}"
    ${If} $0 != "$ScrDir\lumenveil.scr"
      WriteRegStr HKCU "${UNINSTALL_KEY}" "${PREVIOUS_VALUE}" $0
    ${EndIf}
    WriteRegStr HKCU "${DESKTOP_KEY}" "${SAVER_VALUE}" "$ScrDir\lumenveil.scr"
  ${EndIf}
SectionEnd

Function un.onInit
  Call un.ReadMode
  ; Started without a switch: the installation this uninstaller belongs to.
  ${If} $ModeGiven == 0
    ${If} "$INSTDIR" == "$PROGRAMFILES64\Lumenveil"
      StrCpy $AllUsers 1
    ${Else}
      StrCpy $AllUsers 0
    ${EndIf}
  ${EndIf}
  Call un.RefuseWithoutAdmin
  Call un.SetMode
FunctionEnd

Section "Uninstall"
  ; The user's screen saver is changed only while it is still ours (by its
  ; long or its short name): back to the one it replaced, or to none.
  StrCpy $0 "$ScrDir\lumenveil.scr"
  GetFullPathName /SHORT $1 $0
  ReadRegStr $2 HKCU "${DESKTOP_KEY}" "${SAVER_VALUE}"
  StrCpy $3 0
  ${If} $2 == $0
    StrCpy $3 1
  ${ElseIf} $1 != ""
  ${AndIf} $2 == $1
    StrCpy $3 1
  ${EndIf}
  ${If} $3 == 1
    ReadRegStr $4 HKCU "${UNINSTALL_KEY}" "${PREVIOUS_VALUE}"
    ${If} $AllUsers == 0
    ${AndIf} $4 != ""
      WriteRegStr HKCU "${DESKTOP_KEY}" "${SAVER_VALUE}" $4
    ${Else}
      DeleteRegValue HKCU "${DESKTOP_KEY}" "${SAVER_VALUE}"
    ${EndIf}
  ${EndIf}

  Delete "$ScrDir\lumenveil.scr"
  Delete "$SMPROGRAMS\${SHORTCUT}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The settings the saver kept: the machine's or the user's, and the
  ; uninstalling user's own.
  DeleteRegKey SHCTX "${SETTINGS_KEY}"
  DeleteRegKey /ifempty SHCTX "Software\Qbn"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Qbn"
SectionEnd
