#!/bin/bash
# The Windows build's immediate lock under Wine: `kestrom.exe /locknow` in a program folder whose
# supermp.dat holds the password "secret", on a private Xvfb. The lock must come up, refuse a
# wrong password, stay in place when another program tries to move, un-top, close or minimise it,
# take the focus back from another program's window, refuse keys another program injects, take
# the right password and end with exit status 0, the keyboard lock released; its trace must be
# the headless runtime's for the same scenario. Then the timed prompt is minimised and loses the
# focus the same way, and must come back each time. Then every form's window is checked for its
# frame, icon, labels and pictures (form-layout.exe). Last, the boot scenario in the same prefix
# (Windows 98, else Windows 10): a fresh installation's wizard clicked through with the mouse
# (password, the 60-second prompt at start, both shortcuts); the session ended and started again
# by wineboot, which runs RunServices as Windows 95/98 did, and the prompt left until the lockout;
# again, a wrong password, then the right one, and only one prompt (on the NT family the logon
# runner vellomar-start.exe leaves the start to Wine, and starts it itself with /always); the
# immediate lock from the desktop link; Setup from its Start-menu link locking both sides of the
# boot, DOS mode and the boot keys, read back from AUTOEXEC.BAT, DOSSTART.BAT and MSDOS.SYS.
#   [LOCKNOW_WIN98=1] tests/wine/locknow_gui.sh KESTROM_EXE SET_PASSWORD_EXE PROBE_EXE TRANSCRIPT_EXE
#                                               LAYOUT_EXE RUNNER_EXE [SCREENSHOT.png]
# Everything it starts (Xvfb, the Wine server of its own scratch prefix) and every file it makes
# goes when it ends, whichever way it ends.
set -euo pipefail

kestrom=$(realpath "$1")
set_password=$(realpath "$2")
probe=$(realpath "$3")
transcript=$(realpath "$4")
layout=$(realpath "$5")
runner=$(realpath "$6")
screenshot=${7:+$(realpath -m "$7")}
work=$(mktemp -d)
xvfb=""

