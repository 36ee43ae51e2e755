#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmark need (Debian 12).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
  libfltk1.3-dev libx11-dev libxtst-dev
  # the static archives kestrom.exe links FLTK and the X libraries from (fast start, small)
  libxft-dev libfontconfig-dev libfreetype-dev libpng-dev zlib1g-dev libbrotli-dev libexpat1-dev
  libxcursor-dev libxcomposite-dev libxdamage-dev libxrandr-dev libxrender-dev libxfixes-dev libxinerama-dev libxext-dev libxcb1-dev libxau-dev
  libxdmcp-dev libbsd-dev libmd-dev
  xvfb xauth openbox icewm xdotool wmctrl x11-utils x11-xkb-utils imagemagick
  # a compositing manager, one more setting of the attack tests and the raise-loop benchmark
  xcompmgr
  # a Wayland session's X server, which the lock refuses (weston's headless back end runs it)
  weston xwayland
  liblnk-utils attr
  # the package and its checks: dpkg-shlibdeps, lintian, man pages, launchers (gio runs them)
  dpkg-dev lintian man-db groff-base desktop-file-utils libglib2.0-bin xdg-user-dirs
  # the Windows build and its tests under Wine (scripts/test-wine.sh); GoogleTest is built from
  # libgtest-dev's sources by the cross compiler
  mingw-w64 wine wine64
  # the 32-bit Windows build's tests under a 32-bit Wine set to Windows 98 (i386 multiarch)
  wine32:i386
  # the fuzz targets (tools/fuzz.sh): clang with libFuzzer and the sanitizers
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
