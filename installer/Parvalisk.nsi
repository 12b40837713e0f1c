; The setup program: installs Parvalisk for the whole machine and registers its uninstaller.
; makensis is given the version (VERSION), the folder of the built programs (BIN_DIR), the
; resource folder (RES_DIR) and the setup's own path (OUT_FILE); CMake does so in the installer
; target, so the version comes from the one place the program's version resource reads it too.

!ifndef VERSION | BIN_DIR | RES_DIR | OUT_FILE
    !error "makensis needs -DVERSION, -DBIN_DIR, -DRES_DIR and -DOUT_FILE"
!endif

Unicode true
SetCompressor /SOLID lzma

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"

!define PRODUCT "Parvalisk"
!define PUBLISHER "Kelmarin"
!define WINDOW_CLASS "ParvaliskMainWindow"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Parvalisk"
!define DATA_FOLDER "$APPDATA\Kelmarin\Parvalisk"
; Exit code of a setup or uninstall that stopped before changing anything.
!define EXIT_STOPPED 2
; The option of the uninstaller's temporary copy that only removes what the uninstall run in
; place could not remove: the uninstaller itself and the program folder.
!define REMOVE_OPTION "/REMOVE_UNINSTALLER"
; Exit code of a setup that installed the program but could not install or start its service.
!define EXIT_NO_SERVICE 3

; The service that does the program's privileged work, and the service manager's names the setup
; uses to stop and start it (winsvc.h, winerror.h).
!define SERVICE_NAME "Parvalisk"
!define SERVICE_PROGRAM "ParvaliskService.exe"
!define SC_MANAGER_CONNECT 0x0001
!define SERVICE_QUERY_STATUS 0x0004
!define SERVICE_START 0x0010
!define SERVICE_STOP 0x0020
!define /math SERVICE_CONTROL_ACCESS ${SERVICE_START} | ${SERVICE_STOP}
!define /math SERVICE_ACCESS ${SERVICE_CONTROL_ACCESS} | ${SERVICE_QUERY_STATUS}
!define SERVICE_CONTROL_STOP 1
!define SERVICE_STOPPED 1
!define SERVICE_RUNNING 4
!define ERROR_SERVICE_ALREADY_RUNNING 1056
!define ERROR_SERVICE_DOES_NOT_EXIST 1060
!define ERROR_SERVICE_NOT_ACTIVE 1062
; How long the setup waits for the service to stop or to run (in steps of 250 ms).
!define SERVICE_WAIT_STEPS 120

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT_FILE}"
; The program edits the system hosts file and is installed for every user of the machine.
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES32\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; The pages. A silent setup or uninstall shows none of them, and starts nothing at the finish.
!define MUI_ICON "${RES_DIR}/parvalisk.ico"
!define MUI_UNICON "${RES_DIR}/parvalisk.ico"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Parvalisk now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartFromShortcut
!insertmacro MUI_PAGE_FINISH

!define MUI_WELCOMEPAGE_TITLE "Uninstall ${PRODUCT}"
!define MUI_WELCOMEPAGE_TEXT \
    "This removes ${PRODUCT} from this computer.$\r$\n$\r$\nFirst it lifts the block: it puts back the clean hosts file that ${PRODUCT} kept in its data folder, so that the blocked websites open again on every account of this computer. Only then are the ${PRODUCT} service, the program, its shortcuts and its start with Windows removed. The list of websites and the password stay in the settings of each user.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Files in use cannot be replaced or removed while the program runs: the user is asked to close
; it. A silent run has no one to ask, so it stops with a non-zero exit code before it changes
; anything.
!macro WAIT_UNTIL_PARVALISK_IS_CLOSED
    check_running:
        FindWindow $0 "${WINDOW_CLASS}"
        StrCmp $0 0 not_running
        IfSilent stop_silently
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "${PRODUCT} is running. Close it (from its window or its icon in the notification area), then choose Retry." \
            IDRETRY check_running
        Quit
    stop_silently:
        SetErrorLevel ${EXIT_STOPPED}
        Quit
    not_running:
!macroend

Function .onInit
    !insertmacro WAIT_UNTIL_PARVALISK_IS_CLOSED
FunctionEnd

; Opens the installed service for starting, stopping and its state. $R0 the service manager and
; $R1 the service, 0 when it is not there; $R2 the error of the opening.
Function OpenService
    StrCpy $R1 0
    StrCpy $R2 0
    System::Call 'advapi32::OpenSCManagerA(p 0, p 0, i ${SC_MANAGER_CONNECT}) p.R0 ?e'
    Pop $R2
    ${If} $R0 <> 0
        System::Call 'advapi32::OpenServiceA(p R0, m "${SERVICE_NAME}", i ${SERVICE_ACCESS}) p.R1 ?e'
        Pop $R2
    ${EndIf}
FunctionEnd

