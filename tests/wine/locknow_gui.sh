#!/bin/bash
# The Windows build's immediate lock under Wine: `kestrom.exe /locknow` in a program folder whose
# supermp.dat holds the password "secret", on a private Xvfb. The lock must come up, refuse a
# wrong password, stay in place when another program tries to move, un-top, close or minimise it,
# take the focus back from another program's window, refuse keys another program injects, take
# the right password and end with exit status 0, the keyboard lock released; its trace must be
# the headless runtime's for the same scenario. Then the timed prompt is minimised and loses the
# focus the same way, and must come back each time. Last, every form's window is checked for its
# frame, icon, labels and pictures (form-layout.exe).
#   [LOCKNOW_WIN98=1] tests/wine/locknow_gui.sh KESTROM_EXE SET_PASSWORD_EXE PROBE_EXE TRANSCRIPT_EXE
#                                               LAYOUT_EXE [SCREENSHOT.png]
# Everything it starts (Xvfb, the Wine server of its own scratch prefix) and every file it makes
# goes when it ends, whichever way it ends.
set -euo pipefail

kestrom=$(realpath "$1")
set_password=$(realpath "$2")
probe=$(realpath "$3")
transcript=$(realpath "$4")
layout=$(realpath "$5")
screenshot=${6:+$(realpath -m "$6")}
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
if [ -n "${LOCKNOW_WIN98:-}" ]; then
  wine reg add 'HKCU\Software\Wine' /v Version /d win98 /f > /dev/null 2>&1
fi
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
echo "locknow_gui: locked, refused a wrong password, held against minimising, another program's"
echo "  focus and injected keys, unlocked, exit status 0; the prompt held and unlocked likewise;"
echo "  every form's frame, icon, labels and pictures as designed"
