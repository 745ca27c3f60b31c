; The Windows installer, one per architecture, built by scripts/package:
;   makensis -DVERSION=1.2.3 -DARCH=x64|x86 -DSTAGE=<folder> -DFILES=<nsh> -DOUTFILE=<exe> halvorine.nsi
; STAGE holds vst3\Halvorine.vst3, clap\Halvorine.clap, vst\halvorine.dll,
; presets\vst3\*.vstpreset, presets\vst2\*.fxp and *.fxb, LICENSE.txt,
; manual.html and the manual's pictures. FILES names the presets and
; pictures one by one (macros Vst3Presets, Vst2Presets and Pictures, each
; calling the macro it is given with every file name): the installer writes
; those and the uninstaller deletes those, never a wildcard, so files of
; the user's beside them stay. Components VST 3, CLAP and VST 2, each
; optional and all chosen by default; /S installs and uninstalls silently.
; The VST 3 component brings the factory presets into
; %PROGRAMDATA%\VST3 Presets\Brindlex\Halvorine, where VST 3 hosts look for
; every user's presets; the VST 2 component its .fxp and .fxb files into a
; "Halvorine Presets" folder beside the DLL. An installation again offers
; the VST 2 folder of the one before (from its own registry view), and one
; into another folder moves the DLL and its presets there. A VST 2 folder
; that holds the other architecture's halvorine.dll is refused.
; The 32-bit installer puts its files where 32-bit hosts look on 64-bit
; Windows (Program Files (x86)), and registers under its own name, so both
; can be installed side by side.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include x64.nsh
!include LogicLib.nsh
!include "${FILES}"

; MACHINE is the PE machine of this installer's DLL, OTHER_MACHINE the other's.
!if ${ARCH} == x64
  !define PROGRAMS "$PROGRAMFILES64"
  !define COMMON "$COMMONFILES64"
  !define KEYNAME "Halvorine"
  !define TITLE "Halvorine ${VERSION} (64-bit)"
  !define MACHINE 0x8664
  !define OTHER_MACHINE 0x14C
  !define OTHER "32-bit"
!else
  !define PROGRAMS "$PROGRAMFILES32"
  !define COMMON "$COMMONFILES32"
  !define KEYNAME "Halvorine (32-bit)"
  !define TITLE "Halvorine ${VERSION} (32-bit)"
  !define MACHINE 0x14C
  !define OTHER_MACHINE 0x8664
  !define OTHER "64-bit"
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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveVst2Folder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var Vst2Before  ; the VST 2 folder of the installation before, or ""

; Reads a little-endian number of $R3 bytes from file $R1 into $R2.
Function ReadLittleEndian
  StrCpy $R2 0
  StrCpy $R4 0
  ${While} $R4 < $R3
    FileReadByte $R1 $R5
    IntOp $R6 $R4 * 8
    IntOp $R5 $R5 << $R6
    IntOp $R2 $R2 | $R5
    IntOp $R4 $R4 + 1
  ${EndWhile}
FunctionEnd

