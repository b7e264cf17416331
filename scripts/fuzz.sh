#!/bin/bash
# Runs every fuzz target (or the ones named) for a while, two at a time by
# default, and prints one summary line per target.
#
#   scripts/fuzz.sh SECONDS [TARGET ...]
#
# Each target starts from its seed corpus (fuzz/corpus/<target>) and keeps
# what it finds in build/fuzz/corpus/<target>; crash inputs land in
# build/fuzz/artifacts/. The targets come from the asan build.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
bin="$here/build/asan/fuzz"
work="$here/build/fuzz"
seconds=${1:?usage: fuzz.sh SECONDS [TARGET ...]}
shift
jobs=${FUZZ_JOBS:-2}
targets=${*:-$(cd "$here/fuzz/corpus" && ls)}

run_one() {
    t=$1
    mkdir -p "$work/corpus/$t" "$work/artifacts" "$work/logs"
    log="$work/logs/$t.log"
    status=0
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        nice -n 10 "$bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/$t-" \
        "$work/corpus/$t" "$here/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    line=$(grep -E '^#[0-9]+' "$log" | tail -1)
    execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    if [ "$status" = 0 ]; then verdict=ok; else verdict="FAILED (see $log)"; fi
    printf '%-22s %ss  execs %s  %s  %s\n' "$t" "$seconds" "${execs:-?}" \
        "$(echo "$line" | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9a-zA-Z]+')" "$verdict"
    [ "$status" = 0 ]
}

mkdir -p "$work"
failed=0
running=0
for t in $targets; do
    run_one "$t" >"$work.$t.summary" 2>&1 &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait
for t in $targets; do
    cat "$work.$t.summary"
    grep -q 'ok$' "$work.$t.summary" || failed=1
    rm -f "$work.$t.summary"
done
exit $failed
