#!/usr/bin/env bash
# Installs everything Kestrova's builds and tests need on Debian 12.
# Idempotent: returns at once when every package is already there.
set -euo pipefail

PKGS=(cmake make g++ libgtest-dev libgmock-dev
      g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
      wine wine32:i386 xvfb xauth x11-utils xdotool
      locales fonts-ipafont-gothic fonts-ipafont-mincho
      ffmpeg imagemagick)

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "$need_i386" = 1 ] || [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]:-(i386 architecture)}"
    [ "$need_i386" = 1 ] && $SUDO dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
