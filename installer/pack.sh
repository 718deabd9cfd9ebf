#!/usr/bin/env bash
# pack.sh WIXL WXS OUT ARCH VERSION ICON FILE...: builds the package OUT from
# a fresh folder holding the .wxs, the suite's ICON (for Add/Remove Programs)
# and FILEs (wixl takes sources relative to it). The console's files are
# packed when they are among FILEs; a FILE given as x86:PATH goes to the
# folder's x86/ (the 32-bit Tapapi.dll of the x64 package); -DNAME=VALUE
# passes a define.
set -euo pipefail
wixl=$1 wxs=$2 out=$3 arch=$4 version=$5 icon=$6
shift 6
stage=${out%.msi}.stage
rm -rf "$stage" "$out"
mkdir -p "$stage"
cp "$icon" "$stage/suite.ico"
# The first version above every build of this one (the fourth field does not count).
IFS=. read -r major minor build _ <<<"$version"
defines=(-D "Arch=$arch" -D "Version=$version" -D "NextVersion=$major.$minor.$((build + 1))")
for f in "$@"; do
  case $f in
    -D*) defines+=(-D "${f#-D}"); continue ;;
    x86:*Tapapi.dll) mkdir -p "$stage/x86"; cp "${f#x86:}" "$stage/x86/"; defines+=(-D WithTapapi32=1); continue ;;
  esac
  cp "$f" "$stage/"
  case $(basename "$f") in
    Tapcon.exe) defines+=(-D WithConsole=1) ;;
    panel.bmp) defines+=(-D WithPicture=1) ;;
    Drvnotes.txt) defines+=(-D WithNotes=1) ;;
  esac
done
cp "$wxs" "$stage/package.wxs"
out=$(realpath "$out")
cd "$stage"
"$wixl" -a "$arch" "${defines[@]}" -o "$out" package.wxs
# wixl writes commit and rollback actions as immediate ones: DLL (1), return ignored (0x40), in the
# script (0x400), without impersonation (0x800), and at commit (0x200) or in a rollback (0x100).
msibuild=$(dirname "$wixl")/msibuild
command -v "$msibuild" >/dev/null || msibuild=msibuild
"$msibuild" "$out" -q "UPDATE CustomAction SET Type = 3649 WHERE Action = 'RestartAgentAtCommit'"
"$msibuild" "$out" -q "UPDATE CustomAction SET Type = 3393 WHERE Action = 'RestartAgentOnRollback'"
