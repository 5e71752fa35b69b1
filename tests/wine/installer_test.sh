#!/bin/bash
# Self-extracting files whose "$" script sets the dialog's texts, the
# destination, the flags and the command, and asks for a file class and a
# Program Manager group, run under Wine with its real registry, its shell's
# DDE server and ShellExecuteA: the boxes checked, unchecked, the "Set
# Class?" question, and Win32s, where the class goes to the profile.
# usage: installer_test.sh [CASE...]   (default: every case; names below)
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"

CASES=(checked unchecked ask-regist win32s)
CAPTION="Velkar Installer Test"
RECORDER=$VELKAR_BUILD/record_start.exe

wine_require "$VELKAR_EXE" "$VELKAR_BUILD/window_text.exe" "$RECORDER" "$VELKAR_BUILDER" \
    "$(command -v jlha || echo jlha)" || exit
wine_setup || exit 1
WORK=$WINE_WORK/runs/installer-files.$$
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'wine_cleanup; rm -rf "$WORK"' EXIT

# shellcheck disable=SC2016 # the dollars are the script's own
# The auto-start bit of "$Flag=272" is an off bit: it overrides the -n the
# tests start with, so the dialog waits for them. 16 restores attributes.
MAIN_SCRIPT='$WindowTitle=Velkar Installer Test
$InstallTitle=Install the viewer into:
$InstallDir=%WinDir%\vktest
$Flag=272
$ClassTitle=Open .vkt files with the &viewer
$GroupTitle=Add a &menu group
$Class=.VKT,Velkar text,recorder.exe,VelkarText
$Group=Velkar Tools,Viewer,recorder.exe
$Command=recorder.exe first second'

# shellcheck disable=SC2016
# Auto-started, no group: two classes, each asked for.
ASK_SCRIPT='$WindowTitle=Velkar Installer Test
$InstallDir=%WinDir%\vktest
$Flag=1
$AskRegist=
$ClassTitle=Register
$Class=.vkt,Velkar text,recorder.exe,VelkarText
$Class=.vku,Velkar other,recorder.exe,VelkarOther'

# make_exe NAME SCRIPT: an archive of the script, the recorder and a text,
# wrapped in the stub as NAME.exe. The script's lines end with CR LF.
make_exe() {
    local folder=$WORK/$1
    [ -f "$WORK/$1.exe" ] && return 0
    mkdir -p "$folder"
    printf '%s\n' "$2" | sed 's/$/\r/' >"$folder/\$"
    cp "$RECORDER" "$folder/recorder.exe"
    printf 'installed by the script\r\n' >"$folder/readme.txt"
    (cd "$folder" && jlha a2o5q "$WORK/$1.lzh" '$' recorder.exe readme.txt >/dev/null) || return 1
    if ! "$VELKAR_BUILDER" -o "$WORK/$1.exe" --stub "$VELKAR_EXE" --archive "$WORK/$1.lzh" >"$WORK/build.log" 2>&1; then
        cat "$WORK/build.log" >&2
        return 1
    fi
}

check() {
    if [ -z "$2" ]; then pass "$1"; else fail "$1" "$(printf '%s' "$2" | tr '\n' ';')"; fi
}

# reg_default KEY: the key's unnamed value, or nothing when it is missing.
reg_default() {
    wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}

group_folder() {
    find "$WINEPREFIX/drive_c/users" -maxdepth 9 -type d -path '*/Start Menu/Programs/Velkar Tools' 2>/dev/null
}

# new_run PREFIX: a fresh prefix, and the file the recorder is to write.
new_run() {
    wine_new_prefix "$1"
    RECORD=$WINE_RUN/record.txt
    export VELKAR_RECORD
    VELKAR_RECORD=$(windows_path "$RECORD")
}

# start_installer NAME: NAME.exe started with -n; DIALOG is its dialog, or
# empty.
start_installer() {
    wine_start "$WORK/$1.exe" -n
    DIALOG=$(wine_wait_owned "$CAPTION" "" 30) || DIALOG=
}

