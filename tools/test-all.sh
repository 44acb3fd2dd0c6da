#!/usr/bin/env bash
# Builds both executables and the browser build, and runs every test: the native suite (unit, GL on the
# headless context, the unit and GL tests once more all in one process in shuffled orders, end to end under
# Xvfb and Wine, the browser build in headless Chromium), then the same unit and GL tests built with the
# sanitizers. The release (tools/release.sh) is made before the native suite, whose release tests check its
# archives. Ends with a table of its phases and their times (docs/testing.md).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Every build through ccache where it is installed: the release presets and the tests' builds compile the
# same sources, and CI's cache serves the next run. Paths are hashed relative to the checkout, so that
# another clone finds the objects too.
if command -v ccache > /dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
# The Wine tests copy one booted prefix (tests/e2e/harness.py): booted once per run of this command, by the
# first test that needs one.
export DOZ_WINE_TEMPLATE_DIR=$root/build/wine-template
rm -rf "$DOZ_WINE_TEMPLATE_DIR"

phase_rows=()
started_all=$SECONDS
print_phases() {
    local status=$?
    wait # a job beside a phase that failed: its output stays in its log
    local row name log pid seconds result
    for row in "${beside_started[@]}"; do
        IFS='|' read -r name log pid <<< "$row"
        if [ -f "$log.result" ] && ! printf '%s\n' "${phase_rows[@]}" | grep -qF "$name (beside)|"; then
            read -r seconds result < "$log.result"
            phase_rows+=("$name (beside)|$seconds|$([ "$result" -eq 0 ] && echo passed || echo "FAILED ($result)")")
        fi
    done
    echo
    echo "tools/test-all.sh phases (seconds; 'beside' ran at the same time as the phase before it):"
    printf '  %-52s %6s  %s\n' phase seconds result
    for row in "${phase_rows[@]}"; do
        IFS='|' read -r name seconds result <<< "$row"
        printf '  %-52s %6s  %s\n' "$name" "$seconds" "$result"
    done
    printf '  %-52s %6s  %s\n' "whole command" $((SECONDS - started_all)) \
        "$([ $status -eq 0 ] && echo passed || echo "FAILED (exit $status)")"
}
trap print_phases EXIT

# phase NAME COMMAND...: runs the command in the foreground; a failure ends the run.
phase() {
    local name=$1 started=$SECONDS status=0
    shift
    echo "=== $name"
    "$@" || status=$?
    phase_rows+=("$name|$((SECONDS - started))|$([ $status -eq 0 ] && echo passed || echo "FAILED ($status)")")
    return $status
}

# beside NAME LOG COMMAND...: starts the command in the background at a lower priority, its output to LOG;
# joined later by `joined NAME`, which records it in the table.
beside_started=()
beside() {
    local name=$1 log=$2
    shift 2
    mkdir -p "$(dirname "$log")"
    (
        renice -n 10 -p "$BASHPID" > /dev/null
        started=$SECONDS
        status=0
        "$@" > "$log" 2>&1 || status=$?
        echo "$((SECONDS - started)) $status" > "$log.result"
    ) &
    beside_started+=("$name|$log|$!")
}
# Sets the priority of a process and of all its descendants.
renice_tree() {
    local priority=$1 pid=$2 child
    renice -n "$priority" -p "$pid" > /dev/null 2>&1 || true
    for child in $(pgrep -P "$pid" || true); do
        renice_tree "$priority" "$child"
    done
}
joined() {
    local row name log pid seconds status
    for row in "${beside_started[@]}"; do
        IFS='|' read -r name log pid <<< "$row"
        [ "$name" = "$1" ] || continue
        # The phase it ran beside is over: what is left of the job takes a full share of the cores. Left at
        # the lower priority on a loaded machine, the one-process runs went on 15 min past the suite.
        renice_tree 0 "$pid"
        wait "$pid" || true
        read -r seconds status < "$log.result"
        phase_rows+=("$name (beside)|$seconds|$([ "$status" -eq 0 ] && echo passed || echo "FAILED ($status)")")
        if [ "$status" -ne 0 ]; then
            tail -40 "$log"
            return "$status"
        fi
        return 0
    done
    return 1
}

build() { cmake --preset "$1" && cmake --build --preset "$1"; }

phase "install what is missing (tools/install-deps.sh)" tools/install-deps.sh
phase "build windows" build windows
phase "build web" build web
phase "build linux" build linux
# Beside the release and the suite, whose longest parts wait on Wine and the music clock, at a lower
# priority: the sanitizers' build. Started after the suite instead, it went on past its end. The sanitizers'
# tests are not run beside: with them, the Linux whole run's sound once starved for 28 s of its 124. The
# one-process runs are a test of the suite (tools.DozTestsInOneProcessShuffled), scheduled by ctest.
beside "build asan" build/asan-build.log build asan
# The release into dist/, which the release tests check (a developer's tree may hold uncommitted work).
phase "release (tools/release.sh --allow-dirty)" tools/release.sh --allow-dirty
phase "ctest --preset linux" ctest --preset linux
joined "build asan"
phase "ctest --preset asan" ctest --preset asan
