#!/usr/bin/env bash
# Builds both executables and the browser build, and runs every test: the native suite (unit, GL on the
# headless context, end to end under Xvfb and Wine, the browser build in headless Chromium), the unit and GL
# tests once more all in one process in shuffled orders, then the same unit and GL tests built with the
# sanitizers. The release (tools/release.sh) is made before the native suite, whose release tests check its
# archives.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows
cmake --build --preset windows
cmake --preset web
cmake --build --preset web
cmake --preset linux
cmake --build --preset linux
# The release into dist/, which the release tests check (a developer's tree may hold uncommitted work).
tools/release.sh --allow-dirty
ctest --preset linux
# The unit and GL tests again, all in one process in three shuffled orders: each test must start from the
# state it sets up (tests/fresh_process.h), not from what the test before it left. The GL tests are in:
# the context, its programs and its error flag are the state most easily left behind, and the headless
# EGL context needs no display.
for seed in 1 2 3; do
    build/linux/tests/doz_tests --gtest_shuffle --gtest_random_seed=$seed --gtest_brief=1 \
        --gtest_output=xml:build/linux/tests/one-process-seed-$seed.xml
done

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