# The command runs after the lines, whatever the boxes say.
expect_command() {
    local recorded
    wine_wait_file "$RECORD" 10 || { echo "the command did not run"; return; }
    recorded=$(tr -d '\r' <"$RECORD")
    [ "$recorded" = $'arguments=first second\ndirectory=C:\\windows\\vktest' ] ||
        echo "the command recorded \"$(printf '%s' "$recorded" | tr '\n' '|')\""
}

expect_files() {
    local folder=$WINEPREFIX/drive_c/windows/vktest
    cmp -s "$RECORDER" "$folder/recorder.exe" || echo "recorder.exe not unpacked into the destination"
    [ -f "$folder/readme.txt" ] || echo "readme.txt not unpacked"
    [ ! -e "$folder/\$" ] || echo "the script was written"
}

# 1. The dialog shows the script's texts and both boxes checked; OK
# unpacks into "$InstallDir=", registers the class, makes the group and
# starts the command in the destination.
case_checked() {
    local name="boxes checked" texts edit buttons problems=
    make_exe main "$MAIN_SCRIPT" || { fail "$name" "cannot make the file"; return; }
    new_run checked
    start_installer main
    [ -n "$DIALOG" ] || { wine_wait_exit 1; fail "$name" "no dialog \"$CAPTION\" (status $WINE_STATUS)"; return; }
    pause 1  # an auto-start would have pressed OK by now
    texts=$(wine_window_text "$CAPTION")
    edit=$(wine_window_text --edit "$CAPTION")
    buttons=$(wine_window_text --buttons "$CAPTION" | grep -E 'menu|vkt')
    press_ok "$DIALOG" "$CAPTION" || problems+="the dialog did not take Return"$'\n'
    wine_wait_exit 60
    problems+=$([ "$WINE_STATUS" = 1 ] || echo "exit status $WINE_STATUS, expected 1"
        [ "$texts" = "Install the viewer into:" ] || echo "label \"$texts\""
        [ "$edit" = 'C:\windows\vktest' ] || echo "destination \"$edit\""
        [ "$buttons" = $'1 1 Add a &menu group\n1 1 Open .vkt files with the &viewer' ] ||
            echo "boxes \"$(printf '%s' "$buttons" | tr '\n' '|')\""
        expect_files
        [ "$(reg_default 'HKCR\.vkt')" = VelkarText ] || echo "HKCR\\.vkt \"$(reg_default 'HKCR\.vkt')\""
        [ "$(reg_default 'HKCR\VelkarText')" = "Velkar text" ] || echo "HKCR\\VelkarText missing"
        [ "$(reg_default 'HKCR\VelkarText\shell\open\command')" = '"C:\windows\vktest\recorder.exe" "%1"' ] ||
            echo "open command \"$(reg_default 'HKCR\VelkarText\shell\open\command')\""
        [ "$(reg_default 'HKCR\VelkarText\DefaultIcon')" = 'C:\windows\vktest\recorder.exe,0' ] ||
            echo "icon \"$(reg_default 'HKCR\VelkarText\DefaultIcon')\""
        [ -n "$(group_folder)" ] || echo "no Start Menu folder \"Velkar Tools\""
        expect_command)
    check "$name: script texts and marks in the dialog; class, group and command after OK, exit 1" "$problems"
}

# 2. Both boxes unchecked through their mnemonics: no class, no group; the
# command still runs.
case_unchecked() {
    local name="boxes unchecked" buttons problems=
    make_exe main "$MAIN_SCRIPT" || { fail "$name" "cannot make the file"; return; }
    new_run unchecked
    start_installer main
    [ -n "$DIALOG" ] || { wine_wait_exit 1; fail "$name" "no dialog \"$CAPTION\" (status $WINE_STATUS)"; return; }
    for key in alt+m alt+v; do
        xdotool windowfocus "$DIALOG" 2>/dev/null || true
        xdotool key "$key" 2>/dev/null || true
        pause 0.3
    done
    buttons=$(wine_window_text --buttons "$CAPTION" | grep -E 'menu|vkt')
    press_ok "$DIALOG" "$CAPTION" || problems+="the dialog did not take Return"$'\n'
    wine_wait_exit 60
    problems+=$([ "$WINE_STATUS" = 1 ] || echo "exit status $WINE_STATUS, expected 1"
        [ "$buttons" = $'0 1 Add a &menu group\n0 1 Open .vkt files with the &viewer' ] ||
            echo "boxes \"$(printf '%s' "$buttons" | tr '\n' '|')\""
        expect_files
        [ -z "$(reg_default 'HKCR\.vkt')" ] || echo "HKCR\\.vkt written"
        [ -z "$(reg_default 'HKCR\VelkarText')" ] || echo "HKCR\\VelkarText written"
        [ -z "$(group_folder)" ] || echo "the group was made"
        expect_command)
    check "$name: unchecked at OK, no class and no group, the command runs" "$problems"
}

