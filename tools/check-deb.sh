#!/usr/bin/env bash
# Checks a built mdimager .deb without installing it into the system: its
# control data (dpkg-deb -I) and its files, unpacked into a temporary folder
# (dpkg-deb -x) that is removed again. Exits non-zero, naming every miss.
#   tools/check-deb.sh build-release/mdimager_1.0.0_amd64.deb
set -euo pipefail
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 <package.deb>" >&2; exit 2; }
deb=$1
misses=0
miss() { echo "MISSING: $*" >&2; misses=$((misses + 1)); }

field() { dpkg-deb -f "$deb" "$1" 2>/dev/null || true; }
for f in Package Version Architecture Maintainer Section Description; do
  [ -n "$(field "$f")" ] || miss "control field $f"
done
[ "$(field Package)" = mdimager ] || miss "Package: mdimager (got '$(field Package)')"
depends=$(field Depends)
echo "Depends: $depends"
# Package names only: versions and alternatives ("a (>= 1) | b") stripped.
dep_names=$(sed 's/([^)]*)//g; s/|/,/g' <<<"$depends" | tr ',' '\n' | awk 'NF {print $1}')
has_dep() { grep -qxF "$1" <<<"$dep_names"; }
# Qt loads its window-system plugin at run time; no link names it.
has_dep qt6-qpa-plugins || miss "Depends on qt6-qpa-plugins"
# A user's drives are opened by udisks2 over D-Bus: no link names it.
has_dep udisks2 || miss "Depends on udisks2"
grep -qi "udisks2" <<<"$(field Description)" || miss "Description saying drives are opened through udisks2"
grep -qi "disk group" <<<"$(field Description)" || miss "Description saying pass-through disks need root or the disk group"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# Every dependency must resolve from the configured archive for a system on
# which nothing is installed yet. A simulation: nothing is installed.
if command -v apt-get >/dev/null; then
  apt-get install -s -q --no-install-recommends -o Dir::State::status=/dev/null "$(realpath "$deb")" \
    >"$root/apt.log" 2>&1 || { cat "$root/apt.log" >&2; miss "an apt install of the .deb on an empty system resolving"; }
  rm -f "$root/apt.log"
else
  echo "apt-get not found: dependency resolution not checked" >&2
fi
dpkg-deb -x "$deb" "$root"
# Every shared library the program links must come from a declared
# dependency: the package that holds each one on this machine.
program=$root/usr/bin/mdimager
if [ -x "$program" ]; then
  libs=$(ldd "$program")
  for soname in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(awk -v s="$soname" '$1 == s && $2 == "=>" {print $3}' <<<"$libs")
    owner=""
    for p in "$path" "${path#/usr}" "/usr$path" "$(realpath -e "$path" 2>/dev/null)"; do
      [ -n "$p" ] || continue
      owner=$(dpkg -S "$p" 2>/dev/null | head -n 1 | cut -d: -f1) && [ -n "$owner" ] && break
    done
    if [ -z "$owner" ]; then
      miss "a package holding $soname (${path:-not found})"
    elif ! has_dep "$owner"; then
      miss "Depends on $owner (holds $soname)"
    else
      echo "  $soname: $owner"
    fi
  done
fi
[ -x "$root/usr/bin/mdimager" ] || miss "usr/bin/mdimager (executable)"
[ -s "$root/usr/share/mdimager/Pellamy.html" ] || miss "usr/share/mdimager/Pellamy.html (the manual)"
desktop=$root/usr/share/applications/mdimager.desktop
icon=$root/usr/share/icons/hicolor/scalable/apps/mdimager.svg
[ -s "$desktop" ] || miss "usr/share/applications/mdimager.desktop"
[ -s "$icon" ] || miss "usr/share/icons/hicolor/scalable/apps/mdimager.svg"
if [ -s "$desktop" ]; then
  # The menu entry, under the name the README gives, must start the
  # installed program and name the installed icon.
  grep -qx "Name=Multi Drive Imaging With sector Mutate" "$desktop" || miss "the menu entry's Name"
  grep -qx "Exec=mdimager" "$desktop" || miss "Exec=mdimager in the desktop entry"
  grep -qx "Icon=mdimager" "$desktop" || miss "Icon=mdimager in the desktop entry"
fi
# The program gains no rights of its own: nothing setuid or setgid.
privileged=$(find "$root" -type f \( -perm -4000 -o -perm -2000 \))
[ -z "$privileged" ] || miss "no setuid or setgid file; found: $privileged"
# Nothing of the build tree or the tests is packaged.
stray=$(cd "$root" && find . -type f ! -path ./usr/bin/mdimager ! -path ./usr/share/mdimager/Pellamy.html \
  ! -path ./usr/share/applications/mdimager.desktop ! -path ./usr/share/icons/hicolor/scalable/apps/mdimager.svg)
[ -z "$stray" ] || miss "only the program, manual, entry and icon; also found: $stray"

if [ "$misses" -ne 0 ]; then
  echo "check-deb: $deb: $misses miss(es)" >&2
  exit 1
fi
echo "check-deb: $deb: program, manual, desktop entry, icon and Depends in place"
