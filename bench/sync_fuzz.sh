#!/bin/sh
# Fuzzes the sync parsers (the editor's stream and track files) and capture job files for a while each and prints, per target,
# the executions and the findings.
# Usage: bench/sync_fuzz.sh [SECONDS_PER_TARGET [TARGET...]]  (default 180 s, every target)
# The saved seeds (fuzz/corpus/) are copied into build/fuzz/corpus/, which keeps growing from run to run;
# a finding is written to build/fuzz/findings/ (copy it into fuzz/corpus/ once fixed, so the tests replay it).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-180}"
[ $# -gt 0 ] && shift
targets="${*:-sync_stream track_file job_file}"
out="$root/build/fuzz"
"$root/fuzz/build.sh" "$out" >/dev/null
mkdir -p "$out/findings"
status=0
for target in $targets; do
    corpus="$out/corpus/$target"
    mkdir -p "$corpus"
    cp "$root/fuzz/corpus/$target/"* "$corpus/"
    log="$out/$target.log"
    before=$(find "$out/findings" -name "$target-*" | wc -l)
    set +e
    dictionary=""
    [ -f "$root/fuzz/$target.dict" ] && dictionary="-dict=$root/fuzz/$target.dict"
    # shellcheck disable=SC2086
    "$out/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 $dictionary \
        -artifact_prefix="$out/findings/$target-" "$corpus" >"$log" 2>&1
    code=$?
    set -e
    after=$(find "$out/findings" -name "$target-*" | wc -l)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    echo "$target: ${runs:-?} executions in ${seconds} s (${per_second:-?}/s), corpus $(ls "$corpus" | wc -l) inputs," \
         "findings $((after - before)) (exit $code; log $log)"
    [ "$code" -eq 0 ] && [ "$after" -eq "$before" ] || status=1
done
exit $status