cleanup() {
  # Only the Wine server of our own prefix, and the X server we started.
  if [ -d "$work/prefix" ]; then WINEPREFIX="$work/prefix" wineserver -k 2> /dev/null || true; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

scenario=locknow_gui
watched=$work/trace.jsonl
# shellcheck source=tests/wine/watch.sh
source "$(dirname "$0")/watch.sh"

exec 9> "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
exec 9>&-
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"

# A scratch Wine: its own prefix and home, no crash debugger waiting for a human, no menu
# entries written into the home, no .NET or Gecko installers.
mkdir -p "$work/home"
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;winemenubuilder.exe=d;mscoree=d;mshtml=d"
# LOCKNOW_WIN98=1: a 32-bit prefix that reports Windows 98, for the 32-bit build's 9x paths.
[ -n "${LOCKNOW_WIN98:-}" ] && export WINEARCH=win32
timeout 300 wineboot -i > /dev/null 2>&1 || fail "wineboot failed"
# The version the prefix reports: Windows 98, else Windows 10 for the NT family.
version=win10
[ -n "${LOCKNOW_WIN98:-}" ] && version=win98
wine reg add 'HKCU\Software\Wine' /v Version /d $version /f > /dev/null 2>&1
# A Wine virtual desktop as large as the screen: Wine draws the frames and the desktop itself,
# with no window manager to wait for, and the desktop window takes the keyboard.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f > /dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f > /dev/null 2>&1
# The desktop is made when the server starts: start it afresh with the setting.
wineserver -k 2> /dev/null || true
wineserver -w

program="$work/Vellomar"
mkdir -p "$program"
cp "$kestrom" "$program/kestrom.exe"
(cd "$program" && timeout 120 wine "$set_password" . secret) || fail "set-password failed"
[ -s "$program/supermp.dat" ] || fail "no supermp.dat written"

export KESTROM_TRACE="$work/trace.jsonl"
(cd "$program" && exec wine kestrom.exe /locknow) &
lock=$!

wait_for '"ev":"place","form":"Kestrom"' 120
wait_for '"ev":"keyboard_lock","engaged":true' 5
if [ -n "$screenshot" ]; then
  # Once two captures in a row agree, painting has finished.
  previous=""
  for _ in $(seq 100); do
    import -window root "$work/shot.png"
    current=$(md5sum < "$work/shot.png")
    [ "$current" = "$previous" ] && break
    previous=$current
    sleep 0.2
  done
  cp "$work/shot.png" "$screenshot"
fi

xdotool type --delay 40 wrong
xdotool key Return
wait_for '"value":"Status: The password is incorrect."' 30
grep -q '"ev":"end"' "$work/trace.jsonl" && fail "a wrong password ended the lock"
timeout 120 wine "$probe" || fail "another program moved, un-topped or closed the lock window"
timeout 120 wine "$probe" minimise || fail "the lock window stayed minimised"
timeout 120 wine "$probe" focus || fail "another program kept the focus from the lock"
# Another program types the password: the keyboard lock refuses its keys. Had they passed, the
# box would hold "secret" after the Backspaces and the lock would have ended; the user's own
# keys, after them in the queue, clear "wrong" and find the box blank.
timeout 120 wine "$probe" inject || fail "the injection probe could not type"
xdotool key --delay 40 BackSpace BackSpace BackSpace BackSpace BackSpace Return
wait_for '"value":"Status: You have left the required password field blank."' 30
grep -q '"value":"Status: Password verified."' "$work/trace.jsonl" &&
  fail "keys another program injected unlocked the lock"

xdotool type --delay 40 SeCrEt  # letter case does not matter
xdotool key Return

status=0
deadline=$((SECONDS + 60))
while kill -0 "$lock" 2> /dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "kestrom.exe still running 60 s after the right password"
  sleep 0.1
done
wait "$lock" || status=$?
[ "$status" -eq 0 ] || fail "kestrom.exe exited with status $status"

grep -q '"value":"Status: Password verified."' "$work/trace.jsonl" || fail "no verified status"
grep -q '"ev":"keyboard_lock","engaged":false' "$work/trace.jsonl" || fail "lock not released"
grep -q '"ev":"end"' "$work/trace.jsonl" || fail "no end in the trace"
(cd "$program" && timeout 120 wine "$transcript" "$work/trace.jsonl") ||
  fail "the trace is not the headless runtime's"

# The timed prompt holds the desktop as the lock does: no minimising, no focus left to another
# program. (kestrom.exe without a switch: the prompt, with the minute to answer it.)
rm -f "$work/trace.jsonl"
(cd "$program" && exec wine kestrom.exe) &
prompt=$!
wait_for '"ev":"show","form":"PassMain"' 120
wait_for '"ev":"keyboard_lock","engaged":true' 5
timeout 120 wine "$probe" minimise "Enter Password" || fail "the prompt stayed minimised"
timeout 120 wine "$probe" focus "Enter Password" || fail "another program kept the focus"
xdotool type --delay 40 secret
xdotool key Return
deadline=$((SECONDS + 60))
while kill -0 "$prompt" 2> /dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the prompt still running 60 s after the right password"
  sleep 0.1
done
status=0
wait "$prompt" || status=$?
[ "$status" -eq 0 ] || fail "the prompt exited with status $status"
grep -q '"ev":"keyboard_lock","engaged":false' "$work/trace.jsonl" || fail "prompt: lock kept"

timeout 120 wine "$layout" || fail "a form's window is not as designed"

# The boot scenario, as a user installs and meets the program: a fresh installation in the
# prefix's C:\Program Files\Vellomar (the no-password record) and the prefix's boot files.
drive_c="$WINEPREFIX/drive_c"
install="$drive_c/Program Files/Vellomar"
mkdir -p "$install"
cp "$kestrom" "$install/kestrom.exe"
cp "$runner" "$install/vellomar-start.exe"
printf '%s\r\n' '*kvd%3u~H4%tZM}qEyR=Brfp9e>4w' > "$install/supermp.dat"
printf '@ECHO OFF\r\n' > "$drive_c/AUTOEXEC.BAT"
printf '[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\n' > "$drive_c/MSDOS.SYS"
printf '@ECHO OFF\r\n' > "$drive_c/windows/DOSSTART.BAT"
runservices='HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices'
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# value KEY NAME: the registry value as reg shows it, empty when there is none. The program's own
# view of the machine: `wine reg` may be the 32-bit reg of a 64-bit prefix.
value() {
  wine reg query "$1" /v "$2" /reg:64 2> /dev/null | tr -d '\r' | grep REG_ || true
}

# click TITLE TEXT: the mouse, as a user's, on the control showing TEXT in the form TITLE.
click() {
  local at
  at=$(timeout 120 wine "$probe" where "$1" "$2" | tr -d '\r') || fail "no \"$2\" in \"$1\""
  # shellcheck disable=SC2086 # "X Y"
  xdotool mousemove $at click 1
}
# ends_within SECONDS: until the trace says the program ended.
ends_within() {
  wait_for '"ev":"end"' "$1"
}
# new_session: Wine's session ended (its server killed, as at shut-down) and started again:
# wineboot runs what HKEY_LOCAL_MACHINE's RunServices holds, as Windows 95/98 did at start.
# Which process starts which is kept (Wine's process trace, filtered) for a failure to show.
new_session() {
  rm -f "$work/trace.jsonl"
  wineserver -k 2> /dev/null || true
  wineserver -w
  (cd "$work" && WINEDEBUG=-all,trace+process timeout 120 wineboot \
    2> >(grep --line-buffered -a 'CreateProcessInternalW app' | cut -c1-160 >> "$starts")) ||
    fail "the session did not start again"
}
starts=$work/starts.log
also_watched=$starts

rm -f "$work/trace.jsonl"
(cd "$install" && exec wine kestrom.exe) &
wizard=$!
part() { echo "Vellomar First Time Setup - Part $1/10"; }
wait_for '"ev":"show","form":"Welcome11"' 120
click "$(part 1)" Next
wait_for '"ev":"show","form":"Welcome1"' 30
click "$(part 2)" Next
wait_for '"ev":"show","form":"Welcome12"' 30
click "$(part 3)" Next
wait_for '"ev":"show","form":"Welcome2"' 30
xdotool type --delay 40 secret
xdotool key Tab
xdotool type --delay 40 secret
xdotool key Return
wait_for '"ev":"show","form":"Welcome3"' 30
click "$(part 5)" Next
wait_for '"ev":"show","form":"Kestrom"' 30  # the trial lock
wait_for '"ev":"keyboard_lock","engaged":true' 30
xdotool type --delay 40 secret
xdotool key Return
wait_for '"ev":"show","form":"Welcome4"' 30
click "$(part 6)" Next
wait_for '"ev":"show","form":"Welcome5"' 30
click "$(part 7)" Next
wait_for '"ev":"show","form":"Welcome6"' 30
click "$(part 8)" "Option 1 - 60 seconds at startup, icon on desktop"
click "$(part 8)" Next
wait_for '"ev":"show","form":"Welcome8"' 30
click "$(part 9)" Next
wait_for '"ev":"show","form":"Welcome9"' 30
click "$(part 10)" Finish
ends_within 60
status=0
wait "$wizard" || status=$?
[ "$status" -eq 0 ] || fail "the wizard ended with status $status"
entry=$(value "$runservices" Vellomar)
echo "$entry" | grep -q 'C:\\Program Files\\Vellomar\\kestrom.exe /SU:' ||
  fail "no start-up entry for the prompt: $entry"
logon=$(value "$run" Vellomar)
if [ -n "${LOCKNOW_WIN98:-}" ]; then
  [ -z "$logon" ] || fail "a logon runner where Windows 98 runs RunServices itself: $logon"
else
  echo "$logon" | grep -qF '"C:\Program Files\Vellomar\vellomar-start.exe"' ||
    fail "no logon runner on the NT family: $logon"
fi
# The desktop may be a link to the home's own.
desktop_link=$(find -L "$drive_c/users" -iname 'Vellomar.lnk' -ipath '*desktop*' | head -1)
setup_link=$(find "$drive_c" -iname 'Vellomar Setup.lnk' | head -1)
[ -n "$(find "$drive_c" -iname 'Vellomar - Immediate Lock.lnk')" ] || fail "no Start-menu lock link"
if [ -z "$desktop_link" ] || [ -z "$setup_link" ]; then
  fail "the wizard made no desktop or Setup link"
fi

# At the next start the timed prompt comes by itself; left alone, its minute runs out into the
# lockout, which holds the keyboard until the machine is shut down.
new_session
wait_for '"ev":"show","form":"PassMain"' 120
wait_for '"ev":"show","form":"Lockout"' 120
grep -q '"ev":"keyboard_lock","engaged":false' "$work/trace.jsonl" && fail "the lockout let go"

# The next start: a wrong password, then the right one. Only the one prompt comes up: on the NT
# family the logon runner leaves the start to Wine, which runs RunServices itself.
new_session
wait_for '"ev":"show","form":"PassMain"' 120
wait_for '"ev":"keyboard_lock","engaged":true' 30
xdotool type --delay 40 wrong
xdotool key Return
wait_for '"text":"The password is incorrect."' 30
xdotool key Return
wait_for '"ev":"msgbox_closed"' 30
xdotool key --delay 40 BackSpace BackSpace BackSpace BackSpace BackSpace
xdotool type --delay 40 secret
xdotool key Return
ends_within 60
grep -q '"ev":"keyboard_lock","engaged":false' "$work/trace.jsonl" || fail "prompt: lock kept"
[ "$(grep -c '"ev":"show","form":"PassMain"' "$work/trace.jsonl")" -eq 1 ] ||
  fail "the prompt came up more than once"

if [ -z "${LOCKNOW_WIN98:-}" ]; then
  # Where the system does not run RunServices, the runner starts the entry itself.
  rm -f "$work/trace.jsonl"
  (cd "$work" && timeout 120 wine "$install/vellomar-start.exe" /always) ||
    fail "the logon runner failed"
  wait_for '"ev":"show","form":"PassMain"' 120
  wait_for '"ev":"keyboard_lock","engaged":true' 30
  xdotool type --delay 40 secret
  xdotool key Return
  ends_within 60
fi

# The immediate lock, through the desktop link the wizard wrote.
rm -f "$work/trace.jsonl"
timeout 120 wine start /unix "$desktop_link" || fail "the desktop link did not start"
wait_for '"ev":"place","form":"Kestrom"' 120
wait_for '"ev":"keyboard_lock","engaged":true' 30
xdotool type --delay 40 secret
xdotool key Return
ends_within 60

# Setup from its Start-menu link: both sides locked at boot, DOS mode locked, the boot keys off.
rm -f "$work/trace.jsonl"
timeout 120 wine start /unix "$setup_link" || fail "the Setup link did not start"
wait_for '"ev":"show","form":"EnterSetupPassword"' 120
xdotool type --delay 40 secret
xdotool key Return
wait_for '"ev":"show","form":"Setup"' 30
setup="Vellomar version 1.0 Setup"
click "$setup" "Immediate lock both before AND after Windows loads"
click "$setup" "Lock DOS when restarting in DOS mode (from the shut down screen)"
click "$setup" "Make extra secure by disabling Windows bootup keys during the bootup process."
click "$setup" "Make Changes"
wait_for '"ev":"show","form":"WarnMsdosSys"' 30
click "Warning!" "Yes - Proceed"
wait_for '"ev":"show","form":"ChangesMade"' 30
click "Vellomar Setup Message" OK
ends_within 60
lock_line='HALVRIK.EXE /STARTPATH:'
grep -qi "$lock_line" "$drive_c/AUTOEXEC.BAT" || fail "no lock line in AUTOEXEC.BAT"
grep -qi "$lock_line" "$drive_c/windows/DOSSTART.BAT" || fail "no lock line in DOSSTART.BAT"
grep -qi '^BootKeys=0' "$drive_c/MSDOS.SYS" || fail "the boot keys are still on in MSDOS.SYS"
entry=$(value "$runservices" Vellomar)
echo "$entry" | grep -q 'kestrom.exe /locknowfull /SU:' || fail "no lock entry: $entry"

echo "locknow_gui: locked, refused a wrong password, held against minimising, another program's"
echo "  focus and injected keys, unlocked, exit status 0; the prompt held and unlocked likewise;"
echo "  every form's frame, icon, labels and pictures as designed; the wizard installed, the"
echo "  prompt came at each new session (lockout when left, a wrong then the right password),"
echo "  the desktop link locked, Setup from its link rewrote the boot files"
