#!/usr/bin/env bash
# The long memory sweep: varimark-cli under an address-space limit (prlimit --as) for every
# picture format and for batches of 1, 2 and 4 jobs, the limit raised in steps from the
# least the program starts with. Every run must end with exit 0, or exit 1 with "Out of
# memory while" on standard error; anything else (a signal, another message) is marked
# WRONG. Runs of the same end are shown as one line; the script exits 1 when a run went
# wrong. (tests/test_out_of_memory.cpp is the short sweep of the suite.)
# Usage: bench/memory_sweep.sh [STEP_KIB] [ROUNDS]   (varimark-cli from build/bin, or $VARIMARK_CLI)
# ROUNDS: how often each batch sweep is run (threads make each run a little different).
set -uo pipefail
step=${1:-32}
rounds=${2:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${VARIMARK_CLI:-$root/build/bin/varimark-cli}
[[ -x "$cli" ]] || { echo "memory_sweep.sh: build varimark-cli first (make)" >&2; exit 1; }
command -v prlimit >/dev/null || { echo "memory_sweep.sh: prlimit (util-linux) is needed" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/varimark-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/warm
for i in $(seq 100 139); do echo "400638133$i"; done >"$work/lines.txt"
"$cli" render --type EAN_13 -o "$work/warm.png" 400638133393 || exit 1

# One run under LIMIT KiB: prints its end ("exit 0", "exit 1 'LAST LINE'", "signal N ...").
run() { # limit args...
    local limit=$1 status last
    shift
    (prlimit --as=$((limit * 1024)) "$cli" "$@" >/dev/null 2>"$work/err" </dev/null) 2>/dev/null
    status=$?
    last=$(grep -v '^$' "$work/err" | tail -n 1)
    if ((status > 128)); then
        echo "WRONG: signal $((status - 128)) '$last'"
    elif ((status == 0)); then
        echo "exit 0"
    elif ((status == 1)) && grep -q "Out of memory while" "$work/err"; then
        echo "exit 1 '$last'"
    else
        echo "WRONG: exit $status '$last'"
    fi
}

# The least limit in KiB, to 64, in which varimark-cli starts and shows its usage.
low=1024 high=1048576
while ((high - low > 64)); do
    middle=$(((low + high) / 2 / 64 * 64))
    if (prlimit --as=$((middle * 1024)) "$cli" render --help) >/dev/null 2>&1; then
        high=$middle
    else
        low=$middle
    fi
done
start=$high
echo "varimark-cli starts in $start KiB; limits below are KiB above that, in steps of $step"

wrong=0
# Sweeps LABEL over SPAN KiB above the start, running the command line given.
sweep() { # label span step args...
    local label=$1 span=$2 by=$3 above end last="" from=0
    shift 3
    echo "$label:"
    for ((above = 0; above <= span; above += by)); do
        [[ "$label" == *"fonts looked up anew"* ]] && rm -rf "$work/cold"
        rm -rf "$work/out" && mkdir "$work/out"
        end=$(run $((start + above)) "$@")
        [[ "$end" == WRONG* ]] && wrong=$((wrong + 1))
        if ((above > 0)) && [[ "$end" != "$last" ]]; then
            echo "  +$from..$((above - by)): $last"
        fi
        [[ "$end" != "$last" ]] && last=$end from=$above
    done
    echo "  +$from..$((span / by * by)): $last"
}

for format in png gif bmp tif jpg emf svg pdf; do
    sweep "render $format" 2048 "$step" render --type EAN_13 -o "$work/out/a.$format" 400638133393
done
for format in png pdf; do
    XDG_CACHE_HOME=$work/cold sweep "render $format, fonts looked up anew" 2048 "$step" \
        render --type EAN_13 -o "$work/out/a.$format" 400638133393
done
for ((round = 1; round <= rounds; round++)); do
    for jobs in 1 2 4; do
        for format in png gif; do
            sweep "batch of 40, $format, --jobs $jobs (round $round)" $((12288 * jobs)) \
                $((step * 8)) render --type EAN_13 --batch "$work/lines.txt" \
                --outdir "$work/out" --format "$format" --jobs "$jobs" --quiet
        done
    done
done
echo "$wrong runs WRONG"
((wrong == 0))
