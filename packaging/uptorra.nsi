; Installer of Uptorra, built by tools/release.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=0.1.0 -DEXE=path\uptorra.exe -DICON=path\uptorra.ico
;            -DOUTFILE=path\uptorra-0.1.0-setup.exe packaging/uptorra.nsi
;
; The program keeps MyHosts.csv, MyConfig.ini and MyLog.log next to its exe, so it must live in
; a folder its user can write to: the default is the per-user programs folder, the installer
; asks for no elevation, and everything it registers goes under HKCU.
;
; Silent use:  uptorra-<version>-setup.exe /S [/D=C:\folder]   (/D must come last, unquoted)
;              uninstall.exe /S               keeps the operator's three files
;              uninstall.exe /S /REMOVEDATA   removes them too

; A Unicode installer (its Chinese texts show on any system locale) for 64-bit Windows, where
; alone the program runs. 64-bit also lets it run in the tests' 64-bit-only Wine.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!macro RequireDefine name
  !ifndef ${name}
    !error "${name} must be defined on the command line (see tools/release.sh)"
  !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine EXE
!insertmacro RequireDefine ICON
!insertmacro RequireDefine OUTFILE

!define APP_NAME "Uptorra"
!define APP_TITLE "Uptorra 主机监测"
!define APP_PUBLISHER "KWO"
!define APP_EXE "uptorra.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Uptorra"
; The program's first-run mark, written under HKCU when HKLM is not writable.
!define FIRSTRUN_KEY "SOFTWARE\KWO\Uptorra"
; Class name of the main window (src/ui/ControlIds.h): how a running copy is recognised.
!define MAIN_WINDOW_CLASS "UptorraMainWindow"
!define START_MENU_FOLDER "$SMPROGRAMS\Uptorra"

Name "${APP_TITLE}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Uptorra"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${APP_NAME} ${VERSION}"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP_EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "运行 ${APP_TITLE}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_DIRECTORYPAGE_TEXT_TOP "程序会在安装文件夹里保存主机列表（MyHosts.csv）、配置（MyConfig.ini）和日志（MyLog.log），请选择一个当前用户可以写入的文件夹。"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${APP_TITLE} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${APP_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${APP_PUBLISHER}"

; A running copy holds its exe open: replacing or deleting it would fail halfway. Ask the
; operator to close it; in silent mode give up (exit code 2) instead of waiting for nobody.
!macro RefuseWhileRunning
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${DoWhile} $0 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${APP_TITLE} 正在运行，请先关闭程序（若已最小化到托盘，请单击托盘图标打开窗口），关闭时选择“是”，然后点“重试”。" /SD IDCANCEL IDRETRY retry
    Abort
  retry:
    FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${Loop}
!macroend

Function .onInit
  !insertmacro RefuseWhileRunning
FunctionEnd

Section "${APP_TITLE}（必需）" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=${APP_EXE}" "${EXE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Shortcuts start in $OUTPATH, the program's own folder.
  CreateDirectory "${START_MENU_FOLDER}"
  CreateShortcut "${START_MENU_FOLDER}\${APP_TITLE}.lnk" "$INSTDIR\${APP_EXE}"
  CreateShortcut "${START_MENU_FOLDER}\卸载 ${APP_NAME}.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${APP_TITLE}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${APP_PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "桌面快捷方式" SecDesktop
  SetOutPath "$INSTDIR"
  CreateShortcut "$DESKTOP\${APP_TITLE}.lnk" "$INSTDIR\${APP_EXE}"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "程序文件、开始菜单快捷方式和卸载程序。"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "在桌面上放一个启动 ${APP_TITLE} 的快捷方式。"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; ---------------------------------------------------------------------------- uninstaller

Section "un.${APP_TITLE}" SecUnProgram
  SectionIn RO
  Delete "$INSTDIR\${APP_EXE}"
  ; Written by the restart button; the next start writes it again, it holds nothing of value.
  Delete "$INSTDIR\Restart.bat"
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "${START_MENU_FOLDER}\${APP_TITLE}.lnk"
  Delete "${START_MENU_FOLDER}\卸载 ${APP_NAME}.lnk"
  RMDir "${START_MENU_FOLDER}"
  Delete "$DESKTOP\${APP_TITLE}.lnk"
  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd

; Off by default: the hosts list, the configuration with the push credentials and the log are
; the operator's work and survive an uninstall (or an uninstall before a reinstall).
Section /o "un.删除主机列表、配置和日志" SecRemoveData
  Delete "$INSTDIR\MyHosts.csv"
  Delete "$INSTDIR\MyConfig.ini"
  Delete "$INSTDIR\MyLog.log"
  ; With the data gone the next install starts afresh, usage text included.
  DeleteRegValue HKCU "${FIRSTRUN_KEY}" "FirstRun"
  DeleteRegKey /ifempty HKCU "${FIRSTRUN_KEY}"
  DeleteRegKey /ifempty HKCU "SOFTWARE\KWO"
SectionEnd

; After the sections: it needs the index of the data section.
Function un.onInit
  !insertmacro RefuseWhileRunning
  ; /REMOVEDATA ticks the data section, for silent removal of everything.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecRemoveData}
  ${EndIf}
FunctionEnd

Section "-un.RemoveFolder"
  ; Only when empty: kept data keeps the folder and its files where the next install finds them.
  RMDir "$INSTDIR"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnProgram} "程序文件、快捷方式和“添加或删除程序”中的项目。"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecRemoveData} "同时删除主机列表、配置（含推送密钥）和日志。不勾选时这些文件留在安装文件夹里，重新安装后继续使用。"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
