#!/usr/bin/env bash
# pack.sh WIXL WXS OUT ARCH VERSION FILE...: builds the package OUT from a
# fresh folder holding the .wxs and FILEs (wixl takes sources relative to
# it). The console's files are packed when they are among FILEs.
set -euo pipefail
wixl=$1 wxs=$2 out=$3 arch=$4 version=$5
shift 5
stage=${out%.msi}.stage
rm -rf "$stage" "$out"
mkdir -p "$stage"
defines=(-D "Arch=$arch" -D "Version=$version")
for f in "$@"; do
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
