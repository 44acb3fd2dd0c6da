#!/bin/sh
# The one-process runs report a failure of any seed, the first two included, and still run every seed.
set -eu
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A stand-in for the test binary: it notes each seed it is run with and fails for the seed in FAIL_SEED.
cat > "$scratch/doz_tests" <<'STANDIN'
#!/bin/sh
for argument; do
    case $argument in --gtest_random_seed=*) seed=${argument#*=} ;; esac
done
echo "$seed" >> "$(dirname "$0")/seeds"
[ "$seed" != "$FAIL_SEED" ]
STANDIN
chmod +x "$scratch/doz_tests"
for fail in 1 2 3 none; do
    rm -f "$scratch/seeds"
    if FAIL_SEED=$fail "$source_dir/tools/one-process-runs.sh" "$scratch/doz_tests" "$scratch" 2> "$scratch/err"; then
        status=0
    else
        status=$?
    fi
    [ "$(tr '\n' ' ' < "$scratch/seeds")" = "1 2 3 " ] || { echo "seed $fail failing: ran $(cat "$scratch/seeds")"; exit 1; }
    if [ "$fail" = none ]; then
        [ "$status" -eq 0 ] || { echo "no seed failing, and yet exit $status"; exit 1; }
    else
        [ "$status" -ne 0 ] || { echo "seed $fail failed and the runs passed"; exit 1; }
        grep -q "seed(s) $fail failed" "$scratch/err" || { echo "seed $fail not named: $(cat "$scratch/err")"; exit 1; }
    fi
done
echo "every seed's failure reported"
