; The setup of both programs for a shop's Windows: a Chinese wizard, or silent
; for a room of machines (/S, /D=, /INI=). Built by the `setup` target of the
; cross build (cmake/windows.cmake), which passes DEFINES (version, maker, icon,
; output) and FILES (the staged folder's file list).
Unicode true
Target amd64-unicode
!include "${DEFINES}"
!include "${FILES}"
!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "潮汐面板"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tide"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true
SetCompressor /SOLID lzma
BrandingText "${COMPANY}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\tidepanel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "现在启动桌面面板"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Var Log          ; the log file's handle
Var IniFile      ; /INI=: a shop's own SysInfo.ini, as a full path
Var PanelRan     ; 1: a panel was running before the files were replaced
Var Found        ; FindProgram's answer: a process id, or 0

; Every step and every failure goes into the log, UTF-16 with a byte-order mark.
!macro LOG text
    Push `${text}`
    !ifdef __UNINSTALL__
        Call un.WriteLog
    !else
        Call WriteLog
    !endif
!macroend
!define Log "!insertmacro LOG"
; Says why, writes it down, and ends with the exit code.
!macro FAIL code text
    SetErrorLevel ${code}
    ${Log} `失败：${text}`
    MessageBox MB_ICONSTOP `${text}` /SD IDOK
    FileClose $Log
    Quit
!macroend
!define Fail "!insertmacro FAIL"

; The functions both the setup and the uninstaller use: NSIS needs each twice.
!macro COMMON un
; Appended to, one run after another: a second setup refused at once must not
; wipe the first one's lines.
Function ${un}OpenLog
    Pop $0
    FileOpen $Log "$TEMP\$0" a
    FileSeek $Log 0 END $1
    ${If} $1 = 0
        FileWriteUTF16LE /BOM $Log ""
    ${EndIf}
    ${GetTime} "" "L" $1 $2 $3 $4 $5 $6 $7
    ${Log} "${PRODUCT} ${VERSION}，$3-$2-$1 $5:$6:$7，命令行：$CMDLINE"
FunctionEnd

Function ${un}WriteLog
    Exch $0
    FileWriteUTF16LE $Log "$0$\r$\n"
    DetailPrint $0
    Pop $0
FunctionEnd

; One setup or uninstaller at a time on the machine.
Function ${un}ClaimMachine
    System::Call 'kernel32::CreateMutexW(p 0, i 1, w "Global\tide-setup") p .r0 ?e'
    Pop $1
    ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
        ${Fail} 4 "另一个${PRODUCT}安装或卸载程序正在运行，请等它结束后再试。"
    ${EndIf}
FunctionEnd

; $0: a program's file name -> $Found: the id of a process running it, or 0.
Function ${un}FindProgram
    StrCpy $Found 0
    System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r1'
    ${If} $1 P= -1
        Return
    ${EndIf}
    ; PROCESSENTRY32W: its size, the id at offset 8, the file name at 44.
    System::Call '*(i 568, i, i, i, p, i, i, i, i, i, &w260, i) p .r2'
    System::Call 'kernel32::Process32FirstW(p r1, p r2) i .r3'
    ${DoWhile} $3 <> 0
        System::Call '*$2(i, i, i .r4, i, p, i, i, i, i, i, &w260 .r5)'
        ${If} $5 == $0
            StrCpy $Found $4
            ${Break}
        ${EndIf}
        System::Call 'kernel32::Process32NextW(p r1, p r2) i .r3'
    ${Loop}
    System::Free $2
    System::Call 'kernel32::CloseHandle(p r1)'
FunctionEnd

; $0: a program's file name. Waits up to 3 s for each of its processes to end
; by itself, then terminates it. 1 on the stack when one ran, else 0.
Function ${un}EndProgram
    StrCpy $8 0
    ${Do}
        Call ${un}FindProgram
        ${If} $Found = 0
            ${Break}
        ${EndIf}
        StrCpy $8 1
        ; SYNCHRONIZE | PROCESS_TERMINATE
        System::Call 'kernel32::OpenProcess(i 0x100001, i 0, i $Found) p .r6 ?e'
        Pop $7
        ${If} $6 P= 0
        ${AndIf} $7 = 87 ; ERROR_INVALID_PARAMETER: it ended meanwhile
            ${Continue}
        ${ElseIf} $6 P= 0
            ${Fail} 6 "无法结束正在运行的 $0（进程 $Found，Windows 错误 $7）。请关闭它后再试。"
        ${EndIf}
        System::Call 'kernel32::WaitForSingleObject(p r6, i 3000) i .r7'
        ${If} $7 <> 0
            System::Call 'kernel32::TerminateProcess(p r6, i 1) i .r7 ?e'
            Pop $7
            System::Call 'kernel32::WaitForSingleObject(p r6, i 5000) i .r9'
            ${If} $9 <> 0
                System::Call 'kernel32::CloseHandle(p r6)'
                ${Fail} 6 "无法结束正在运行的 $0（进程 $Found，Windows 错误 $7）。请关闭它后再试。"
            ${EndIf}
            ${Log} "$0（进程 $Found）3 秒内没有退出，已强制结束"
        ${Else}
            ${Log} "$0（进程 $Found）已退出"
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r6)'
    ${Loop}
    Push $8
