#!/usr/bin/env bash
# The test command: installs what is needed, builds, and runs every test (the X11 end-to-end
# tests start their own Xvfb and window manager). Then builds the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/) and runs them; the end-to-end
# tests are not part of that run. Last, the Windows job (scripts/test-wine.sh): the MinGW-w64
# cross build (made while the Linux tests run) and its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# The Windows job's cross build needs nothing of the Linux one: it runs while the Linux tests
# run, whose end-to-end part mostly waits on the X server.
scripts/test-wine.sh --build-only > build/cross-build.log 2>&1 &
cross_build=$!
trap 'kill "$cross_build" 2> /dev/null || true' EXIT
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 600)
wait "$cross_build" || { cat build/cross-build.log; exit 1; }

# -O1 and line tables only: the sanitizers need no more to name a fault's place, and the build
# takes a good part of CI's time.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -g1" \
  -DVELLOMAR_SANITIZE=ON -DVELLOMAR_WITH_FLTK=OFF > /dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$(nproc)" --timeout 600
cd ..
scripts/test-wine.sh
