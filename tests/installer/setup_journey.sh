#!/usr/bin/env bash
# Installs the built setup program into a throwaway Wine prefix of its own and uninstalls it again.
#
#   setup_journey.sh <setup.exe> <hold_file.exe> <page_driver.exe> <answer_pipe.exe>
#                    restores|held-hosts|pages|no-backup
#
# Every journey's silent install leaves the service installed and running, and both shortcuts
# start the program without asking for administrator rights.
#
# restores    an install over an older version (its service running another program, started by
#             hand under another name; its shortcuts run as administrator) stops the service,
#             replaces its program, brings it to this version's settings and starts it again; the
#             installed program blocks at start; another program that serves the service's pipe
#             while the service is stopped is asked nothing, and the uninstall ends with 2 and
#             removes nothing; a service that refuses to lift the block, asked
#             with the user's list, makes the uninstall end with a non-zero exit code and remove
#             nothing; with the service back, the registered silent uninstall command ends with 0
#             once it is done: the service deleted, the hosts file clean byte for byte, no
#             backup, no Run value, no start-up marker, no program folder, no event source,
#             blocking recorded as off for the user, and the list and the password as they were.
# held-hosts  while another program holds the hosts file open without sharing, the uninstaller
#             cannot put the clean copy back: the registered silent uninstall command ends with a
#             non-zero exit code and removes nothing, so the backup, the block and the running
#             service stay.
# pages       an install that is not silent opens on a welcome page and ends on a finish page
#             whose ticked "Start Parvalisk now" starts the installed program (which then blocks
#             the stored list); the uninstaller's first page says that it lifts the block and puts
#             the clean hosts file back.
# no-backup   the backup went while blocking, an entry left the user's list since the block was
#             written and the service is stopped: a silent uninstall takes out the block lines of
#             the entries the service kept, the removed one's too, leaves the hosts file clean byte
#             for byte, removes the block's kept entries and so the data folder, and deletes the
#             service.
#
# Wine does not enforce access lists: the hosts file is writable for everyone here, so the held
# handle (a sharing violation, which Wine does enforce) is what refuses the restore. Nor does Wine
# keep a service's failure actions, or elevate: the shortcuts' missing run-as-administrator mark
# is checked in the link file itself.
set -uo pipefail

setup=$1
hold_file=$2
page_driver=$3
answer_pipe=$4
journey=$5

export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/parvalisk-setup.XXXXXX")
export WINEPREFIX

finish() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap finish EXIT

failures=0
check() {  # check <what> <command...>: runs the command; reports the claim when it fails.
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
not() { ! "$@"; }
fatal() {
    echo "FAILED: $*"
    exit 1
}

w() { wine "$@" </dev/null 2>/dev/null; }  # a Windows program, its exit code passed on
# Polls a condition every half second for up to <seconds>; true once it holds.
wait_for() {
    local seconds=$1
    shift
    local i
    for i in $(seq 1 $((seconds * 2))); do
        if "$@"; then return 0; fi
        sleep 0.5
    done
    "$@"
}

wineserver -p </dev/null >/dev/null 2>&1
# A plain wineboot: "wineboot -i" would start a second service manager beside the one the first
# Wine process starts, and the installed service would then answer to either of them.
wineboot </dev/null >/dev/null 2>&1 || fatal "wineboot could not prepare the prefix"
# Without a window manager (Xvfb) Wine would wait for one at every show and hide of a window.
w reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null

drive_c=$WINEPREFIX/drive_c
program_folder="$drive_c/Program Files/Parvalisk"
program_win='C:\Program Files\Parvalisk'
hosts=$drive_c/windows/system32/drivers/etc/hosts
data_folder=$drive_c/ProgramData/Kelmarin/Parvalisk
start_menu_link="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Parvalisk.lnk"
desktop_link=$drive_c/users/Public/Desktop/Parvalisk.lnk
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Parvalisk'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKCU\Software\VB and VBA Program Settings\Kelmarin\Parvalisk'

cp "$setup" "$drive_c/setup.exe"
cp "$hold_file" "$drive_c/hold_file.exe"
cp "$page_driver" "$drive_c/page_driver.exe"
cp "$answer_pipe" "$drive_c/answer_pipe.exe"

report() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "every check passed"
    exit 0
}

