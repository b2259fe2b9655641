; The Windows installer: Quenrix in Program Files, a Start-menu entry with
; its icon, an uninstaller in the system's list of programs with its size.
; It speaks Japanese on a Japanese Windows and English elsewhere, and shows
; the licence before it installs. /S installs (and uninstalls) silently. Built by scripts/package-windows, which
; defines VERSION, BIN (the folder of the .exe files), DOCS and OUTFILE.
; A 64-bit installer: Windows for this program is 64-bit, and so is Wine here.
Target amd64-unicode

Name "Quenrix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quenrix"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Quenrix"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Quenrix installer"
VIAddVersionKey "FileVersion" "${VERSION}.0.0"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Quenrix developers, MIT licence"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenrix"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!define MUI_ICON "${DOCS}\quenrix.ico"
!define MUI_UNICON "${DOCS}\quenrix.ico"
!insertmacro MUI_PAGE_LICENSE "${DOCS}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first is the one for a system whose language is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

Section "Quenrix"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${BIN}\quenrix.exe"
  File "${BIN}\quenrix-cli.exe"
  File "${BIN}\quenrix-mksample.exe"
  File "${DOCS}\README.txt"
  File "${DOCS}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Quenrix.lnk" "$INSTDIR\quenrix.exe" "" "$INSTDIR\quenrix.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quenrix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Quenrix developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quenrix.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; What the system's list of programs shows as its size, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\Quenrix.lnk"
  Delete "$INSTDIR\quenrix.exe"
  Delete "$INSTDIR\quenrix-cli.exe"
  Delete "$INSTDIR\quenrix-mksample.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
