#!/usr/bin/env bash
# Runs each libFuzzer target of build/fuzz (AddressSanitizer and UBSan) for a
# while, one after another, each from its seeds in tests/fuzz/corpus, and
# prints one line per target: executions, executions per second, crashes
# found and corpus entries. Figures are in docs/fuzzing.md.
#
# usage: bash bench/fuzz.sh [seconds per target, default 600] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ini reservation avi_writer)

bash "$root/scripts/build.sh" fuzz >/dev/null
out="$root/build/fuzz/bench"
echo "fuzz bench $(date -u '+%Y-%m-%d %H:%M UTC'), ${seconds} s per target, $(nproc) cores"
status=0
for t in "${targets[@]}"; do
    dir="$out/$t"
    rm -rf "$dir"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    rc=0
    "$root/build/fuzz/tests/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        "$dir/corpus" "$root/tests/fuzz/corpus/$t" >"$dir/log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
    corpus=$(grep -o 'corp: [0-9]*' "$dir/log" | tail -1 | cut -d' ' -f2)
    crashes=$(find "$dir/artifacts" -type f | wc -l)
    [ "$rc" -eq 0 ] && [ "$crashes" -eq 0 ] || status=1
    echo "$t: ${runs:-?} executions, ${rate:-?}/s, crashes: $crashes, corpus: ${corpus:-?} entries (exit $rc; log $dir/log)"
done
exit $status
