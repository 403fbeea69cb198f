; The installer of VeloSQL for Windows, made by scripts/windows package:
;   makensis -DVERSION=<version> -DSOURCE=<the package's folder> -DOUTFILE=<setup.exe> VeloSQL.nsi
; It puts the package's files in Program Files\VeloSQL, adds a Start menu entry and an
; uninstaller, and runs silently with /S.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VeloSQL"

Name "VeloSQL ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\VeloSQL"
RequestExecutionLevel admin
LoadLanguageFile "${NSISDIR}\Contrib\Language files\French.nlf"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "VeloSQL"
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}/*.*"
  WriteUninstaller "$INSTDIR\Desinstaller.exe"
  CreateShortcut "$SMPROGRAMS\VeloSQL.lnk" "$INSTDIR\VeloSQL.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "VeloSQL"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "VeloSQL"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VeloSQL.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Desinstaller.exe"'
SectionEnd

; The user's databases and settings (%APPDATA%\VeloSQL, %LOCALAPPDATA%\VeloSQL) stay.
Section "Uninstall"
  Delete "$SMPROGRAMS\VeloSQL.lnk"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
