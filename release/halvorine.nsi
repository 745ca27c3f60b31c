; The Windows installer, one per architecture, built by scripts/package:
;   makensis -DVERSION=1.2.3 -DARCH=x64|x86 -DSTAGE=<folder> -DOUTFILE=<exe> halvorine.nsi
; STAGE holds vst3\Halvorine.vst3, clap\Halvorine.clap, vst\halvorine.dll,
; presets\vst3\*.vstpreset, presets\vst2\*.fxp and *.fxb, LICENSE.txt,
; manual.html and the manual's pictures. Components VST 3, CLAP and VST 2, each
; optional and all chosen by default; /S installs and uninstalls silently.
; The VST 3 component brings the factory presets into
; %PROGRAMDATA%\VST3 Presets\Brindlex\Halvorine, where VST 3 hosts look for
; every user's presets; the VST 2 component its .fxp and .fxb files into a
; "Halvorine Presets" folder beside the DLL.
; The 32-bit installer puts its files where 32-bit hosts look on 64-bit
; Windows (Program Files (x86)), and registers under its own name, so both
; can be installed side by side.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include x64.nsh
!include LogicLib.nsh

!if ${ARCH} == x64
  !define PROGRAMS "$PROGRAMFILES64"
  !define COMMON "$COMMONFILES64"
  !define KEYNAME "Halvorine"
  !define TITLE "Halvorine ${VERSION} (64-bit)"
!else
  !define PROGRAMS "$PROGRAMFILES32"
  !define COMMON "$COMMONFILES32"
  !define KEYNAME "Halvorine (32-bit)"
  !define TITLE "Halvorine ${VERSION} (32-bit)"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${KEYNAME}"
!define HOME "${PROGRAMS}\Brindlex\Halvorine"
; $APPDATA is ProgramData once SetShellVarContext is "all" (both .onInit).
!define VST3PRESETS "$APPDATA\VST3 Presets\Brindlex\Halvorine"

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\VstPlugins"
BrandingText "Brindlex"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Halvorine"
VIAddVersionKey /LANG=1033 "CompanyName" "Brindlex"
VIAddVersionKey /LANG=1033 "FileDescription" "${TITLE} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) Brindlex"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipVst2Folder
!define MUI_DIRECTORYPAGE_TEXT_TOP "The VST 2 plug-in goes into this folder. Choose the folder your host scans for VST 2 plug-ins (its settings list it)."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "VST 2 plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetShellVarContext all
!if ${ARCH} == x64
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "This is the installer for 64-bit Windows. Take the x86 installer on 32-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!endif
FunctionEnd

Function un.onInit
  SetShellVarContext all
!if ${ARCH} == x64
  SetRegView 64
!endif
FunctionEnd

Section "VST 3" SecVst3
  SetOutPath "${COMMON}\VST3"
  File /r "${STAGE}\vst3\Halvorine.vst3"
  SetOutPath "${VST3PRESETS}"
  File "${STAGE}\presets\vst3\*.vstpreset"
SectionEnd

Section "CLAP" SecClap
  SetOutPath "${COMMON}\CLAP"
  File "${STAGE}\clap\Halvorine.clap"
SectionEnd

Section "VST 2" SecVst2
  SetOutPath "$INSTDIR"
  File "${STAGE}\vst\halvorine.dll"
  SetOutPath "$INSTDIR\Halvorine Presets"
  File "${STAGE}\presets\vst2\*.fxp"
  File "${STAGE}\presets\vst2\*.fxb"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Vst2Folder" "$INSTDIR"
SectionEnd

; The manual, the license and the uninstaller, always.
Section "-Common"
  SetOutPath "${HOME}"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\manual.html"
  File "${STAGE}\*.png"
  WriteUninstaller "${HOME}\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Brindlex"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "${HOME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"${HOME}\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"${HOME}\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

LangString DESC_Vst3 ${LANG_ENGLISH} "For VST 3 hosts: into Common Files\VST3, where every VST 3 host looks, and its factory presets."
LangString DESC_Clap ${LANG_ENGLISH} "For CLAP hosts: into Common Files\CLAP."
LangString DESC_Vst2 ${LANG_ENGLISH} "For VST 2 hosts: into the folder you choose next."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVst3} $(DESC_Vst3)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecClap} $(DESC_Clap)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVst2} $(DESC_Vst2)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function SkipVst2Folder
  ${IfNot} ${SectionIsSelected} ${SecVst2}
    Abort
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "Vst2Folder"
  ${If} $0 != ""
    Delete "$0\halvorine.dll"
    Delete "$0\Halvorine Presets\*.fxp"
    Delete "$0\Halvorine Presets\*.fxb"
    RMDir "$0\Halvorine Presets"
  ${EndIf}
  RMDir /r "${COMMON}\VST3\Halvorine.vst3"
  ; Both installers bring the same VST 3 presets into the one folder: they
  ; go with the last of the two installations.
  StrCpy $1 ""
!if ${ARCH} == x64
  SetRegView 32
  ReadRegStr $1 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvorine (32-bit)" "DisplayName"
  SetRegView 64
!else
  ${If} ${RunningX64}
    SetRegView 64
    ReadRegStr $1 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvorine" "DisplayName"
    SetRegView 32
  ${EndIf}
!endif
  ${If} $1 == ""
    Delete "${VST3PRESETS}\*.vstpreset"
    RMDir "${VST3PRESETS}"
    RMDir "$APPDATA\VST3 Presets\Brindlex"
    RMDir "$APPDATA\VST3 Presets"
  ${EndIf}
  Delete "${COMMON}\CLAP\Halvorine.clap"
  RMDir "${COMMON}\CLAP"
  Delete "${HOME}\LICENSE.txt"
  Delete "${HOME}\manual.html"
  Delete "${HOME}\*.png"
  Delete "${HOME}\uninstall.exe"
  RMDir "${HOME}"
  RMDir "${PROGRAMS}\Brindlex"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