# ---- the pages of an install and an uninstall that are not silent ---------------------------
if [ "$journey" = pages ]; then
    # page <text part> [<button>]: the texts of the setup's or uninstaller's window once it shows
    # the text, then a click on the button (see page_driver.cpp).
    page() { wine 'C:\page_driver.exe' Parvalisk 120 "$@" </dev/null 2>/dev/null | tr -d '\r'; }
    wine 'C:\setup.exe' </dev/null >/dev/null 2>&1 &
    setup_run=$!
    texts=$(page 'Welcome to' '&Next >')
    check "the setup opens on a welcome page" test $? -eq 0
    texts=$(page 'Destination Folder' '&Install')
    check "the setup then asks for the folder" test $? -eq 0
    texts=$(page 'Start Parvalisk now')
    check "the setup ends on a finish page" test $? -eq 0
    check "the finish page offers \"Start Parvalisk now\", ticked" grep -qx '\[x\] Start Parvalisk now' <<<"$texts"

    # A program started from the finish page blocks this list at its start. It is started through
    # the Start-menu shortcut, which the other journeys check.
    printf '127.0.0.1       localhost\r\n' >"$hosts"
    w reg add "$settings_key" /v BlockOnStart /d 1 /f >/dev/null
    w reg add "$settings_key" /v 'Blocked Websites' /d 'blocked.example||My_Separator||' /f >/dev/null
    page 'Start Parvalisk now' '&Finish' >/dev/null
    setup_ended() { ! kill -0 "$setup_run" 2>/dev/null; }
    check "the setup ends with its finish page" wait_for 60 setup_ended
    blocks() { grep -q $'^127.0.0.1 *blocked.example\r$' "$hosts"; }
    check "the finish page starts the installed program" wait_for 60 blocks
    w taskkill /F /IM Parvalisk.exe >/dev/null
    sleep 2

    # The uninstaller starts a copy of itself and returns; its first page is left with Cancel.
    w "$program_win\\Uninstall.exe"
    texts=$(page 'lifts the block' 'Cancel')
    check "the uninstaller's first page says that it lifts the block" test $? -eq 0
    check "the uninstaller's first page says that it puts the clean hosts file back" \
        grep -q 'puts back the clean hosts file' <<<"$texts"
    program_stays() { [ -f "$program_folder/Parvalisk.exe" ]; }
    sleep 2
    check "leaving that page with Cancel removes nothing" program_stays
    report
fi

# ---- install -----------------------------------------------------------------------------------
w 'C:\setup.exe' /S
check "the silent install exits with 0" test $? -eq 0
check "the program is installed" test -f "$program_folder/Parvalisk.exe"
check "the restore helper is installed beside it" test -f "$program_folder/ParvaliskRestore.exe"
check "the service's program is installed beside it" test -f "$program_folder/ParvaliskService.exe"
check "the uninstaller is installed" test -f "$program_folder/Uninstall.exe"

# service_state: the service's state as sc query prints it (RUNNING, STOPPED, ...); fails when
# no service of the name is installed.
service_state() { w sc query Parvalisk | tr -d '\r' | awk '$1 == "STATE" { print $4; found = 1 } END { exit !found }'; }
service_is() { [ "$(service_state)" = "$1" ]; }
service_gone() { ! service_state >/dev/null; }
check "the silent install leaves the service running" wait_for 30 service_is RUNNING
check "the silent install makes the data folder" test -d "$data_folder"