FunctionEnd

; Ends the editor (asked to close its window, as at a log-off), then the panel
; as the editor's 关闭前台程序 ends it: Close=End in SysInfo.ini, which every
; running panel reads within a second, and Close=Start again once they ended.
; $PanelRan: whether a panel ran.
Function ${un}EndPrograms
    StrCpy $0 tideedit.exe
    Call ${un}FindProgram
    ${If} $Found <> 0
        ${Log} "正在关闭修改器 tideedit.exe（进程 $Found）"
        nsExec::Exec '"$SYSDIR\taskkill.exe" /IM tideedit.exe'
        Pop $1
        Call ${un}EndProgram
        Pop $1
        ${Log} "修改器已关闭"
    ${EndIf}
    StrCpy $0 tidepanel.exe
    Call ${un}FindProgram
    StrCpy $PanelRan 0
    ${If} $Found <> 0
        StrCpy $PanelRan 1
        ${If} ${FileExists} "$INSTDIR\SysInfo.ini"
            ${Log} "正在关闭面板：SysInfo.ini 中写入 Close=End"
            WriteINIStr "$INSTDIR\SysInfo.ini" Sysinfo Close End
        ${EndIf}
        Call ${un}EndProgram
        Pop $1
        ${If} ${FileExists} "$INSTDIR\SysInfo.ini"
            ClearErrors
            WriteINIStr "$INSTDIR\SysInfo.ini" Sysinfo Close Start
            ${If} ${Errors}
                ${Fail} 7 "无法在 $INSTDIR\SysInfo.ini 中写回 Close=Start，面板将无法启动。"
            ${EndIf}
            ${Log} "SysInfo.ini 中已写回 Close=Start"
        ${EndIf}
    ${EndIf}
FunctionEnd
!macroend
!insertmacro COMMON ""
!insertmacro COMMON "un."

Function .onInit
    SetShellVarContext all
    Push tide-setup.log
    Call OpenLog
    Call ClaimMachine
    ${IfNot} ${RunningX64}
    ${OrIfNot} ${AtLeastWin10}
    ${OrIfNot} ${AtLeastBuild} 17763
        ${Fail} 3 "${PRODUCT}需要 64 位的 Windows 10（1809 版）或更新的 Windows（含 Windows 11）。本机的 Windows 不符合要求，没有安装任何文件。"
    ${EndIf}
    ; An upgrade goes where the programs are, unless /D= says otherwise.
    ReadRegStr $0 HKLM "${UNINST_KEY}" InstallLocation
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
        StrCpy $INSTDIR $0
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/INI=" $1
    ${IfNot} ${Errors}
        System::Call 'kernel32::GetFullPathNameW(w r1, i ${NSIS_MAX_STRLEN}, w .r2, p 0)'
        ${IfNot} ${FileExists} $2
            ${Fail} 5 "找不到 /INI= 指定的设置文件：$1"
        ${EndIf}
        StrCpy $IniFile $2
        ${Log} "将使用 /INI= 指定的设置文件：$IniFile"
    ${EndIf}
FunctionEnd

