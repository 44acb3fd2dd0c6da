#!/bin/sh
# Builds the libFuzzer programs of the sync parsers and of capture job files with Debian's clang (the main
# build stays with gcc): build/fuzz/sync_stream_fuzzer, build/fuzz/track_file_fuzzer and
# build/fuzz/job_file_fuzzer, with AddressSanitizer and UndefinedBehaviorSanitizer. Usage: fuzz/build.sh [OUTPUT_DIR]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/fuzz}"
mkdir -p "$out"
CXX="${CXX_FUZZ:-clang++}"
flags="-std=c++17 -O1 -g -Wall -Wextra -Wpedantic -Werror -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -fno-omit-frame-pointer -I$root"
sources="$root/sync/sync_tracks.cpp $root/sync/track_files.cpp $root/sync/sync_protocol.cpp
         $root/fuzz/sync_fuzz_targets.cpp"
for target in sync_stream_fuzzer track_file_fuzzer; do
    # shellcheck disable=SC2086
    $CXX $flags $sources "$root/fuzz/$target.cpp" -o "$out/$target"
    echo "$out/$target"
done
# The job file reader and what it checks plans against, without the renderer a plan names.
# shellcheck disable=SC2086
$CXX $flags "$root/capture/job_text.cpp" "$root/capture/capture_options.cpp" "$root/app/option_numbers.cpp" \
    "$root/fuzz/job_fuzz_target.cpp" "$root/fuzz/job_file_fuzzer.cpp" -o "$out/job_file_fuzzer"
echo "$out/job_file_fuzzer"
