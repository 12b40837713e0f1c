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
    "This removes ${PRODUCT} from this computer.$\r$\n$\r$\nFirst it lifts the block: it puts back the clean hosts file that ${PRODUCT} kept in its data folder, so that the blocked websites open again on every account of this computer. Only then are the program, its shortcuts and its start with Windows removed. The list of websites and the password stay in the settings of each user.$\r$\n$\r$\nClick Next to continue."
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

; Marks a shortcut to run its program as administrator: the SLDF_RUNAS_USER bit (0x2000) of the
; shell link's LinkFlags, whose second byte is at offset 0x15 of the .lnk file. The program needs
; administrator rights to block, and NSIS has no option for the bit.
!macro MARK_RUN_AS_ADMINISTRATOR LINK
    ClearErrors
    FileOpen $0 "${LINK}" a
    IfErrors +7
    FileSeek $0 0x15 SET
    FileReadByte $0 $1
    IntOp $1 $1 | 0x20
    FileSeek $0 0x15 SET
    FileWriteByte $0 $1
    FileClose $0
!macroend

Function .onInit
    !insertmacro WAIT_UNTIL_PARVALISK_IS_CLOSED
FunctionEnd

; The finish page starts the program through its Start-menu shortcut, so that it runs exactly as
; the shortcuts start it: as administrator, in the program folder.
Function StartFromShortcut
    SetShellVarContext all
    ExecShell "open" "$SMPROGRAMS\${PRODUCT}.lnk"
FunctionEnd

; Installing over an older version replaces the program files only: the settings, the list, the
; data folder and the start-with-Windows choice belong to the user and stay as they are.
Section "Parvalisk"
    SetOutPath "$INSTDIR"
    File "${BIN_DIR}/Parvalisk.exe"
    File "${BIN_DIR}/ParvaliskRestore.exe"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Parvalisk.exe" "" "$INSTDIR\Parvalisk.exe" 0
    !insertmacro MARK_RUN_AS_ADMINISTRATOR "$SMPROGRAMS\${PRODUCT}.lnk"
    CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\Parvalisk.exe" "" "$INSTDIR\Parvalisk.exe" 0
    !insertmacro MARK_RUN_AS_ADMINISTRATOR "$DESKTOP\${PRODUCT}.lnk"

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

; The helper puts the clean hosts file back before anything is removed. When it cannot, the
; uninstall stops there: the backup in the data folder is then still the clean copy, and the
; program stays installed to stop the block or to be uninstalled again.
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

    Delete "$INSTDIR\Parvalisk.exe"
    Delete "$INSTDIR\ParvaliskRestore.exe"
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
