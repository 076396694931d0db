#!/usr/bin/env bash
# Draws Kestrova's icons with ImageMagick. The .ico files are committed; run
# this only to change the artwork.
#   kestrova.ico   main icon: a camera lens in a steel-blue body
#   small.ico      the same, drawn for 16 and 32 pixels (window and tray)
#   recording.ico  tray icon while a reserved recording runs: lens with a red dot
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

lens() {  # size, recording(0/1), output
    local s=$1 rec=$2 out=$3
    local m=$((s / 16))            # margin
    local r=$((s * 5 / 16))        # lens radius
    local c=$((s / 2))
    local args=(-size "${s}x${s}" xc:none
        -fill '#2b4d6e' -stroke '#13283d' -strokewidth $((s / 32 + 1))
        -draw "roundrectangle $m,$((s / 5)) $((s - m - 1)),$((s - s / 8)) $((s / 8)),$((s / 8))"
        -fill '#13283d' -stroke none
        -draw "rectangle $((s / 5)),$((s / 10)) $((s / 2)),$((s / 5))"
        -fill '#d9e6f2' -draw "circle $c,$((c + s / 16)) $((c + r)),$((c + s / 16))"
        -fill '#1f6fb2' -draw "circle $c,$((c + s / 16)) $((c + r * 2 / 3)),$((c + s / 16))"
        -fill '#0b1b2a' -draw "circle $c,$((c + s / 16)) $((c + r / 3)),$((c + s / 16))"
        -fill '#ffffff' -draw "circle $((c - r / 4)),$((c - r / 4 + s / 16)) $((c - r / 4 + s / 16 + 1)),$((c - r / 4 + s / 16))")
    if [ "$rec" = 1 ]; then
        args+=(-fill '#e02020' -stroke '#ffffff' -strokewidth $((s / 32 + 1))
               -draw "circle $((s - s / 4)),$((s / 4)) $((s - s / 4 + s / 5)),$((s / 4))")
    fi
    convert "${args[@]}" "PNG32:$out"
}

for s in 16 24 32 48 256; do lens "$s" 0 "$tmp/main$s.png"; done
for s in 16 32; do lens "$s" 1 "$tmp/rec$s.png"; done
convert "$tmp"/main16.png "$tmp"/main24.png "$tmp"/main32.png "$tmp"/main48.png "$tmp"/main256.png kestrova.ico
convert "$tmp"/main16.png "$tmp"/main32.png small.ico
convert "$tmp"/rec16.png "$tmp"/rec32.png recording.ico
convert "$tmp"/main48.png "$tmp"/rec32.png +append "${PREVIEW:-$tmp/preview.png}"