; $R0: why $INSTDIR will not do for the VST 2 plug-in (it holds the other
; architecture's halvorine.dll, by the machine field of its PE header), or "".
Function CheckVst2Folder
  StrCpy $R0 ""
  IfFileExists "$INSTDIR\halvorine.dll" 0 done
  ClearErrors
  FileOpen $R1 "$INSTDIR\halvorine.dll" r
  IfErrors done
  FileSeek $R1 60 SET
  StrCpy $R3 4
  Call ReadLittleEndian
  IntOp $R2 $R2 + 4
  FileSeek $R1 $R2 SET
  StrCpy $R3 2
  Call ReadLittleEndian
  FileClose $R1
  ${If} $R2 = ${OTHER_MACHINE}
    StrCpy $R0 "$INSTDIR holds the ${OTHER} halvorine.dll. Choose another folder for the VST 2 plug-in of this installer: each would replace the other, and a host loads only the one of its own kind."
  ${EndIf}
done:
FunctionEnd

Function LeaveVst2Folder
  Call CheckVst2Folder
  ${If} $R0 != ""
    MessageBox MB_ICONSTOP $R0
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
!if ${ARCH} == x64
  SetRegView 64
!endif
FunctionEnd

!macro InstallVst3Preset NAME
  File "${STAGE}\presets\vst3\${NAME}"
!macroend
!macro InstallVst2Preset NAME
  File "${STAGE}\presets\vst2\${NAME}"
!macroend
!macro InstallPicture NAME
  File "${STAGE}\${NAME}"
!macroend
; With the folder in $0.
!macro DeleteVst2Preset NAME
  Delete "$0\Halvorine Presets\${NAME}"
!macroend
!macro DeleteVst3Preset NAME
  Delete "${VST3PRESETS}\${NAME}"
!macroend
!macro DeletePicture NAME
  Delete "${HOME}\${NAME}"
!macroend

Section "VST 3" SecVst3
  SetOutPath "${COMMON}\VST3"
  File /r "${STAGE}\vst3\Halvorine.vst3"
  SetOutPath "${VST3PRESETS}"
  !insertmacro Vst3Presets InstallVst3Preset
SectionEnd

Section "CLAP" SecClap
  SetOutPath "${COMMON}\CLAP"
  File "${STAGE}\clap\Halvorine.clap"
SectionEnd

; Removes the VST 2 plug-in and its presets from folder $0, by name.
!macro RemoveVst2 UN
Function ${UN}RemoveVst2
  Delete "$0\halvorine.dll"
  !insertmacro Vst2Presets DeleteVst2Preset
  RMDir "$0\Halvorine Presets"
FunctionEnd
!macroend
!insertmacro RemoveVst2 ""
!insertmacro RemoveVst2 "un."

Section "VST 2" SecVst2
  SetOutPath "$INSTDIR"
  File "${STAGE}\vst\halvorine.dll"
  SetOutPath "$INSTDIR\Halvorine Presets"
  !insertmacro Vst2Presets InstallVst2Preset
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Vst2Folder" "$INSTDIR"
  ; Moved: nothing stays behind in the folder before.
  GetFullPathName $1 "$INSTDIR"
  GetFullPathName $0 "$Vst2Before"
  ${If} $Vst2Before != ""
  ${AndIf} $0 != $1
    Call RemoveVst2
  ${EndIf}
SectionEnd

; The manual, the license and the uninstaller, always.
Section "-Common"
  SetOutPath "${HOME}"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\manual.html"
  !insertmacro Pictures InstallPicture
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

Function .onInit
  SetShellVarContext all
!if ${ARCH} == x64
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "This is the installer for 64-bit Windows. Take the x86 installer on 32-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!endif
  ; The folder chosen before, unless /D= names another.
  ReadRegStr $Vst2Before HKLM "${UNINSTALL_KEY}" "Vst2Folder"
  ${If} $Vst2Before != ""
  ${AndIf} $INSTDIR == "${PROGRAMS}\VstPlugins"
    StrCpy $INSTDIR $Vst2Before
  ${EndIf}
  ; A silent installation has no folder page to refuse on.
  ${If} ${Silent}
  ${AndIf} ${SectionIsSelected} ${SecVst2}
    Call CheckVst2Folder
    ${If} $R0 != ""
      MessageBox MB_ICONSTOP $R0 /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "Vst2Folder"
  ${If} $0 != ""
    Call un.RemoveVst2
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
    !insertmacro Vst3Presets DeleteVst3Preset
    RMDir "${VST3PRESETS}"
    RMDir "$APPDATA\VST3 Presets\Brindlex"
    RMDir "$APPDATA\VST3 Presets"
  ${EndIf}
  Delete "${COMMON}\CLAP\Halvorine.clap"
  RMDir "${COMMON}\CLAP"
  Delete "${HOME}\LICENSE.txt"
  Delete "${HOME}\manual.html"
  !insertmacro Pictures DeletePicture
  Delete "${HOME}\uninstall.exe"
  RMDir "${HOME}"
  RMDir "${PROGRAMS}\Brindlex"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
