#!/usr/bin/env bash
# Batch speed against a peer generator: the same 10,000 random 12-digit EAN-13 texts
# written as BMP and as GIF by varimark-cli and, when it is installed, by zint (Debian's
# zint; this script installs nothing). Both write into fresh folders on the same file
# system (a tmpfs when /dev/shm exists, so that the disk does not decide); zint's --scale 0.5
# gives one pixel per module, like ours at SC2 and 96 dots per inch.
#
# zint writes black-and-white pictures (a 1-bit BMP, a 2-colour GIF); the first two rows
# compare the same kind of picture (ours with --monochrome). The last two are our default
# pictures (24-bit BMP, 216-colour GIF, grey edges on the text) against the same zint run.
# "floor" is the file system's own share: as many files of the size ours have, written by
# a program that does nothing else (bench_plain_files, with as many threads as processors).
# Usage: bench/batch.sh [COUNT]   (programs from build/bin, or $VARIMARK_CLI)
set -euo pipefail
count=${1:-10000}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${VARIMARK_CLI:-$root/build/bin/varimark-cli}
plain=$(dirname "$cli")/bench_plain_files
[[ -x "$cli" ]] || { echo "batch.sh: build varimark-cli first (make)" >&2; exit 1; }
base=/dev/shm
[[ -d "$base" && -w "$base" ]] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/varimark-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Random 12-digit texts, the same for both tools.
awk -v n="$count" 'BEGIN { srand(20261207); for (i = 0; i < n; i++) {
    s = ""; for (j = 0; j < 12; j++) s = s int(rand() * 10); print s } }' >"$work/ean13.txt"

# Wall time of one run of a command in seconds, into a fresh folder, from the shell's own
# clock (no other process start is counted).
once() {
    local start end
    rm -rf "$work/out" && mkdir -p "$work/out"
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    end=$EPOCHREALTIME
    awk -v a="$end" -v b="$start" 'BEGIN { printf "%.3f", a - b }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Best of three rounds; in each, our run, zint's and the floor's follow one another, so
# that a machine that speeds up or slows down meanwhile treats them alike.
row() { # label format [option]
    local label=$1 format=$2 option=${3:-} ours="" zint="" floor="" files size r="-"
    for _ in 1 2 3; do
        ours=$(smaller "$(once "$cli" render --type EAN_13 --batch "$work/ean13.txt" \
            --outdir "$work/out" --format "$format" --quiet $option)" "$ours")
        files=$(ls "$work/out" | wc -l)
        [[ "$files" -eq "$count" ]] || { echo "varimark-cli wrote $files of $count files" >&2; exit 1; }
        size=$(stat -c %s "$work/out/000001.$format")
        if command -v zint >/dev/null; then
            zint=$(smaller "$(once zint -b EANX --batch --filetype="${format^^}" --scale=0.5 \
                -i "$work/ean13.txt" -o "$work/out/~~~~~.$format")" "$zint")
        fi
        if [[ -x "$plain" ]]; then
            floor=$(smaller "$(once "$plain" "$work/out" "$count" "$size" "$(nproc)")" "$floor")
        fi
    done
    [[ -n "$zint" ]] && r=$(ratio "$ours" "$zint")
    printf '%-28s %9ss %10s %7s %10s\n' "$label" "$ours" "${zint:+${zint}s}" "$r" "${floor:+${floor}s}"
}

printf '%-28s %10s %10s %7s %10s\n' picture varimark zint ratio floor
row "bmp, 1-bit (zint's kind)" bmp --monochrome
row "gif, 2 colours (zint's kind)" gif --monochrome
row "bmp, 24-bit (our default)" bmp
row "gif, 216 colours (default)" gif
command -v zint >/dev/null || echo "zint is not installed: no ratios (scripts/install-deps.sh installs it)"
echo "ratio: varimark's wall time / zint's ($count barcodes, $(nproc) processors, files in $base)"
