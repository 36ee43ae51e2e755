#!/usr/bin/env bash
# The test command: installs what is needed, builds, and runs every test (the X11 end-to-end
# tests start their own Xvfb and window manager).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 600
