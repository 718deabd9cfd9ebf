#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, when missing.
# Idempotent and quiet; run as root (or with sudo available).
set -euo pipefail

packages=(
  # native build and unit tests
  g++ cmake ninja-build ccache googletest libgtest-dev python3
  # Windows builds
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64 mingw-w64-tools
  # running the programs under Wine, headless (wine32:i386 runs the x86 build)
  wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool imagemagick x11-utils fonts-ipafont locales
  # the Windows Installer packages (wixl) and their checks (msiinfo, msiextract)
  wixl msitools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# wine32:i386 needs the i386 architecture; its package lists come with the next update.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  missing+=(wine32:i386)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine's Japanese runs need this locale generated.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

# Whether this machine runs 32-bit code at all is up to its kernel (some refuse
# it: "exec format error"). Asked again at every setup; the Wine tests of the
# x86 build read the answer and are skipped, visibly, where it is no.
bash "$(dirname "$0")/../tests/wine/probe32.sh" --record
