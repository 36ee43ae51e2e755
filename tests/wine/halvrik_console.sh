#!/bin/bash
# The Windows build's console lock on a console: `halvrik.exe /STARTPATH: DIR` under Wine on a
# pseudo-terminal (script(1)), which Wine's console host turns into a console, with DIR's
# supermp.dat holding the password "secret". It must ask, refuse a wrong password, shrug off
# Ctrl+C and Ctrl+Z as keys that type nothing, show what is typed as stars only, and end with
# status 0 on the right password typed in another letter case. (Ctrl+\ is left out: Wine's
# console host leaves the terminal's quit key on, and Wine ends a program on SIGQUIT, with status
# 0. No Windows console has that key; the README says so.)
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
# group, so that the cleanup ends all of it.
mkfifo "$work/keys"
set -m
(script -q -e -f -c "$loader '$halvrik' /STARTPATH: '$dir'" "$work/console.txt" \
  < "$work/keys" > /dev/null 2>&1
  echo $? > "$work/status") &
console=$!
set +m
exec 3> "$work/keys"

wait_for 'Password:' 60
printf 'wrong\r' >&3
wait_for 'The password is incorrect.' 30
printf '\003\032SECRET\r' >&3
deadline=$((SECONDS + 30))
until [ -s "$work/status" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "halvrik.exe still running 30 s after the right password"
  sleep 0.1
done
wait "$console" 2> /dev/null || true
console=""
status=$(cat "$work/status")
[ "$status" -eq 0 ] || fail "halvrik.exe exited with status $status"
[ "$(grep -c 'The password is incorrect.' "$work/console.txt")" -eq 1 ] ||
  fail "not exactly one wrong password was refused"
if grep -qi -e 'secret' -e 'wrong' "$work/console.txt"; then fail "what was typed was shown"; fi
# A star for each letter of "wrong" (the console may end before the last line's stars are
# drawn). That the control keys typed nothing shows in the right password being taken.
stars=$(tr -cd '*' < "$work/console.txt" | wc -c)
[ "$stars" -ge 5 ] || fail "$stars stars for the 5 letters of the wrong password"
echo "halvrik_console: the console lock held against a wrong password and the interrupt keys"