Section
    ${Log} "安装到 $INSTDIR"
    Call EndPrograms
    ; The uninstaller removes the folder only when it is ours: made by the
    ; setup, or holding nothing but the SysInfo.ini an earlier removal kept.
    ReadRegStr $0 HKLM "${UNINST_KEY}" InstallLocation
    ReadRegDWORD $R9 HKLM "${UNINST_KEY}" CreatedFolder
    ${If} $0 != $INSTDIR
        StrCpy $R9 1
        FindFirst $0 $1 "$INSTDIR\*"
        ${DoWhile} $1 != ""
            ${If} $1 != "."
            ${AndIf} $1 != ".."
            ${AndIf} $1 != "SysInfo.ini"
                StrCpy $R9 0
            ${EndIf}
            FindNext $0 $1
        ${Loop}
        FindClose $0
    ${EndIf}
    CreateDirectory $INSTDIR
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
        ${Fail} 8 "无法创建文件夹 $INSTDIR。"
    ${EndIf}
    SetOverwrite on
    ClearErrors
    !insertmacro TIDE_INSTALL_FILES
    ${If} ${Errors}
        ${Fail} 8 "无法写入 $INSTDIR 中的程序文件。"
    ${EndIf}
    ${Log} "程序文件已复制到 $INSTDIR"

    ; The shop's texts: replaced only by /INI=, never by an upgrade.
    ${If} $IniFile != ""
        ClearErrors
        CopyFiles /SILENT /FILESONLY $IniFile "$INSTDIR\SysInfo.ini"
        ${If} ${Errors}
            ${Fail} 9 "无法把 $IniFile 复制为 $INSTDIR\SysInfo.ini。"
        ${EndIf}
        ${Log} "SysInfo.ini 已换成 $IniFile"
    ${ElseIf} ${FileExists} "$INSTDIR\SysInfo.ini"
        ${Log} "保留原有的 SysInfo.ini"
    ${Else}
        File "/oname=SysInfo.ini" "${STAGE}/SysInfo.ini"
        ${Log} "安装了预设的 SysInfo.ini"
    ${EndIf}

    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\潮汐面板修改器.lnk" "$INSTDIR\tideedit.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\卸载潮汐面板.lnk" "$INSTDIR\${UNINSTALLER}"
    ${If} ${Errors}
        ${Fail} 10 "无法写入卸载程序或开始菜单中的快捷方式。"
    ${EndIf}
    ${Log} "开始菜单：$SMPROGRAMS\${PRODUCT}"

    ClearErrors
    ; Quoted: unquoted, the space in Program Files would start C:\Program.exe.
    WriteRegStr HKLM "${RUN_KEY}" tidepanel '"$INSTDIR\tidepanel.exe"'
    WriteRegStr HKLM "${UNINST_KEY}" DisplayName "${PRODUCT}"
    WriteRegStr HKLM "${UNINST_KEY}" DisplayVersion "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" Publisher "${COMPANY}"
    WriteRegStr HKLM "${UNINST_KEY}" DisplayIcon '"$INSTDIR\tidepanel.exe",0'
    WriteRegStr HKLM "${UNINST_KEY}" InstallLocation $INSTDIR
    WriteRegStr HKLM "${UNINST_KEY}" UninstallString '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINST_KEY}" QuietUninstallString '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" NoModify 1
    WriteRegDWORD HKLM "${UNINST_KEY}" NoRepair 1
    IntOp $R9 $R9 + 0
    WriteRegDWORD HKLM "${UNINST_KEY}" CreatedFolder $R9
    ${GetSize} $INSTDIR "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINST_KEY}" EstimatedSize $0
    ${If} ${Errors}
        ${Fail} 11 "无法写入注册表（开机启动项或“应用和功能”中的条目）。"
    ${EndIf}
    ${Log} "注册表：登录时启动 tidepanel，“应用和功能”中的条目 HKLM\${UNINST_KEY}"

    ${If} $PanelRan = 1
        Exec '"$INSTDIR\tidepanel.exe"'
        ${Log} "面板已重新启动"
    ${EndIf}
    ${Log} "安装完成"
SectionEnd

Function .onGUIEnd
    FileClose $Log
FunctionEnd

Section "-un.Programs"
    ${Log} "从 $INSTDIR 卸载"
    Call un.EndPrograms
    !insertmacro TIDE_DELETE_FILES
    Delete "$INSTDIR\${UNINSTALLER}"
    ; What the programs leave beside the file: its lock, an interrupted save.
    Delete "$INSTDIR\SysInfo.ini.lock"
    Delete "$INSTDIR\SysInfo.ini.*.new"
    Delete "$SMPROGRAMS\${PRODUCT}\潮汐面板修改器.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\卸载潮汐面板.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegValue HKLM "${RUN_KEY}" tidepanel
    ; The panel registers the user instead when it may not write the machine's key.
    ReadRegStr $0 HKCU "${RUN_KEY}" tidepanel
    ${If} $0 == '"$INSTDIR\tidepanel.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" tidepanel
    ${EndIf}
    ${Log} "程序文件、开始菜单和登录时启动项已删除"
SectionEnd

Section /o "un.同时删除本店的设置文件 SysInfo.ini" Purge
    Delete "$INSTDIR\SysInfo.ini"
    ${Log} "SysInfo.ini 已删除"
SectionEnd

Section "-un.Folder"
    ReadRegDWORD $0 HKLM "${UNINST_KEY}" CreatedFolder
    ${If} $0 = 1
        RMDir $INSTDIR
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\SysInfo.ini"
        ${Log} "保留了 $INSTDIR\SysInfo.ini"
    ${EndIf}
    DeleteRegKey HKLM "${UNINST_KEY}"
    ${Log} "卸载完成"
SectionEnd

Function un.onInit
    SetShellVarContext all
    Push tide-uninstall.log
    Call un.OpenLog
    Call un.ClaimMachine
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/PURGE" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${Purge} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Function un.onGUIEnd
    FileClose $Log
FunctionEnd
