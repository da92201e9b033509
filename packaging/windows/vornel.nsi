; The Windows installer, for all users of the machine (packaging/windows/package
; makes it):
;
;   makensis -DVERSION=1.0.0 -DSTAGE=<the zip's folder> -DLAUNCHERS=<the launchers' folder>
;            -DOUTFILE=<installer> vornel.nsi
;
; Program Files\Vornel     the zip's files, the icons and uninstall.exe
; the system folder        vornel.scr, vornel-single.scr: the launchers, each of
;                          which runs the saver of its name from Program Files\Vornel
; Start menu\Vornel        one entry for each program, started in Program Files\Vornel
; HKLM\Software\Vornel     InstallDir, where the launchers look
; HKLM\...\Uninstall\Vornel  the entry in Apps & features
;
; /S installs or uninstalls silently. The installer is reproducible: no file
; times are stored, nothing else here depends on the clock or the path.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SetDateSave off
RequestExecutionLevel admin
ManifestDPIAware true
XPStyle on

!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vornel"
!define PUBLISHER "Vornel maintainers"

Name "Vornel"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vornel"
Icon vornel_layered.ico
UninstallIcon vornel_layered.ico

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "Vornel"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "Vornel setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "MIT licence"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The 64-bit registry and, for all users, the common Start menu. A 64-bit
; installer sees the real system folder: no file-system redirection applies.
!macro Everywhere
  SetRegView 64
  SetShellVarContext all
!macroend

Section
  !insertmacro Everywhere
  SetOutPath "$INSTDIR"
  File "${STAGE}\vornel_layered.exe"
  File "${STAGE}\vornel_single.exe"
  File "${STAGE}\vornel.scr"
  File "${STAGE}\vornel-single.scr"
  File "${STAGE}\SDL.dll"
  File "${STAGE}\organ.bmp"
  File "${STAGE}\veins.bmp"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\SDL-LICENSE.txt"
  File vornel_layered.ico
  File vornel_single.ico
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Vornel" "InstallDir" "$INSTDIR"

  ; Screen Saver Settings lists the savers of the system folder.
  File "/oname=$SYSDIR\vornel.scr" "${LAUNCHERS}\vornel.scr"
  File "/oname=$SYSDIR\vornel-single.scr" "${LAUNCHERS}\vornel-single.scr"

  ; The programs read their bitmaps from the folder they start in: a
  ; shortcut starts its program in $OUTDIR.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\Vornel"
  CreateShortcut "$SMPROGRAMS\Vornel\Vornel.lnk" "$INSTDIR\vornel_layered.exe" "" \
    "$INSTDIR\vornel_layered.ico"
  CreateShortcut "$SMPROGRAMS\Vornel\Vornel (tissue only).lnk" "$INSTDIR\vornel_single.exe" "" \
    "$INSTDIR\vornel_single.ico"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vornel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vornel_layered.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Each file by name: the folder may have been chosen to be one that holds
; other files too. stderr.txt and stdout.txt are what SDL writes beside a
; program that could write there. The settings that the savers keep for
; the user who uninstalls go too; other users' stay in their own profiles,
; which an uninstaller does not open.
Section Uninstall
  !insertmacro Everywhere
  Delete "$SYSDIR\vornel.scr"
  Delete "$SYSDIR\vornel-single.scr"
  Delete "$SMPROGRAMS\Vornel\Vornel.lnk"
  Delete "$SMPROGRAMS\Vornel\Vornel (tissue only).lnk"
  RMDir "$SMPROGRAMS\Vornel"

  Delete "$INSTDIR\vornel_layered.exe"
  Delete "$INSTDIR\vornel_single.exe"
  Delete "$INSTDIR\vornel.scr"
  Delete "$INSTDIR\vornel-single.scr"
  Delete "$INSTDIR\SDL.dll"
  Delete "$INSTDIR\organ.bmp"
  Delete "$INSTDIR\veins.bmp"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\SDL-LICENSE.txt"
  Delete "$INSTDIR\vornel_layered.ico"
  Delete "$INSTDIR\vornel_single.ico"
  Delete "$INSTDIR\stderr.txt"
  Delete "$INSTDIR\stdout.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Vornel"
  DeleteRegKey HKCU "Software\Vornel"
SectionEnd
