#!/usr/bin/env bash
# Prints the report of a fuzzing campaign, from the logs that
# `scripts/fuzz.sh --campaign` left in CAMPAIGN/<target>/: campaign.txt (goal, cores, time,
# exit status, command), fuzz.log (libFuzzer's fork mode), coverage.log (one load of the
# grown corpus and the seeds), failures.txt (the failing inputs kept) and the corpus folder
# itself. Nothing in it is typed by hand.
#
#     fuzz/campaign_report.sh CAMPAIGN TARGET...    # e.g. build/fuzz/campaign tokenizer_fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ] || [ ! -d "$1" ]; then
    echo "usage: fuzz/campaign_report.sh CAMPAIGN-FOLDER TARGET... (see scripts/fuzz.sh)" >&2
    exit 2
fi
campaign=$1
shift

# 1234567 -> 1,234,567
thousands() {
    sed -E ':a; s/([0-9])([0-9]{3})($|[^0-9])/\1,\2\3/; ta' <<<"$1"
}

# A field of campaign.txt ("key=value" lines).
field() {
    sed -n "s/^$2=//p" "$1/campaign.txt"
}

rows=()
commands=()
failures=()
goals=()
for target in "$@"; do
    name=${target%_fuzz}
    dir=$campaign/$name
    if [ ! -f "$dir/campaign.txt" ] || [ ! -f "$dir/fuzz.log" ]; then
        echo "error: $dir holds no campaign log; run scripts/fuzz.sh --campaign first" >&2
        exit 1
    fi
    # Fork mode prints "#EXECUTIONS: cov: ... corp: ..." after every job it merges.
    executions=$(sed -nE 's/^#([0-9]+): cov:.*/\1/p' "$dir/fuzz.log" | tail -n 1)
    executions=${executions:-0}
    seconds=$(field "$dir" seconds)
    jobs=$(field "$dir" jobs)
    status=$(field "$dir" status)
    # "#N INITED cov: 39 ft: 202 corp: 61/17Kb exec/s: 0 rss: 34Mb"; missing when an input
    # of the corpus failed on that load.
    coverage=$(grep -sE '^#[0-9]+[[:space:]]+INITED' "$dir/coverage.log" | tail -n 1 || true)
    cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$coverage")
    ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$coverage")
    corp=$(sed -nE 's/.* corp: ([0-9]+)\/([0-9]+[A-Za-z]*).*/\1 inputs, \2/p' <<<"$coverage")
    grown=$(find "$dir/corpus" -type f 2>/dev/null | wc -l)
    # The failing inputs the campaign kept in build/fuzz/new-failures/<target>/, one a line.
    mapfile -t kept < <(cat "$dir/failures.txt" 2>/dev/null || true)
    rate=$(awk -v n="$executions" -v s="$seconds" 'BEGIN { printf "%d", (s > 0 ? n / s : 0) }')
    per_core=$(awk -v r="$rate" -v j="$jobs" 'BEGIN { printf "%d", (j > 0 ? r / j : 0) }')
    found=${#kept[@]}
    if [ "$status" != 0 ] && [ "$found" -eq 0 ]; then
        found="exit status $status"
    fi
    rows+=("| $name | $(thousands "$executions") | $seconds s | $(thousands "$rate") |\
 $(thousands "$per_core") | ${cov:-?} | ${ft:-?} | ${corp:-?} ($grown grown) | $found |")
    commands+=("$(field "$dir" command)")
    goals+=("$(field "$dir" goal)")
    for input in "${kept[@]}"; do
        failures+=("- $name: \`build/fuzz/new-failures/$name/$input\`")
    done
    if [ -z "$cov" ]; then
        failures+=("- $name: an input failed when the corpus was loaded for its coverage\
 (\`build/fuzz/campaign/$name/coverage.log\`)")
    fi
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
compiler=$(clang++ --version 2>/dev/null | head -n 1)
goal=$(printf '%s\n' "${goals[@]}" | sort -u | paste -sd/)
echo "# Fuzzing campaign"
echo
echo "Written by \`scripts/fuzz.sh --campaign\` on $(date -u +%Y-%m-%d) from commit" \
    "\`$(git rev-parse --short HEAD 2>/dev/null || echo unknown)\`, from its logs in"
echo "\`build/fuzz/campaign/<target>/\`."
echo "Machine: $(nproc) cores (nproc), ${cpu:-unknown CPU}, $(uname -sr); ${compiler:-clang}."
echo
if [ "$goal" = 10000000 ]; then
    echo "    scripts/fuzz.sh --campaign --record"
else
    echo "    scripts/fuzz.sh --campaign $goal --record    # a shorter goal than the default 10,000,000"
fi
echo
echo "| target | executions | time | executions/s | per core | cov | ft | corpus | failures |"
echo "|---|---:|---:|---:|---:|---:|---:|---|---:|"
printf '%s\n' "${rows[@]}"
echo
echo "- executions: every input each target ran, over all of libFuzzer's fork jobs. The"
echo "  campaign stops once the goal of $(thousands "$goal") is passed, when the last job ends."
echo "- time: wall-clock time of the fork run, all cores together; executions/s divides the"
echo "  executions by it, per core by the number of cores as well."
echo "- cov and ft: libFuzzer's coverage when it loads the whole corpus (the grown one and the"
echo "  committed seeds) once: cov counts the edges of the module and the simulated back end"
echo "  that ran, ft the features (edges with their hit counts, in ranges)."
echo "- corpus: the inputs libFuzzer keeps on that load, with their size; grown counts the"
echo "  files in \`build/fuzz/campaign/<target>/corpus\`, which later campaigns start from."
echo "- failures: crashes, leaks, timeouts and broken properties; each failing input is kept"
echo "  in \`build/fuzz/new-failures/<target>/\`, to be copied into \`fuzz/regressions/<target>/\`"
echo "  with its fix."
echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "Failures:"
    echo
    printf '%s\n' "${failures[@]}"
    echo
fi
echo "Each target ran as:"
echo
printf '    %s\n' "${commands[@]}"
echo
echo "in the environment \`$(field "$campaign/${1%_fuzz}" environment)\`."
