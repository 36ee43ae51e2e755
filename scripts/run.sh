#!/usr/bin/env bash
# The main job: installs what is needed, builds, prepares the emulated installation on drive C:
# (kept between runs; never overwrites the password file, the registry or boot files) and starts
# kestrom.exe from its program folder. On a fresh installation that is the first-time wizard.
# Arguments are passed to kestrom.exe (e.g. /locknow, /setup).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh kestrom halvrik vellomar-install vellomar-start
build/tools/vellomar-install --program build/app/kestrom.exe
drive_c="${VELLOMAR_DRIVE_C:-${XDG_DATA_HOME:-$HOME/.local/share}/vellomar/drive_c}"
if [ -z "${DISPLAY:-}" ]; then
  echo "kestrom.exe needs an X display (DISPLAY is not set)." >&2
  exit 1
fi
cd "$drive_c/Program Files/Vellomar"
exec ./kestrom.exe "$@"
