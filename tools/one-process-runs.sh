#!/usr/bin/env bash
# Runs the unit and GL tests all in one process in three shuffled orders: each test must start from the state
# it sets up (tests/fresh_process.h), not from what the test before it left. Every seed runs; the exit code
# is non-zero when any of them failed, and the failing seeds are named.
# Usage: one-process-runs.sh DOZ_TESTS OUTPUT_DIR
set -uo pipefail
tests=$1 output=$2
failed=()
for seed in 1 2 3; do
    "$tests" --gtest_shuffle --gtest_random_seed=$seed --gtest_brief=1 \
        --gtest_output=xml:"$output/one-process-seed-$seed.xml" || failed+=("$seed")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "one-process-runs.sh: seed(s) ${failed[*]} failed" >&2
    exit 1
fi
