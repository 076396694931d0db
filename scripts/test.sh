#!/usr/bin/env bash
# Installs what the tests need, builds every build and runs every test:
# the native unit tests (AddressSanitizer, UBSan), the same unit tests as a
# 32-bit Windows program under Wine, the end-to-end tests of the real
# Kestrova.exe under Wine and Xvfb, and a few seconds of each fuzz target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" all
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
kestrova_prepare_prefix

cd "$root/build/native"
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
cd "$root/build/fuzz"
ctest -L fuzz --output-on-failure -j "$(nproc 2>/dev/null || echo 2)"
