#!/usr/bin/env bash
# A video capture as a Slurm job: one array task per chunk, then the assembly, which waits for every task
# to succeed (--dependency=afterok). Run it on the login node of a cluster whose nodes see this folder and
# the job folder at the same paths (a shared home or scratch file system):
#   capture/farm.slurm [--chunks N] [--job DIR] [--sbatch OPTION]... [--dry-run] \
#       -- <doz-capture video options> -o OUT.mp4
# Running it again resubmits the job: chunks that are complete end at once, the others are rendered.
# --dry-run prints the plan and sbatch commands instead of running them. doz-capture is DOZ_CAPTURE, else
# the build beside this script.
set -euo pipefail

usage() {
    sed -n '5,6p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

root=$(cd "$(dirname "$0")/.." && pwd)
capture=${DOZ_CAPTURE:-"$root/build/linux/doz-capture"}
chunks=64 jobdir="" dry=0 sbatch_options=()
while [ $# -gt 0 ]; do
    case "$1" in
    --chunks) [ $# -ge 2 ] || usage; chunks=$2; shift 2 ;;
    --job) [ $# -ge 2 ] || usage; jobdir=$2; shift 2 ;;
    --dry-run) dry=1; shift ;;
    --sbatch) [ $# -ge 2 ] || usage; sbatch_options+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "farm.slurm: unknown option '$1'" >&2; usage ;;
    esac
done
[ $# -gt 0 ] || usage
options=("$@")
output=""
for ((i = 0; i < ${#options[@]}; i++)); do
    case "${options[$i]}" in
    -o | --output) output=${options[$((i + 1))]:-} ;;
    esac
done
[ -n "$output" ] || { echo "farm.slurm: no output: give -o OUT.mp4 after --" >&2; exit 2; }
jobdir=${jobdir:-"$output.job"}
# The tasks run elsewhere: every path they see is absolute.
case "$jobdir" in /*) ;; *) jobdir="$PWD/$jobdir" ;; esac
case "$capture" in /*) ;; *) capture="$PWD/$capture" ;; esac

quoted() { printf '%q ' "$@" | sed 's/ $//'; }
plan=("$capture" --plan "$jobdir" --chunks "$chunks" "${options[@]}")
chunk_task="exec $(quoted "$capture" --render-chunk "$jobdir" --chunk) \$SLURM_ARRAY_TASK_ID"
assemble_task="exec $(quoted "$capture" --assemble "$jobdir")"
array=(sbatch --parsable "--array=0-$((chunks - 1))" --job-name=doz-chunks "--output=$jobdir/slurm-%A_%a.log"
    "${sbatch_options[@]}" --wrap "$chunk_task")
assembly_for() {
    assembly=(sbatch --parsable "--dependency=afterok:$1" --job-name=doz-assemble
        "--output=$jobdir/slurm-assemble-%j.log" "${sbatch_options[@]}" --wrap "$assemble_task")
}

if [ "$dry" -eq 1 ]; then
    quoted "${plan[@]}"; echo
    quoted "${array[@]}"; echo
    assembly_for '$ARRAY_JOB'
    quoted "${assembly[@]}"; echo
    exit 0
fi

"${plan[@]}" >/dev/null
array_job=$("${array[@]}")
array_job=${array_job%%;*}
assembly_for "$array_job"
assembly_job=$("${assembly[@]}")
assembly_job=${assembly_job%%;*}
echo "farm.slurm: chunks in array job $array_job, assembly in job $assembly_job (logs in $jobdir)"
echo "farm.slurm: watch with: squeue -j $array_job,$assembly_job"
