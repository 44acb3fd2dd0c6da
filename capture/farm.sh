#!/usr/bin/env bash
# A video capture as a job of chunks run by GNU parallel, on this machine or on ssh hosts, then joined:
#   capture/farm.sh [-j N] [--hosts FILE] [--chunks N] [--job DIR] [--retries N] \
#       -- <doz-capture video options> -o OUT.mp4
# The same command again resumes: the plan is kept, only the chunks that failed (or that the assembly
# found missing or damaged) run again. doz-capture is DOZ_CAPTURE, else the build beside this script.
# With --hosts, each job sends doz-capture and the plan to the host and brings the chunk back (rsync over
# ssh): a host needs ssh, perl, rsync, ffmpeg and the libraries doz-capture runs with (EGL, Mesa).
set -euo pipefail

usage() {
    sed -n '2,4p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

root=$(cd "$(dirname "$0")/.." && pwd)
capture=${DOZ_CAPTURE:-"$root/build/linux/doz-capture"}
jobs="" hosts="" chunks="" jobdir="" retries=""
while [ $# -gt 0 ]; do
    case "$1" in
    -j) [ $# -ge 2 ] || usage; jobs=$2; shift 2 ;;
    --hosts) [ $# -ge 2 ] || usage; hosts=$2; shift 2 ;;
    --chunks) [ $# -ge 2 ] || usage; chunks=$2; shift 2 ;;
    --job) [ $# -ge 2 ] || usage; jobdir=$2; shift 2 ;;
    --retries) [ $# -ge 2 ] || usage; retries=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "farm.sh: unknown option '$1'" >&2; usage ;;
    esac
done
[ $# -gt 0 ] || usage
options=("$@")
output=""
for ((i = 0; i < ${#options[@]}; i++)); do
    case "${options[$i]}" in
    -o | --output) output=${options[$((i + 1))]:-} ;;
    --video | --plan | --render-chunk | --assemble | --chunks | --chunk | --frames)
        echo "farm.sh: give only video options (--size --fps --from --to --scale --supersample -o)" >&2
        exit 2 ;;
    esac
done
[ -n "$output" ] || { echo "farm.sh: no output: give -o OUT.mp4 after --" >&2; exit 2; }
command -v parallel >/dev/null || { echo "farm.sh: GNU parallel is not installed (Debian: parallel)" >&2; exit 1; }
[ -x "$capture" ] || { echo "farm.sh: no doz-capture at '$capture' (build it, or set DOZ_CAPTURE)" >&2; exit 1; }
if [ -n "$hosts" ] && [ ! -r "$hosts" ]; then
    echo "farm.sh: cannot read the hosts file '$hosts'" >&2
    exit 2
fi

# Enough chunks that every process stays busy to the end and a lost chunk costs little.
slots=${jobs:-1}
if [ -n "$hosts" ]; then
    slots=$(($(grep -cv '^[[:space:]]*\(#\|$\)' "$hosts") * ${jobs:-1}))
    retries=${retries:-3}
fi
chunks=${chunks:-$((4 * (slots > 0 ? slots : 1)))}
retries=${retries:-1}
jobdir=${jobdir:-"$output.job"}

"$capture" --plan "$jobdir" --chunks "$chunks" "${options[@]}" >/dev/null
jobdir=$(cd "$jobdir" && pwd)
joblog="$jobdir/joblog"

run=(parallel --joblog "$joblog" --resume-failed --retries "$retries" --halt never)
[ -t 2 ] && run+=(--bar)
[ -t 2 ] || run+=(--line-buffer --tagstring 'chunk {}')
if [ -z "$hosts" ]; then
    run+=(-j "${jobs:-1}" -q "$capture" --render-chunk "$jobdir" --chunk '{}')
else
    # Paths after /./ land in the job's own folder on the host (--workdir ...), and come back beside the plan.
    name=$(basename "$jobdir") parent=$(dirname "$jobdir")
    chunk='{=$_=sprintf("%05d",$_)=}'
    run+=(--sshloginfile "$hosts" --workdir ... --cleanup
        --transferfile "$(cd "$(dirname "$capture")" && pwd)/./$(basename "$capture")"
        --transferfile "$parent/./$name/job.json"
        --return "$parent/./$name/chunk-$chunk.mkv" --return "$parent/./$name/chunk-$chunk.hashes")
    [ -n "$jobs" ] && run+=(-j "$jobs")
    run+=("./$(printf %q "$(basename "$capture")") --render-chunk $(printf %q "$name") --chunk {}")
fi

status=0
seq 0 $((chunks - 1)) | "${run[@]}" || status=$?
if [ "$status" -ne 0 ]; then
    echo "farm.sh: $status chunk(s) failed (see $joblog); joining what is there to name them" >&2
fi

said=$(mktemp)
trap 'rm -f "$said"' EXIT
assembled=0
"$capture" --assemble "$jobdir" 2> >(tee "$said" >&2) || assembled=$?
wait
if [ "$assembled" -eq 0 ]; then
    exit 0
fi
# A chunk that the joblog holds as done but the assembly found missing or damaged runs again next time.
redo=$(sed -n 's/^ *chunk \([0-9][0-9]*\) is .*/\1/p' "$said" | tr '\n' ' ')
if [ -n "$redo" ] && [ -f "$joblog" ]; then
    awk -v redo=" $redo" 'NR == 1 || index(redo, " " ($1 - 1) " ") == 0' "$joblog" > "$joblog.new" &&
        mv "$joblog.new" "$joblog"
    echo "farm.sh: run the same command again to redo chunk(s) $redo" >&2
fi
exit "$assembled"
