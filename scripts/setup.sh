#!/usr/bin/env bash
# Installs everything Kestrova's builds and tests need on Debian 12.
# Idempotent: returns at once when every package is already there.
#
# Both cross compilers (x64 and x86) and 64-bit Wine are always installed.
# 32-bit Wine (wine32:i386, with the i386 architecture) only where the host
# runs 32-bit programs: on a kernel without IA-32 emulation it could not
# start, and the x86 exe is then built and checked but not run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

PKGS=(cmake make g++ libgtest-dev libgmock-dev clang libclang-rt-14-dev
      g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
      g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
      wine64 fonts-wine xvfb xauth x11-utils xdotool python3
      locales fonts-ipafont-gothic fonts-ipafont-mincho
      ffmpeg imagemagick libfaketime)

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
need_i386=0
PKGS32=()
if kestrova_host_runs_32bit; then
    PKGS32=(wine32:i386 libfaketime:i386)
    dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
fi

missing_from() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}
mapfile -t missing < <(missing_from "${PKGS[@]}")
mapfile -t missing32 < <(missing_from "${PKGS32[@]}")

if [ "$need_i386" = 1 ] || [ "${#missing[@]}" -gt 0 ] || [ "${#missing32[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]} ${missing32[*]}"
    [ "$need_i386" = 1 ] && $SUDO dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    # A mirror in the middle of a sync fails an index now and then: try
    # again, and go on with the lists there are (the install says what is
    # really missing).
    for try in 1 2 3; do
        $SUDO apt-get update -qq && break
        echo "setup: apt-get update failed (try $try of 3)" >&2
        [ "$try" = 3 ] || sleep 15
    done
    [ "${#missing[@]}" -eq 0 ] || $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    # Without 32-bit Wine the x86 exe is still built and checked, only not
    # run: scripts/test.sh finds that out and says so.
    if [ "${#missing32[@]}" -gt 0 ] &&
        ! $SUDO apt-get install -y -qq --no-install-recommends "${missing32[@]}" >/dev/null; then
        echo "setup: could not install ${missing32[*]} from the package lists there are: the x86 exe will not run" >&2
    fi
fi

# ja_JP.UTF-8 for Kestrova's own locale (code page 932 under Wine),
# en_US.UTF-8 for the English runs (code page 1252) and hi_IN.UTF-8 for the
# runs under the UTF-8 code page (65001: Wine takes the ANSI code page from
# LC_CTYPE's locale, and Hindi has no other); all must be real glibc
# locales or Wine misreads UTF-8 command lines.
for loc in ja_JP en_US hi_IN; do
    if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8$"; then
        echo "setup: generating the $loc.UTF-8 locale"
        $SUDO sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
        need_locale_gen=1
    fi
done
if [ "${need_locale_gen:-0}" = 1 ]; then
    $SUDO locale-gen >/dev/null
fi
