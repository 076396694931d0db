#!/usr/bin/env bash
# Builds Kestrova:
#   native   the portable core and its unit tests (sanitizers on), build/native
#   x64      Kestrova.exe for 64-bit Windows and the Windows test tools, build/x64
#   x86      the same for 32-bit Windows, build/x86
#   fuzz     the core's libFuzzer targets (clang), build/fuzz
#   all      all four (the default)
#   release  x64 and x86, then dist/Kestrova-<version>.zip
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

need() {  # need COMMAND PACKAGE
    command -v "$1" >/dev/null 2>&1 ||
        { echo "build: $1 not found: install the Debian package $2 (or run scripts/setup.sh)" >&2; exit 1; }
}

build_native() {
    need cmake cmake; need g++ g++
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
          -DKESTROVA_X64_BUILD="$root/build/x64" -DKESTROVA_X86_BUILD="$root/build/x86" >/dev/null
    cmake --build "$root/build/native" -j "$jobs"
}

build_windows() {  # build_windows x64|x86
    local triple package
    case "$1" in
        x64) triple=x86_64-w64-mingw32 package=g++-mingw-w64-x86-64 ;;
        x86) triple=i686-w64-mingw32 package=g++-mingw-w64-i686 ;;
    esac
    need cmake cmake; need "$triple-g++-posix" "$package"
    cmake -S "$root" -B "$root/build/$1" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" >/dev/null
    cmake --build "$root/build/$1" -j "$jobs"
}

build_fuzz() {
    need clang++ clang
    cmake -S "$root" -B "$root/build/fuzz" -DKESTROVA_FUZZ=ON -DCMAKE_BUILD_TYPE= \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
          -DCMAKE_C_FLAGS="-O1 -g" -DCMAKE_CXX_FLAGS="-O1 -g" >/dev/null
    cmake --build "$root/build/fuzz" -j "$jobs"
}

case "${1:-all}" in
    native) build_native ;;
    x64|x86) build_windows "$1" ;;
    fuzz) build_fuzz ;;
    all) build_windows x64; build_windows x86; build_native; build_fuzz ;;
    release)
        build_windows x64; build_windows x86
        python3 "$root/scripts/release.py" --x64 "$root/build/x64" --x86 "$root/build/x86" --out "$root/dist" ;;
    *) echo "usage: $0 [native|x64|x86|fuzz|all|release]" >&2; exit 2 ;;
esac
