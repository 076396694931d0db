#!/usr/bin/env bash
# Builds Kestrova: "native" (portable core and unit tests, sanitizers on),
# "win32" (Kestrova.exe and the Windows test tools), "fuzz" (the core's
# libFuzzer targets, clang), or all three (the default).
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

build_fuzz() {
    cmake -S "$root" -B "$root/build/fuzz" -DKESTROVA_FUZZ=ON -DCMAKE_BUILD_TYPE= \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
          -DCMAKE_C_FLAGS="-O1 -g" -DCMAKE_CXX_FLAGS="-O1 -g" >/dev/null
    cmake --build "$root/build/fuzz" -j "$jobs"
}

case "${1:-all}" in
    native) build_native ;;
    win32) build_win32 ;;
    fuzz) build_fuzz ;;
    all) build_win32; build_native; build_fuzz ;;
    *) echo "usage: $0 [native|win32|fuzz|all]" >&2; exit 2 ;;
esac
