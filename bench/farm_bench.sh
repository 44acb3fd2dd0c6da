#!/usr/bin/env bash
# Throughput of capture jobs on this machine: frames per second of one and of two chunk processes side by
# side, and what a chunk costs besides its frames (start-up, soundtrack decode, first frame's shader
# compile, the plan, its share of the assembly's checks) as a share of a 100-frame chunk.
#   bench/farm_bench.sh [--frames N] [--overhead-size WxH] [SIZE...]
# SIZE defaults to 640x360, the overhead size to 1280x720; N (default 4) frames spread over the whole run
# per process. doz-capture is DOZ_CAPTURE, else build/linux/doz-capture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
capture=${DOZ_CAPTURE:-"$root/build/linux/doz-capture"}
frames=4 overhead_size=1280x720 sizes=()
while [ $# -gt 0 ]; do
    case "$1" in
    --frames) frames=$2; shift 2 ;;
    --overhead-size) overhead_size=$2; shift 2 ;;
    -*) sed -n '5,7p' "$0" >&2; exit 2 ;;
    *) sizes+=("$1"); shift ;;
    esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(640x360)
[ "$frames" -ge 2 ] || { echo "farm_bench.sh: --frames needs at least 2" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }

# plan NAME SIZE CHUNKS FRAMES_PER_CHUNK: the frames spread evenly over 0-124 s.
plan() {
    local fps
    fps=$(calc "$3 * $4 / 124" 9)
    "$capture" --plan "$scratch/$1" --chunks "$3" --size "$2" --fps "$fps" -o "$scratch/$1.mp4" 2>/dev/null >&2
}

# chunks NAME COUNT: renders chunks 0..COUNT-1 side by side; prints the wall time and the processor time
# of all of them (llvmpipe's threads included), which other work on the machine disturbs far less.
chunks() {
    local TIMEFORMAT='%R %U %S' times
    times=$({ time (
        for ((i = 0; i < $2; i++)); do
            "$capture" --render-chunk "$scratch/$1" --chunk "$i" 2>/dev/null &
        done
        wait
    ); } 2>&1)
    read -r wall user sys <<<"$times"
    echo "$wall $(calc "$user + $sys" 3)"
}

# measure SIZE: the time of a frame (wall and processor) from a 1-frame and an N-frame chunk, the
# start-up, and the wall time of two N-frame chunks side by side.
measure() {
    local one one_cpu many many_cpu
    plan "one-$1" "$1" 1 1 && read -r one one_cpu <<<"$(chunks "one-$1" 1)"
    plan "many-$1" "$1" 1 "$frames" && read -r many many_cpu <<<"$(chunks "many-$1" 1)"
    plan "two-$1" "$1" 2 "$frames" && read -r two two_cpu <<<"$(chunks "two-$1" 2)"
    frame=$(calc "($many - $one) / ($frames - 1)" 3)
    frame_cpu=$(calc "($many_cpu - $one_cpu) / ($frames - 1)" 3)
    startup=$(calc "$one - $frame" 3)
}

cores=$(nproc)
echo "doz-capture job throughput, $frames frames per process spread over 0-124 s, $cores cores"
echo "(wall: as measured, other work included; bound: $cores cores / processor seconds per frame, what the"
echo " machine gives when nothing else runs, however many processes share it)"
printf '%-10s %14s %14s %14s %12s %12s\n' size "1 process" "2 processes" "cpu s/frame" "bound" "start-up"
for size in "${sizes[@]}"; do
    measure "$size"
    [ "$size" = "$overhead_size" ] && measured="$startup $frame"
    fps1=$(calc "1 / $frame" 3)
    fps2=$(calc "2 * $frames / ($two - $startup)" 3)
    printf '%-10s %10s fps %10s fps %14s %8s fps %10s s\n' "$size" "$fps1" "$fps2" "$frame_cpu" \
        "$(calc "$cores / $frame_cpu" 3)" "$startup"
done

if [ -n "${measured:-}" ]; then
    read -r startup frame <<<"$measured"
else
    measure "$overhead_size"
fi
start=$(now)
plan "cost" "$overhead_size" 2 1
plan_s=$(calc "$(now) - $start" 3)
chunks "cost" 2 >/dev/null
start=$(now)
"$capture" --assemble "$scratch/cost" 2>/dev/null >&2
assemble_s=$(calc "($(now) - $start) / 2" 3)
overhead=$(calc "$startup + $plan_s + $assemble_s" 3)
echo
echo "per chunk at $overhead_size: start-up, decode and first compile $startup s, plan $plan_s s," \
    "assembly $assemble_s s (a 2-frame job's, per chunk; the encode of the frames themselves is left in)"
echo "a 100-frame chunk: $(calc "100 * $frame" 1) s of frames ($frame s each) + $overhead s overhead =" \
    "$(calc "100 * $overhead / (100 * $frame + $overhead)" 1) % overhead"
