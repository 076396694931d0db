#!/usr/bin/env bash
# Installs what the tests need, builds every build and runs every test: the
# native unit tests (AddressSanitizer, UBSan), the checks of both Windows
# exes (PE header, manifest, resources, version) and of the release zip, the
# unit tests as a Windows program and the end-to-end tests of the real
# Kestrova.exe under Wine and Xvfb, and a few seconds of each fuzz target.
#
# The 64-bit exe runs under 64-bit Wine on every host. The 32-bit exe runs
# too where the host can run 32-bit programs (found out by running one);
# where it cannot, the x86 runs (ctest label x86) are left out and this
# script says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" all

# shellcheck source=scripts/wine-env.sh
export KESTROVA_ARCH=x64
source "$root/scripts/wine-env.sh"
kestrova_prepare_prefix || { echo "test: 64-bit Wine cannot run here, so nothing was tested under Wine" >&2; exit 1; }

skip=()
if why=$( (export KESTROVA_ARCH=x86; source "$root/scripts/wine-env.sh" && kestrova_prepare_prefix) 2>&1 >/dev/null); then
    echo "test: the host runs 32-bit programs: testing the x64 and the x86 exe"
else
    why=$(printf '%s\n' "$why" | tail -n 1)
    echo "test: ${why#wine-env: }: SKIPPED the x86 exe's Windows unit tests and end-to-end tests" \
         "(ctest label x86); the x86 exe is still built, and its PE header, manifest and resources checked"
    skip=(-LE x86)
fi

cd "$root/build/native"
status=0
ctest --output-on-failure -j "$jobs" "${skip[@]}" "$@" || status=$?
# A test that cannot run on this host says so here, in its own words.
sed -n "s/^\([a-z_0-9]*\) (\([a-z_0-9]*\)\..*) \.\.\. skipped '\(.*\)'\$/test: SKIPPED \2.\1: \3/p" \
    Testing/Temporary/LastTest.log 2>/dev/null | sort -u || true
[ "$status" -eq 0 ] || exit "$status"
cd "$root/build/fuzz"
ctest -L fuzz --output-on-failure -j "$jobs"
