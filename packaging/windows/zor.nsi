; The Windows installer of zor, built by scripts/windows with NSIS 3:
;   makensis -NOCD -DVERSION=1.0.0 -DOUTFILE=... -DICON=... zor.nsi
; run in the folder that holds what the zip holds; files.nsh and
; unfiles.nsh (made there by scripts/windows) name its files.
;
; It installs for the user who runs it, with no administrator rights, into
; %LOCALAPPDATA%\Programs\zor; adds "zor" to that user's Start menu (it plays
; the demo in the installed folder) and an uninstaller to Settings > Apps.
; The uninstaller removes exactly what was installed, the shortcut and the
; registry entries. /S does either silently.

!ifndef VERSION | OUTFILE | ICON
  !error "VERSION, OUTFILE and ICON must be defined (scripts/windows does)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\zor"

Name "zor ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\zor"
InstallDirRegKey HKCU "Software\zor" "InstallDir"
LicenseData "LICENSE.txt"
ShowInstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "zor"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "zor ${VERSION} setup"
VIAddVersionKey "CompanyName" "zor developers"
VIAddVersionKey "LegalCopyright" "MIT licence (Expat)"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "zor"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The shortcut starts in the installed folder, where the demo is.
  CreateShortCut "$SMPROGRAMS\zor.lnk" "$INSTDIR\zor.exe" "" "$INSTDIR\zor.exe" 0 SW_SHOWNORMAL "" \
    "Play the zor demo"
  WriteRegStr HKCU "Software\zor" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "zor ${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "zor developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zor.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !include "unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: files the user put there stay.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\zor.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\zor"
SectionEnd
