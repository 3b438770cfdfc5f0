; The Windows installer of imconf. makensis gets:
;   /DVERSION=x.y.z  /DSTAGE=<folder with the files to install>  /DOUTFILE=<setup.exe>
; Installs for the current user without administrator rights, or for all users when run as
; administrator: program folder, Start-menu entry, uninstaller and the entry in the list of
; installed programs.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include x64.nsh

Name "imconf ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\imconf"
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\imconf"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "imconf"
VIAddVersionKey "FileDescription" "imconf setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "See LICENSE"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; All users when the installer runs with administrator rights, else the current user.
!macro ChooseContext
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

Function .onInit
  !insertmacro ChooseContext
  ${If} $0 == "Admin"
    StrCpy $INSTDIR "$PROGRAMFILES64\imconf"
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro ChooseContext
FunctionEnd

Section "imconf"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\imconf.lnk" "$INSTDIR\imconf.exe" "" "$INSTDIR\imconf.exe" 0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "imconf ${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\imconf.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\imconf.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The folder holds only what the installer put there.
  RMDir /r "$INSTDIR"
SectionEnd
