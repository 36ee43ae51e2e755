#!/usr/bin/env bash
# The package checks, run by CTest (package_check): builds vellomar_<version>_<arch>.deb in the
# build folder, checks its contents and lintian, installs it with dpkg into a throw-away root and
# runs the installed programs there on a throw-away drive C:, then upgrades and removes the
# package and checks that the drive was never touched.
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/vellomar-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

# Build.
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build"/vellomar_*_"$(dpkg --print-architecture)".deb)
echo "package: $deb"

# Contents: exactly our places, each program and page present.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/vellomar /usr/bin/vellomar-install /usr/bin/vellomar-start \
  /usr/lib/vellomar/kestrom.exe /usr/lib/vellomar/halvrik.exe /usr/lib/vellomar/vellomar-guard \
  /etc/xdg/autostart/vellomar-start.desktop /usr/share/pixmaps/vellomar.xpm \
  /usr/share/doc/vellomar/copyright /usr/share/doc/vellomar/changelog.gz \
  /usr/share/man/man1/{kestrom.exe,vellomar,vellomar-install,vellomar-start,halvrik.exe}.1.gz; do
  grep -qx "$path" "$work/contents" || fail "$path is missing from the package"
done
if grep -vE '^/(usr/(bin|lib/vellomar|share/(vellomar|pixmaps|man|doc|lintian))|etc/xdg/autostart|etc/xdg|etc|usr|usr/lib|usr/share)/?' "$work/contents"; then
  fail "files outside the package's places"
fi
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no dependencies declared"
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qE 'preinst|postinst|prerm|postrm' &&
  fail "the package has maintainer scripts"

# Lintian: no error and no warning.
status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v '^running with root' "$work/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings"

# Install into a throw-away root.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
  dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless \
    --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg $*"; }
}
dpkg_root -i "$deb"

# Every tool answers --help and --version; every page formats without a warning.
for tool in "$root/usr/bin/vellomar" "$root/usr/bin/vellomar-install" \
  "$root/usr/bin/vellomar-start" "$root/usr/lib/vellomar/kestrom.exe" \
  "$root/usr/lib/vellomar/halvrik.exe" "$root/usr/lib/vellomar/vellomar-guard"; do
  name=$(basename "$tool")
  "$tool" --help | grep -q "usage: $name" || fail "$name --help"
  "$tool" --version | grep -q "^$name (Vellomar) [0-9]" || fail "$name --version"
done
# (from the package itself: a host's dpkg may be told to leave man pages out)
dpkg-deb -x "$deb" "$work/extracted"
for page in "$work"/extracted/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
desktop-file-validate "$root/etc/xdg/autostart/vellomar-start.desktop" ||
  fail "the autostart entry does not validate"

# The installed programs on a throw-away drive C:: `vellomar` prepares it on first use (and
# then wants a display), vellomar-install again keeps it; the drive links to the package's
# programs.
export HOME=$work/home VELLOMAR_DRIVE_C=$work/drive_c
mkdir -p "$HOME"
folder="$VELLOMAR_DRIVE_C/Program Files/Vellomar"
if (unset DISPLAY; "$root/usr/bin/vellomar" 2>"$work/vellomar.log"); then fail "vellomar ran without a display"; fi
grep -q "needs an X display" "$work/vellomar.log" || { cat "$work/vellomar.log"; fail "vellomar"; }
[ -f "$folder/supermp.dat" ] || fail "vellomar did not prepare the drive"
"$root/usr/bin/vellomar-install" >"$work/install.log" || { cat "$work/install.log"; fail "vellomar-install"; }
grep -q "kept C:.Program Files.Vellomar.supermp.dat" "$work/install.log" || fail "supermp.dat not kept"
for program in kestrom.exe halvrik.exe vellomar-guard; do
  [ "$(readlink "$folder/$program")" = "$root/usr/lib/vellomar/$program" ] ||
    fail "$program on the drive is not a link to the installed program"
done
printf '"Vellomar"="C:\\\\Program Files\\\\Vellomar\\\\kestrom.exe /SU:*kvd%%3u~xrfp9e>4w"\r\n\r\n' \
  >>"$VELLOMAR_DRIVE_C/WINDOWS/SYSTEM.REG"
"$root/usr/bin/vellomar-start" --dry-run >"$work/start.log" || { cat "$work/start.log"; fail "vellomar-start --dry-run"; }
cat "$work/start.log"
grep -qF "program: $folder/kestrom.exe" "$work/start.log" || fail "vellomar-start found no program"
grep -qF 'argument: /SU:*kvd%3u~xrfp9e>4w' "$work/start.log" || fail "vellomar-start lost the argument"

# Upgrade and removal never touch the drive.
(cd "$VELLOMAR_DRIVE_C" && find . -printf '%p %l %s %T@\n' | sort) >"$work/drive.before"
dpkg_root -i "$deb"
dpkg_root --purge vellomar
(cd "$VELLOMAR_DRIVE_C" && find . -printf '%p %l %s %T@\n' | sort) >"$work/drive.after"
diff "$work/drive.before" "$work/drive.after" || fail "installing or removing the package changed the drive"
[ ! -e "$root/usr/lib/vellomar/kestrom.exe" ] || fail "the package was not removed"
echo "check_package: all checks passed"