Function CloseService
    ${If} $R1 <> 0
        System::Call 'advapi32::CloseServiceHandle(p R1)'
    ${EndIf}
    ${If} $R0 <> 0
        System::Call 'advapi32::CloseServiceHandle(p R0)'
    ${EndIf}
FunctionEnd

; Waits until the opened service ($R1) is in the state on the stack; leaves its last state in $R4.
Function WaitForServiceState
    Exch $R3
    Push $R5
    Push $R6
    System::Call '*(i, i, i, i, i, i, i) p.R5'
    StrCpy $R4 0
    StrCpy $R6 0
    ${Do}
        System::Call 'advapi32::QueryServiceStatus(p R1, p R5) i.r0'
        ${If} $0 = 0
            ${Break}
        ${EndIf}
        System::Call '*$R5(i, i .R4)'
        ${If} $R4 = $R3
        ${OrIf} $R6 >= ${SERVICE_WAIT_STEPS}
            ${Break}
        ${EndIf}
        IntOp $R6 $R6 + 1
        Sleep 250
    ${Loop}
    System::Free $R5
    Pop $R6
    Pop $R5
    Pop $R3
FunctionEnd

; An install over an older version stops its running service, whose program cannot be replaced
; while it runs. Sets the error flag when the service is there and did not stop, or its program
; is still held open; no service at all is no error.
Function StopOlderService
    ClearErrors
    Call OpenService
    ${If} $R1 = 0
        ${If} $R2 <> ${ERROR_SERVICE_DOES_NOT_EXIST}
            SetErrors
        ${EndIf}
    ${Else}
        System::Call '*(i, i, i, i, i, i, i) p.R3'
        System::Call 'advapi32::ControlService(p R1, i ${SERVICE_CONTROL_STOP}, p R3) i.r0 ?e'
        Pop $R2
        System::Free $R3
        ${If} $0 <> 0
        ${OrIf} $R2 = ${ERROR_SERVICE_NOT_ACTIVE}
            Push ${SERVICE_STOPPED}
            Call WaitForServiceState
            ${If} $R4 <> ${SERVICE_STOPPED}
                SetErrors
            ${EndIf}
        ${Else}
            SetErrors
        ${EndIf}
    ${EndIf}
    Call CloseService
    ${IfNot} ${Errors}
    ${AndIf} ${FileExists} "$INSTDIR\${SERVICE_PROGRAM}"
        ; A stopped service's process may still be ending: its program is replaced once it has.
        StrCpy $R3 0
        ${Do}
            ClearErrors
            FileOpen $0 "$INSTDIR\${SERVICE_PROGRAM}" a
            ${IfNot} ${Errors}
                FileClose $0
                ${Break}
            ${EndIf}
            ${If} $R3 >= ${SERVICE_WAIT_STEPS}
                ${Break}
            ${EndIf}
            IntOp $R3 $R3 + 1
            Sleep 250
        ${Loop}
    ${EndIf}
FunctionEnd

; Installs (or, over an older version, updates) the service and starts it. Sets the error flag
; when it is not running at the end.
Function InstallAndStartService
    nsExec::ExecToLog '"$INSTDIR\${SERVICE_PROGRAM}" /install'
    Pop $0
    ClearErrors
    ${If} $0 != 0
        SetErrors
        Return
    ${EndIf}
    Call OpenService
    ${If} $R1 = 0
        SetErrors
    ${Else}
        System::Call 'advapi32::StartServiceA(p R1, i 0, p 0) i.r0 ?e'
        Pop $R2
        ${If} $0 <> 0
        ${OrIf} $R2 = ${ERROR_SERVICE_ALREADY_RUNNING}
            Push ${SERVICE_RUNNING}
            Call WaitForServiceState
            ${If} $R4 <> ${SERVICE_RUNNING}
                SetErrors
            ${EndIf}
        ${Else}
            SetErrors
        ${EndIf}
    ${EndIf}
    Call CloseService
FunctionEnd

; The finish page starts the program through its Start-menu shortcut, so that it runs exactly as
; the shortcuts start it, in the program folder.
Function StartFromShortcut
    SetShellVarContext all
    ExecShell "open" "$SMPROGRAMS\${PRODUCT}.lnk"
FunctionEnd

