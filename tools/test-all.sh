#!/usr/bin/env bash
# Builds both executables and the browser build, and runs every test: the native suite (unit, GL on the
# headless context, end to end under Xvfb and Wine, the browser build in headless Chromium), then the same
# unit and GL tests built with the sanitizers. The release (tools/release.sh) is made before the native suite,
# whose release tests check its archives.
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

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
