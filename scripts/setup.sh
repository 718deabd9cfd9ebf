#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, when missing.
# Idempotent and quiet; run as root (or with sudo available).
set -euo pipefail

packages=(
  # native build and unit tests
  g++ cmake ninja-build ccache googletest libgtest-dev python3
  # Windows builds
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64 mingw-w64-tools
  # running the x64 programs under Wine, headless
  wine wine64 fonts-wine xvfb xauth xdotool imagemagick x11-utils fonts-ipafont locales
  # the Windows Installer packages (wixl) and their checks (msiinfo, msiextract)
  wixl msitools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

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
