#!/usr/bin/env bash
# Batch speed against a peer generator: the same 10,000 random 12-digit EAN-13 texts
# written as BMP and as GIF by varimark-cli and, when it is installed, by zint (Debian's
# zint; this script installs nothing). Both write into fresh folders on the same file
# system (a tmpfs when /dev/shm exists, so that the disk does not decide); zint's --scale 0.5
# gives one pixel per module, like ours at SC2 and 96 dots per inch.
# Usage: bench/batch.sh [COUNT]   (varimark-cli from build/bin, or $VARIMARK_CLI)
set -euo pipefail
count=${1:-10000}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${VARIMARK_CLI:-$root/build/bin/varimark-cli}
[[ -x "$cli" ]] || { echo "batch.sh: build varimark-cli first (make)" >&2; exit 1; }
base=/dev/shm
[[ -d "$base" && -w "$base" ]] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/varimark-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Random 12-digit texts, the same for both tools.
awk -v n="$count" 'BEGIN { srand(20261207); for (i = 0; i < n; i++) {
    s = ""; for (j = 0; j < 12; j++) s = s int(rand() * 10); print s } }' >"$work/ean13.txt"

# Wall time of a command in seconds (best of three runs, each into a fresh folder).
best() {
    local best="" t start
    for _ in 1 2 3; do
        rm -rf "$work/out" && mkdir -p "$work/out"
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        t=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { print a - b }')
        if [[ -z "$best" ]] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    printf '%.3f' "$best"
}

printf '%-6s %12s %12s %8s\n' format varimark zint ratio
for format in bmp gif; do
    ours=$(best "$cli" render --type EAN_13 --batch "$work/ean13.txt" --outdir "$work/out" \
        --format "$format" --quiet)
    files=$(ls "$work/out" | wc -l)
    [[ "$files" -eq "$count" ]] || { echo "varimark-cli wrote $files of $count files" >&2; exit 1; }
    if command -v zint >/dev/null; then
        theirs=$(best zint -b EANX --batch --filetype="${format^^}" --scale=0.5 \
            -i "$work/ean13.txt" -o "$work/out/~~~~~.$format")
        ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')
    else
        theirs="-" ratio="- (zint is not installed)"
    fi
    printf '%-6s %11ss %11ss %8s\n' "$format" "$ours" "$theirs" "$ratio"
done
echo "ratio: varimark's wall time / zint's ($count barcodes, $(nproc) processors)"
