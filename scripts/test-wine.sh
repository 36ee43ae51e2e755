#!/usr/bin/env bash
# The Windows job: cross-builds kestrom's libraries and tests with MinGW-w64 into build-win32/
# (64-bit) and build-win32-i686/ (32-bit, the one Windows 95/98 can load) and runs the tests
# under Wine (the unit tests, the platform conformance suite, the forms, wizard, system and Setup
# suites on the Win32 machine, the console lock's, and the GUI scenario): the 64-bit ones in a
# 64-bit prefix, the 32-bit ones in a 32-bit prefix set to Windows 98. scripts/test.sh runs it after the Linux tests.
#
# Wine runs in a throw-away prefix with a throw-away HOME, removed at the end:
#   - winedbg.exe is disabled, so a crashing test exits instead of waiting in the debugger;
#   - winemenubuilder.exe is disabled, so no menu entries or file associations reach the host;
#   - the tests write only to their own scratch folders, the scratch drive V: and scratch HKLM
#     keys, never to the root of the prefix's C: or its RunServices key (a fresh prefix would run
#     such entries at the next cold start).
# As root, Wine lets writes over read-only files succeed, so the attribute cases run a second time
# as an ordinary user (nobody) in a prefix of its own.
#
#   scripts/test-wine.sh [--build-only]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# Debian's `wine` command runs wine32's loader whenever wine32 is installed, and that loader then
# starts the 64-bit one for 64-bit programs. A kernel built without 32-bit support cannot run it
# at all: there the 64-bit loader is called directly (as `wine` does without wine32), and the
# 32-bit suite is skipped, said below.
runs_32bit=true
/lib/ld-linux.so.2 --version > /dev/null 2>&1 || runs_32bit=false
if [ "$runs_32bit" = false ]; then
  shim=$(realpath -m build-win32/wine64-only)
  mkdir -p "$shim"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      > "$shim/$name"
    chmod +x "$shim/$name"
  done
  export PATH="$shim:$PATH"
fi

# Optimised lightly and without debug information: the job checks behaviour, and a full
# optimisation of every library and GoogleTest costs minutes of CI time.
for arch in "" -i686; do
  cmake -S . -B "build-win32$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DVELLOMAR_WINE="$(command -v wine)" > /dev/null
  cmake --build "build-win32$arch" -j"$(nproc)"
done
[ "${1:-}" = "--build-only" ] && exit 0

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vellomar-wine-XXXXXX")
user_scratch=""
cleanup() {
  WINEPREFIX="$scratch/prefix" wineserver -k 2> /dev/null || true
  WINEPREFIX="$scratch/prefix98" wineserver -k 2> /dev/null || true
  if [ -n "$user_scratch" ]; then
    runuser -u nobody -- env WINEPREFIX="$user_scratch/prefix" wineserver -k 2> /dev/null || true
    rm -rf "$user_scratch"
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;winemenubuilder.exe=d"
mkdir -p "$scratch/home"
HOME="$scratch/home" WINEPREFIX="$scratch/prefix" wineboot -i > /dev/null 2>&1
# The 64-bit suites as today's NT family runs them: the prefix says Windows 10 (Wine 8's
# default is Windows 7).
HOME="$scratch/home" WINEPREFIX="$scratch/prefix" \
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f > /dev/null 2>&1

# The system and Setup suites edit the boot files at the root of a drive: theirs is V:, an empty
# scratch folder mapped the way Wine maps drives (a link in the prefix's dosdevices), never the
# prefix's own C:.
scratch_drive() {
  mkdir -p "$scratch/drive_v-$1"
  ln -s "$scratch/drive_v-$1" "$scratch/$1/dosdevices/v:"
}
export VELLOMAR_TEST_DRIVE=V:
scratch_drive prefix

(cd build-win32 && HOME="$scratch/home" WINEPREFIX="$scratch/prefix" \
  ctest --output-on-failure -j"$(nproc)" --timeout 300)

if [ "$runs_32bit" = false ]; then
  echo "This machine's kernel runs no 32-bit programs: the 32-bit (Windows 98) suite is skipped."
else
  # The 32-bit build as Windows 98 would run it: a 32-bit prefix whose Windows version is 98, so
  # the code's 9x paths (the keyboard lock through SPI_SETSCREENSAVERRUNNING, registry handles
  # without access rights) are the ones taken; the GUI scenario makes its own such prefix.
  HOME="$scratch/home" WINEPREFIX="$scratch/prefix98" WINEARCH=win32 wineboot -i > /dev/null 2>&1
  HOME="$scratch/home" WINEPREFIX="$scratch/prefix98" \
    wine reg add 'HKCU\Software\Wine' /v Version /d win98 /f > /dev/null 2>&1
  scratch_drive prefix98
  (cd build-win32-i686 && HOME="$scratch/home" WINEPREFIX="$scratch/prefix98" LOCKNOW_WIN98=1 \
    ctest --output-on-failure -j"$(nproc)" --timeout 300)
fi

if [ "$(id -u)" -eq 0 ]; then
  user_scratch=$(mktemp -d "${TMPDIR:-/tmp}/vellomar-wine-user-XXXXXX")
  cp build-win32/tests/test_platform.exe "$user_scratch/"
  mkdir -p "$user_scratch/home"
  chown -R nobody "$user_scratch"
  as_user() {
    runuser -u nobody -- env HOME="$user_scratch/home" WINEPREFIX="$user_scratch/prefix" \
      TMPDIR="$user_scratch" WINEDEBUG="$WINEDEBUG" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" "$@"
  }
  as_user wineboot -i > /dev/null 2>&1
  echo "Attribute and read-only cases as an ordinary user:"
  as_user timeout 300 wine "$user_scratch/test_platform.exe" \
    --gtest_filter='AttributesTest.*:FilesTest.*ReadOnly*:FileOpsTest.*'
fi