; Installing over an older version replaces the program files only: the settings, the list, the
; data folder and the start-with-Windows choice belong to the user and stay as they are. Its
; service is stopped first and started again with the new program.
Section "Parvalisk"
    Call StopOlderService
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP \
            "The ${PRODUCT} service of the installed version could not be stopped, so nothing was changed. Restart Windows and run the setup again." \
            /SD IDOK
        SetErrorLevel ${EXIT_STOPPED}
        Quit
    ${EndIf}

    SetOutPath "$INSTDIR"
    File "${BIN_DIR}/Parvalisk.exe"
    File "${BIN_DIR}/ParvaliskRestore.exe"
    File "${BIN_DIR}/${SERVICE_PROGRAM}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; With the service doing the privileged work, the program starts without elevation: the
    ; shortcuts (made anew over an older version's) ask for no administrator rights.
    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Parvalisk.exe" "" "$INSTDIR\Parvalisk.exe" 0
    CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\Parvalisk.exe" "" "$INSTDIR\Parvalisk.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Parvalisk.exe",0'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    ; Run in place (_?=), the uninstaller waits for its own end, so the command's exit code is the
    ; uninstall's: 0 when it is done, EXIT_STOPPED when it refused and removed nothing. Without
    ; _?= it would start a copy of itself from the temporary folder and end at once with 0.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    Call InstallAndStartService
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION \
            "The ${PRODUCT} service could not be installed or started. ${PRODUCT} is installed and works when it is run as administrator." \
            /SD IDOK
        SetErrorLevel ${EXIT_NO_SERVICE}
    ${EndIf}
SectionEnd

; Removes Uninstall.exe from the program folder. Started from a temporary copy (the uninstaller's
; usual way) it deletes the file. Run in place (_?=) it is the running program, which cannot be
; deleted: a copy of it in the temporary folder, started with REMOVE_OPTION, waits for this run to
; end and then deletes the file and the emptied program folder. When even that copy cannot start,
; both go at the next restart.
!macro REMOVE_UNINSTALLER
    ClearErrors
    Delete "$INSTDIR\Uninstall.exe"
    IfErrors 0 uninstaller_removed
    ClearErrors
    GetTempFileName $1
    CopyFiles /SILENT "$EXEPATH" "$1"
    Exec '"$1" /S ${REMOVE_OPTION} _?=$INSTDIR'
    IfErrors 0 uninstaller_removed
    Delete /REBOOTOK "$1"
    Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    uninstaller_removed:
!macroend

; The copy started by REMOVE_UNINSTALLER: it retries the delete for up to a minute while the
; uninstaller that started it ends, removes the program folder once it is empty, and leaves
; itself to be deleted at the next restart.
!macro REMOVE_UNINSTALLER_AFTER_ITS_END
    StrCpy $R2 0
    retry_delete:
        ClearErrors
        Delete "$INSTDIR\Uninstall.exe"
        IfErrors 0 uninstaller_deleted
        IntOp $R2 $R2 + 1
        IntCmp $R2 120 delete_at_restart
        Sleep 500
        Goto retry_delete
    delete_at_restart:
        Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    uninstaller_deleted:
    RMDir /REBOOTOK "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
!macroend

Function un.onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "${REMOVE_OPTION}" $R1
    IfErrors uninstall
    !insertmacro REMOVE_UNINSTALLER_AFTER_ITS_END
    Quit
    uninstall:
    !insertmacro WAIT_UNTIL_PARVALISK_IS_CLOSED
FunctionEnd

; The helper puts the clean hosts file back before anything is removed, through the running
; service or, without one, itself. When it cannot, the uninstall stops there: the backup in the
; data folder is then still the clean copy, and the program and its running service stay installed
; to keep the block, to stop it or to be uninstalled again. Once the block is lifted, the service
; is stopped and deleted first, since its program cannot be removed while it runs.
Section "Uninstall"
    ClearErrors
    ExecWait '"$INSTDIR\ParvaliskRestore.exe"' $0
    IfErrors restore_failed
    StrCmp $0 0 restored
    restore_failed:
        MessageBox MB_OK|MB_ICONSTOP \
            "The clean hosts file could not be put back, so ${PRODUCT} was not uninstalled. Another program may hold the hosts file open: close it and uninstall again." \
            /SD IDOK
        SetErrorLevel ${EXIT_STOPPED}
        Quit
    restored:

    ${If} ${FileExists} "$INSTDIR\${SERVICE_PROGRAM}"
        nsExec::ExecToLog '"$INSTDIR\${SERVICE_PROGRAM}" /uninstall'
        Pop $0
        ${If} $0 != 0
            MessageBox MB_OK|MB_ICONSTOP \
                "The block is lifted, but the ${PRODUCT} service could not be removed, so ${PRODUCT} was not uninstalled. Restart Windows and uninstall again." \
                /SD IDOK
            SetErrorLevel ${EXIT_STOPPED}
            Quit
        ${EndIf}
    ${EndIf}

    Delete "$INSTDIR\Parvalisk.exe"
    Delete "$INSTDIR\ParvaliskRestore.exe"
    Delete "$INSTDIR\${SERVICE_PROGRAM}"
    !insertmacro REMOVE_UNINSTALLER
    RMDir "$INSTDIR"

    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$DESKTOP\${PRODUCT}.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; The data folder goes only when nothing is left in it; the per-user settings stay.
    RMDir "${DATA_FOLDER}"
    RMDir "$APPDATA\Kelmarin"
SectionEnd