runs_as_administrator() {  # LinkFlags' SLDF_RUNAS_USER (0x2000): bit 0x20 of the byte at 0x15
    local byte
    byte=$(od -An -tu1 -j21 -N1 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$byte" ] && [ $((byte & 0x20)) -ne 0 ]
}
check_shortcuts() {
    check "the Start-menu shortcut exists" test -f "$start_menu_link"
    check "the Start-menu shortcut asks for no administrator rights" not runs_as_administrator "$start_menu_link"
    check "the desktop shortcut exists" test -f "$desktop_link"
    check "the desktop shortcut asks for no administrator rights" not runs_as_administrator "$desktop_link"
}
check_shortcuts

registry_value() {  # registry_value <key> <name>: the value's data as reg query prints it
    w reg query "$1" /v "$2" | tr -d '\r' | awk -v name="$2" '
        index($0, "    " name "    ") == 1 { sub(/^    [^\t]*    REG_[A-Z_]+    /, ""); print; found = 1 }
        END { exit !found }'
}
service_key='HKLM\System\CurrentControlSet\Services\Parvalisk'
event_source_key='HKLM\System\CurrentControlSet\Services\EventLog\Application\Parvalisk'
check "the event source is registered with the service's messages" \
    test "$(registry_value "$event_source_key" EventMessageFile)" = "$program_win\\ParvaliskService.exe"
check "the event source names the types of entries it writes" \
    test "$(registry_value "$event_source_key" TypesSupported)" = 0x7

# ---- install over an older version -------------------------------------------------------------
if [ "$journey" = restores ]; then
    service_program=$program_folder/ParvaliskService.exe
    cp "$service_program" "$WINEPREFIX/service-program"
    # The older version: its own service program (a changed copy, which a running service holds
    # open), started by hand under another name, and shortcuts that run as administrator.
    w sc stop Parvalisk >/dev/null
    wait_for 30 service_is STOPPED || fatal "the service did not stop"
    w sc delete Parvalisk >/dev/null || fatal "the service could not be deleted"
    printf 'older' >>"$service_program"
    w sc create Parvalisk binpath= "$program_win\\ParvaliskService.exe" start= demand \
        DisplayName= "Parvalisk (older)" >/dev/null || fatal "the older service could not be made"
    w sc start Parvalisk >/dev/null
    wait_for 30 service_is RUNNING || fatal "the older service did not start"
    for link in "$start_menu_link" "$desktop_link"; do
        byte=$(od -An -tu1 -j21 -N1 "$link" | tr -d ' ')
        printf "\\$(printf '%03o' $((byte | 0x20)))" | dd of="$link" bs=1 seek=21 conv=notrunc 2>/dev/null
    done
    runs_as_administrator "$start_menu_link" || fatal "the older shortcut could not be marked"

    w 'C:\setup.exe' /S
    check "the silent install over the older version exits with 0" test $? -eq 0
    check "it replaces the service's program" cmp -s "$service_program" "$WINEPREFIX/service-program"
    check "it starts the service again" wait_for 30 service_is RUNNING
    check "it starts the service automatically at boot" test "$(registry_value "$service_key" Start)" = 0x2
    check "it gives the service its display name" \
        test "$(registry_value "$service_key" DisplayName)" = "Parvalisk Blocking Service"
    check "it runs the service's program by its quoted path" \
        test "$(registry_value "$service_key" ImagePath)" = "\"$program_win\\ParvaliskService.exe\""
    check_shortcuts
fi
check "the uninstall entry names the program" test "$(registry_value "$uninstall_key" DisplayName)" = Parvalisk
check "the uninstall entry names the publisher" test "$(registry_value "$uninstall_key" Publisher)" = Kelmarin
check "the uninstall entry has a version" test -n "$(registry_value "$uninstall_key" DisplayVersion)"
check "the uninstall entry has a silent uninstall command that runs in place" \
    test "$(registry_value "$uninstall_key" QuietUninstallString)" = "\"$program_win\\Uninstall.exe\" /S _?=$program_win"

# Runs the registered silent uninstall command as Programs and Features or a deployment tool would,
# and passes its exit code on. _?= takes the rest of the command line unquoted, which wine's own
# quoting of an argument with a space breaks: a batch file passes the line as written.
quiet_uninstall() {
    local command
    command=$(registry_value "$uninstall_key" QuietUninstallString) || return 99
    printf '%s\r\nexit /b %%ERRORLEVEL%%\r\n' "$command" >"$drive_c/quiet-uninstall.bat"
    w cmd /c 'C:\quiet-uninstall.bat' >/dev/null
}

# ---- block with the installed program ----------------------------------------------------------
clean=$'127.0.0.1       localhost\r\n::1             localhost\r\n# kept as it was\r\n'
printf '%s' "$clean" >"$hosts"
cp "$hosts" "$WINEPREFIX/clean-hosts"
w reg add "$settings_key" /v BlockOnStart /d 1 /f >/dev/null
w reg add "$settings_key" /v Password /d 'the parent password' /f >/dev/null
w reg add "$settings_key" /v 'Blocked Websites' \
    /d 'blocked.example||My_Separator||second.example||My_Separator||' /f >/dev/null

hosts_blocks() { grep -q $'^127.0.0.1 *blocked.example\r$' "$hosts" && grep -q $'^127.0.0.1 *second.example\r$' "$hosts"; }
wine "$program_win\\Parvalisk.exe" </dev/null >/dev/null 2>&1 &
program=$!
wait_for 60 hosts_blocks || fatal "the installed program did not block the stored list at start"
echo "ok: the installed program blocks at start"
# Start with Windows switched on, as the program's option would leave it.
w reg add "$run_key" /v Parvalisk.exe /d "\"$program_win\\Parvalisk.exe\"" /f >/dev/null
printf ' ' >"$data_folder/iStart"

# taskkill without /F sends the close; closing never lifts the block.
w taskkill /IM Parvalisk.exe >/dev/null
program_ended() { ! kill -0 "$program" 2>/dev/null; }
wait_for 60 program_ended || fatal "the program did not end when asked to close"
check "closing the program keeps the block" hosts_blocks
check "closing the program keeps BlockOnStart at 1" test "$(registry_value "$settings_key" BlockOnStart)" = 1
check "the clean copy is kept in the data folder" cmp -s "$data_folder/hosts" "$WINEPREFIX/clean-hosts"
password=$(registry_value "$settings_key" Password)

# ---- uninstall ---------------------------------------------------------------------------------
if [ "$journey" = restores ]; then
    # While the service is stopped another program makes its pipe and answers like it: it is
    # asked nothing, and nothing is lifted or removed in the service's place.
    w sc stop Parvalisk >/dev/null
    wait_for 30 service_is STOPPED || fatal "the service did not stop"
    wine 'C:\answer_pipe.exe' 'C:\asked' 'C:\answering' </dev/null >/dev/null 2>&1 &
    answerer=$!
    answering() { [ -e "$drive_c/answering" ]; }
    wait_for 30 answering || fatal "the other program did not make the pipe"
    blocked=$(cat "$hosts")
    quiet_uninstall
    check "another program on the service's pipe makes the uninstall end with 2" test $? -eq 2
    w taskkill /F /IM answer_pipe.exe >/dev/null
    wait $answerer 2>/dev/null
    check "the other program is asked nothing" test ! -e "$drive_c/asked"
    check "after it the block stays" test "$(cat "$hosts")" = "$blocked"
    check "after it the backup stays" cmp -s "$data_folder/hosts" "$WINEPREFIX/clean-hosts"
    check "after it the program stays" test -f "$program_folder/Parvalisk.exe"
    check "after it the service stays installed" service_is STOPPED
    rm -f "$drive_c/answering"

    # A service that cannot lift the block answers the uninstaller: the service manager runs the
    # stand-in as the service.
    w sc delete Parvalisk >/dev/null || fatal "the service could not be deleted"
    w sc create Parvalisk binpath= 'C:\answer_pipe.exe C:\asked C:\answering service' start= demand >/dev/null ||
        fatal "the stand-in service could not be made"
    w sc start Parvalisk >/dev/null
    wait_for 30 answering || fatal "the stand-in service did not make its pipe"
    quiet_uninstall
    check "a service that refuses to lift the block makes the uninstall fail" test $? -ne 0
    wait_for 30 service_is STOPPED || w taskkill /F /IM answer_pipe.exe >/dev/null
    check "the service is asked to stop blocking, with the user's list" \
        test "$(cat "$drive_c/asked" 2>/dev/null)" = $'blocked.example\nsecond.example'
    check "after the refusal the block stays" test "$(cat "$hosts")" = "$blocked"
    check "after the refusal the backup stays" cmp -s "$data_folder/hosts" "$WINEPREFIX/clean-hosts"
    check "after the refusal the program stays" test -f "$program_folder/Parvalisk.exe"
    check "after the refusal the service stays installed" service_is STOPPED
    # The service's own /install gives the service back its program and settings.
    w "$program_win\\ParvaliskService.exe" /install >/dev/null || fatal "the service could not be made again"
    w sc start Parvalisk >/dev/null
    wait_for 30 service_is RUNNING || fatal "the service did not start again"

    quiet_uninstall
    check "the registered silent uninstall ends with 0" test $? -eq 0
    check "the service is deleted" service_gone
    if w reg query "$event_source_key" >/dev/null; then
        check "the event source's registration is removed" false
    else
        check "the event source's registration is removed" true
    fi
    # Run in place, the uninstaller cannot delete itself: a copy of it does, once it has ended.
    program_folder_gone() { [ ! -e "$program_folder" ]; }
    check "the program folder is removed" wait_for 60 program_folder_gone
    check "the hosts file is clean byte for byte" cmp -s "$hosts" "$WINEPREFIX/clean-hosts"
    check "the backup is gone" test ! -e "$data_folder/hosts"
    check "the start-up marker is gone" test ! -e "$data_folder/iStart"
    if w reg query "$run_key" /v Parvalisk.exe >/dev/null; then
        check "the Run value is gone" false
    else
        check "the Run value is gone" true
    fi
    check "the empty data folder is removed" test ! -e "$data_folder"
    check "the Start-menu shortcut is removed" test ! -e "$start_menu_link"
    check "the desktop shortcut is removed" test ! -e "$desktop_link"
    if w reg query "$uninstall_key" >/dev/null; then
        check "the uninstall entry is removed" false
    else
        check "the uninstall entry is removed" true
    fi
    check "blocking is recorded as off for the user" test "$(registry_value "$settings_key" BlockOnStart)" = 0
    check "the list stays" test -n "$(registry_value "$settings_key" 'Blocked Websites')"
    check "the password stays" test "$(registry_value "$settings_key" Password)" = "$password"
elif [ "$journey" = held-hosts ]; then
    blocked=$(cat "$hosts")
    wine 'C:\hold_file.exe' 'C:\windows\system32\drivers\etc\hosts' 'C:\held' 120 </dev/null >/dev/null 2>&1 &
    holder=$!
    held() { [ -e "$drive_c/held" ]; }
    wait_for 60 held || fatal "the helper could not hold the hosts file"
    quiet_uninstall
    check "the registered silent uninstall reports failure with a non-zero exit code" test $? -ne 0
    w taskkill /F /IM hold_file.exe >/dev/null
    wait $holder 2>/dev/null
    check "the block stays" test "$(cat "$hosts")" = "$blocked"
    check "the backup stays, the clean copy" cmp -s "$data_folder/hosts" "$WINEPREFIX/clean-hosts"
    check "the program stays" test -f "$program_folder/Parvalisk.exe"
    check "the restore helper stays" test -f "$program_folder/ParvaliskRestore.exe"
    check "the service stays running" service_is RUNNING
    check "the Start-menu shortcut stays" test -f "$start_menu_link"
    check "the desktop shortcut stays" test -f "$desktop_link"
    check "the uninstall entry stays" test "$(registry_value "$uninstall_key" DisplayName)" = Parvalisk
    check "the Run value stays" test -n "$(registry_value "$run_key" Parvalisk.exe)"
    check "the start-up marker stays" test -e "$data_folder/iStart"
    check "blocking stays recorded as on" test "$(registry_value "$settings_key" BlockOnStart)" = 1
elif [ "$journey" = no-backup ]; then
    rm -f "$data_folder/hosts"
    check "the block through the service keeps its entries" test -f "$data_folder/blocked"
    w reg add "$settings_key" /v 'Blocked Websites' /d 'blocked.example||My_Separator||' /f >/dev/null
    w sc stop Parvalisk >/dev/null
    wait_for 30 service_is STOPPED || fatal "the service did not stop"
    w "$program_win\\Uninstall.exe" /S
    program_folder_gone() { [ ! -e "$program_folder" ]; }
    check "the silent uninstall removes the program folder" wait_for 60 program_folder_gone
    check "the hosts file is clean byte for byte" cmp -s "$hosts" "$WINEPREFIX/clean-hosts"
    check "the service is deleted" service_gone
    check "the kept entries are removed" test ! -e "$data_folder/blocked"
    check "the empty data folder is removed" test ! -e "$data_folder"
else
    fatal "unknown journey $journey"
fi

report
