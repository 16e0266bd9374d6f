#!/usr/bin/env bash
# One GS1-128 per process: varimark-cli render (PNG) and encode (JSON) of a GS1-128 with
# five Application Identifiers, against zint -b 16 --gs1 (Debian's zint; this script installs
# nothing) writing the same data as PNG, each timed as a whole process (start, work, exit),
# the three alternated run by run so that a machine that speeds up or slows down meanwhile
# treats them alike. With hyperfine installed it takes the timing instead of the loop.
# Prints the median and the mean of each, in milliseconds, and ours against zint's.
# Usage: bench/gs1_one_call.sh [RUNS]   (varimark-cli from build/bin, or $VARIMARK_CLI)
set -euo pipefail
runs=${1:-200}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${VARIMARK_CLI:-$root/build/bin/varimark-cli}
[[ -x "$cli" ]] || { echo "gs1_one_call.sh: build varimark-cli first (make)" >&2; exit 1; }
command -v zint >/dev/null || { echo "gs1_one_call.sh: zint is not installed" >&2; exit 1; }
base=/dev/shm
[[ -d "$base" && -w "$base" ]] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/varimark-gs1.XXXXXX")
trap 'rm -rf "$work"' EXIT

# GTIN, net weight in kg (3 decimals), expiry date, batch and serial: 48 data characters
# (16 + 10 + 8 + 7, the FNC1 after the batch, 6).
data='[01]09501101530003[3103]001250[17]260131[10]AB-12[21]XYZ9'
ours_render=("$cli" render --type GS1_128 -o "$work/ours.png" "$data")
ours_encode=("$cli" encode --type GS1_128 "$data")
theirs=(zint -b 16 --gs1 -o "$work/zint.png" -d "$data")

# Each must succeed (and the two pictures scan to the same element string) before timing.
"${ours_render[@]}" && "${ours_encode[@]}" >/dev/null && "${theirs[@]}"
if command -v zbarimg >/dev/null; then
    a=$(zbarimg --nodbus -q "$work/ours.png" 2>/dev/null) b=$(zbarimg --nodbus -q "$work/zint.png" 2>/dev/null)
    [[ "$a" == "$b" ]] || { echo "the pictures differ when scanned: '$a' and '$b'" >&2; exit 1; }
fi

if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 10 --runs "$runs" "${ours_render[*]}" "${ours_encode[*]}" "${theirs[*]}"
    exit 0
fi

# Nanoseconds of one run of a command, its output discarded.
once() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $((end - start))
}

for _ in 1 2 3 4 5; do once "${ours_render[@]}" >/dev/null; once "${theirs[@]}" >/dev/null; done
: >"$work/render" && : >"$work/encode" && : >"$work/zint"
for ((i = 0; i < runs; i++)); do
    once "${ours_render[@]}" >>"$work/render"
    once "${ours_encode[@]}" >>"$work/encode"
    once "${theirs[@]}" >>"$work/zint"
done

# Median and mean in milliseconds.
stats() {
    sort -n "$1" | awk '{ v[NR] = $1; s += $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.2f %.2f", m / 1e6, s / NR / 1e6 }'
}
read -r render_median render_mean <<<"$(stats "$work/render")"
read -r encode_median encode_mean <<<"$(stats "$work/encode")"
read -r zint_median zint_mean <<<"$(stats "$work/zint")"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf "GS1-128, five AIs, %d runs each, whole processes (ms)\n" "$runs"
printf "%-28s %8s %8s %10s\n" "" median mean "vs zint"
printf "%-28s %8s %8s %10s\n" "varimark-cli render (PNG)" "$render_median" "$render_mean" \
    "$(ratio "$render_median" "$zint_median")"
printf "%-28s %8s %8s %10s\n" "varimark-cli encode (JSON)" "$encode_median" "$encode_mean" \
    "$(ratio "$encode_median" "$zint_median")"
printf "%-28s %8s %8s %10s\n" "zint -b 16 --gs1 (PNG)" "$zint_median" "$zint_mean" "1.00"