# 3. "$AskRegist=" asks for each class line over the dialog; No skips that
# line only.
case_ask_regist() {
    local name="AskRegist" box text answer problems='' seen=()
    make_exe ask "$ASK_SCRIPT" || { fail "$name" "cannot make the file"; return; }
    new_run ask
    start_installer ask
    [ -n "$DIALOG" ] || { wine_wait_exit 1; fail "$name" "no dialog \"$CAPTION\" (status $WINE_STATUS)"; return; }
    for answer in "n Velkar text" "y Velkar other"; do
        if ! box=$(wine_wait_owned "$CAPTION" "$DIALOG" 30 "${seen[@]}"); then
            problems+="no question for ${answer#? }"$'\n'
            break
        fi
        seen+=("$box")
        text=$(wine_window_text "$CAPTION")
        [ "$text" = "\"${answer#? }\" Set Class?" ] || problems+="question \"$text\""$'\n'
        wine_press "$box" "${answer%% *}" || problems+="the question did not take ${answer%% *}"$'\n'
    done
    wine_wait_exit 60
    problems+=$([ "$WINE_STATUS" = 1 ] || echo "exit status $WINE_STATUS, expected 1"
        [ -z "$(reg_default 'HKCR\.vkt')" ] || echo "HKCR\\.vkt written after No"
        [ "$(reg_default 'HKCR\.vku')" = VelkarOther ] || echo "HKCR\\.vku not written after Yes"
        [ "$(reg_default 'HKCR\VelkarOther\shell\open\command')" = '"C:\windows\vktest\recorder.exe" "%1"' ] ||
            echo "open command of VelkarOther missing")
    check "$name: \"Set Class?\" for each line, No skips only its line" "$problems"
}

# 4. The same file on Win32s: the class is one line in the "Extensions"
# section of the profile, which Wine keeps in the registry, and nothing
# goes under HKEY_CLASSES_ROOT.
case_win32s() {
    local name="Win32s" extensions='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Extensions' value problems=
    make_exe main "$MAIN_SCRIPT" || { fail "$name" "cannot make the file"; return; }
    cp "$WORK/main.exe" "$WORK/win32s.exe"
    new_run win32s
    wine reg add 'HKCU\Software\Wine\AppDefaults\win32s.exe' /v Version /d win31 /f >/dev/null 2>&1
    start_installer win32s
    [ -n "$DIALOG" ] || { wine_wait_exit 1; fail "$name" "no dialog \"$CAPTION\" (status $WINE_STATUS)"; return; }
    press_ok "$DIALOG" "$CAPTION" || problems+="the dialog did not take Return"$'\n'
    wine_wait_exit 60
    value=$(wine reg query "$extensions" /v vkt 2>/dev/null | tr -d '\r' | sed -n 's/^ *vkt *REG_SZ *//p')
    problems+=$([ "$WINE_STATUS" = 1 ] || echo "exit status $WINE_STATUS, expected 1"
        [ "$value" = 'C:\windows\vktest\recorder.exe ^.vkt' ] || echo "Extensions vkt \"$value\""
        [ -z "$(reg_default 'HKCR\.vkt')" ] || echo "HKCR\\.vkt written on Win32s"
        [ -n "$(group_folder)" ] || echo "no Start Menu folder \"Velkar Tools\""
        expect_command)
    check "$name: the class in the profile's Extensions section, group and command as before" "$problems"
}

run_cases "$@"
