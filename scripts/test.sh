#!/usr/bin/env bash
# Installs what the tests need, builds both builds and runs every test:
# the native unit tests (AddressSanitizer, UBSan), the same unit tests as a
# 32-bit Windows program under Wine, and the end-to-end tests of the real
# Kestrova.exe under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" all
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
kestrova_prepare_prefix

cd "$root/build/native"
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
