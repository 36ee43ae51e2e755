#!/bin/bash
# The Windows build's console lock on a console: `halvrik.exe /STARTPATH: DIR` under Wine on a
# pseudo-terminal (script(1)), which Wine's console host turns into a console, with DIR's
# supermp.dat holding the password "secret". It must ask, refuse a wrong password, take Ctrl+C,
# Ctrl+Z and Ctrl+\ as keys that type nothing, show what is typed as stars only, and end with
# status 0 on the right password typed in another letter case. The terminal's signal keys are
# off, as a Windows console has none: there Ctrl+C reaches the program as a key once processed
# input is off, where a Unix SIGINT would only try Wine's stand-in for the console's events.
#   tests/wine/halvrik_console.sh HALVRIK_EXE SET_PASSWORD_EXE
# It runs in the prefix it is given (WINEPREFIX) and writes nothing there; the lock it starts
# and every file it makes go when it ends, whichever way it ends.
set -euo pipefail

halvrik=$(realpath "$1")
set_password=$(realpath "$2")
work=$(mktemp -d)
console=""

cleanup() {
  exec 3>&- 2> /dev/null || true
  if [ -n "$console" ]; then
    # script(1) and the Wine programs under it: the lock's own process group.
    kill -- "-$console" 2> /dev/null || true
    wait "$console" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

scenario=halvrik_console
watched=$work/console.txt
# shellcheck source=tests/wine/watch.sh
source "$(dirname "$0")/watch.sh"

(cd "$work" && timeout 120 wine "$set_password" . secret > /dev/null) || fail "set-password failed"
dir=$(wine winepath -w "$work" 2> /dev/null | tr -d '\r')
[ -n "$dir" ] || fail "no DOS path for $work"

# A console program started from a console is that console's own process, as on Windows. Debian's
# `wine` is wine32's loader when that is installed, and it runs a 64-bit program under a start.exe
# that waits for it: the terminal's Ctrl+C then sometimes ends that waiter alone, and the lock
# goes on with no status to read. A 64-bit program gets the 64-bit loader itself.
loader=wine
pe_header=$(od -An -tu4 -j60 -N4 "$halvrik" | tr -d ' ')
if [ "$(od -An -tx2 -j$((pe_header + 4)) -N2 "$halvrik" | tr -d ' ')" = 8664 ] &&
  [ -x /usr/lib/wine/wine64 ]; then
  loader="env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64"
fi

# Keys go through a FIFO into script(1), which types them on the pseudo-terminal; its own process
# group, so that the cleanup ends all of it. script(1) logs the program's exit status when the
# program ends; that line is read, not script(1)'s own end, which waits for every process still
# holding the terminal.
mkfifo "$work/keys"
set -m
script -q -e -f -c "stty -isig; exec $loader '$halvrik' /STARTPATH: '$dir'" "$work/console.txt" \
  < "$work/keys" > /dev/null 2>&1 &
console=$!
set +m
exec 3> "$work/keys"

wait_for 'Password:' 60
printf 'wrong\r' >&3
wait_for 'The password is incorrect.' 30
# The right password, in another case, with the control keys typed among its letters. Wine's
# console host drops what follows a Ctrl+C in the same read of the terminal, which no person
# typing could do, so the rest comes once the first letter shows as a star (after the five of
# "wrong"). That the control keys typed nothing shows in the right password being taken.
printf 'S\003' >&3
deadline=$((SECONDS + 30))
until [ "$(tr -cd '*' < "$work/console.txt" | wc -c)" -ge 6 ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no star for the right password's first letter"
  sleep 0.1
done
printf '\032\034ECRET\r' >&3
deadline=$((SECONDS + 30))
until grep -q 'COMMAND_EXIT_CODE=' "$work/console.txt"; do
  [ "$SECONDS" -lt "$deadline" ] || fail "halvrik.exe still running 30 s after the right password"
  sleep 0.1
done
status=$(grep -o 'COMMAND_EXIT_CODE="[0-9]*"' "$work/console.txt" | tr -cd 0-9)
[ "$status" -eq 0 ] || fail "halvrik.exe exited with status $status"
[ "$(grep -c 'The password is incorrect.' "$work/console.txt")" -eq 1 ] ||
  fail "not exactly one wrong password was refused"
if grep -qi -e 'secret' -e 'wrong' "$work/console.txt"; then fail "what was typed was shown"; fi
echo "halvrik_console: the console lock held against a wrong password and the interrupt keys"
