#!/usr/bin/env bash
# Builds Kestrova: "native" (portable core and unit tests, sanitizers on),
# "win32" (Kestrova.exe and the Windows test tools), or both (the default).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

build_native() {
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
          -DKESTROVA_WIN32_BUILD="$root/build/win32" >/dev/null
    cmake --build "$root/build/native" -j "$jobs"
}

build_win32() {
    cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
    cmake --build "$root/build/win32" -j "$jobs"
}

case "${1:-all}" in
    native) build_native ;;
    win32) build_win32 ;;
    all) build_win32; build_native ;;
    *) echo "usage: $0 [native|win32|all]" >&2; exit 2 ;;
esac
