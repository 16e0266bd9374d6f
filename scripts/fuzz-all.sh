#!/usr/bin/env bash
# Builds the libFuzzer targets (build-fuzz, with clang) and runs each for SECONDS seconds,
# starting from a copy of its seed corpus in build-fuzz/corpus-<target> (the committed seeds
# in fuzz/corpus/<target> stay as they are) and fuzz/regressions/<target>-*. Prints one line
# per target and exits non-zero when any target finds a crash (or a leak, a time-out, an
# out-of-memory); the input that did it is kept in build-fuzz/crashes-<target>/ and its path
# printed.
#
#   scripts/fuzz-all.sh SECONDS
#
# FUZZ_JOBS sets how many targets run at once (default: the number of processors).
set -euo pipefail

seconds=${1:-}
if [[ ! $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 SECONDS" >&2
    exit 2
fi
cd "$(dirname "$0")/.."

build="build-fuzz"
targets=(engine_fuzzer profile_fuzzer gif_tiff_fuzzer cli_options_fuzzer file_target_fuzzer
    batch_line_fuzzer picture_reader_fuzzer reference_decode_fuzzer grading_fuzzer gs1_fuzzer
    sfnt_fuzzer)
jobs=${FUZZ_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARIMARK_BUILD_FUZZ=ON \
    -DVARIMARK_BUILD_TESTS=OFF -DVARIMARK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

run_target() {
    local target=$1
    local corpus=$build/corpus-$target crashes=$build/crashes-$target
    mkdir -p "$corpus" "$crashes"
    cp -R fuzz/corpus/"$target"/. "$corpus"/
    # Inputs that once failed are run first, with the rest of the corpus.
    for regression in fuzz/regressions/"$target"-*; do
        [[ -e $regression ]] && cp "$regression" "$corpus"/
    done
    "$build"/bin/"$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 \
        -print_final_stats=1 -artifact_prefix="$crashes"/ "$corpus" \
        >"$build/fuzz-$target.log" 2>&1
}

# Runs the targets, at most $jobs at once; each one's exit status goes to a file.
running=0
for target in "${targets[@]}"; do
    (
        status=0
        run_target "$target" || status=$?
        echo "$status" >"$build/fuzz-$target.status"
    ) &
    running=$((running + 1))
    if ((running >= jobs)); then
        wait -n
        running=$((running - 1))
    fi
done
wait

failed=0
for target in "${targets[@]}"; do
    log=$build/fuzz-$target.log
    status=$(cat "$build/fuzz-$target.status")
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    [[ -n $runs ]] || runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
    [[ -n $runs ]] || runs=0
    if [[ $status == 0 ]]; then
        echo "$target: $runs executions, 0 crashes"
    else
        failed=1
        echo "$target: $runs executions, 1 crash (exit status $status)"
        grep -E 'invariant violated|^SUMMARY' "$log" | sed 's/^/    /' || true
        artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
        echo "    input: ${artifact:-none written, see $log}"
        echo "    log: $log"
    fi
done
exit "$failed"
