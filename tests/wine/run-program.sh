# Sourced by the checks under Wine: runs a Windows program and keeps what a failure report needs.
#
#   run_program PROGRAM [ARG...]   sets `output` (standard output, without CRs), `errors`
#                                  (standard error), `code` (exit status) and `took` (ms)
#   describe_run                   prints the last run: status, time, output, standard error

run_program() {
    local started errors_file
    started=$(date +%s%N)
    errors_file=$(mktemp)
    code=0
    output=$(wine "$@" 2>"$errors_file") || code=$?
    output=${output//$'\r'/}
    errors=$(tr -d '\r' <"$errors_file")
    rm -f "$errors_file"
    took=$((($(date +%s%N) - started) / 1000000))
}

describe_run() {
    if [ -n "$output" ]; then
        echo "exit status $code after $took ms; output:"
        printf '%s\n' "$output" | sed 's/^/    /'
    else
        echo "exit status $code after $took ms; output: empty"
    fi
    if [ -n "$errors" ]; then
        echo "standard error:"
        printf '%s\n' "$errors" | sed 's/^/    /'
    else
        echo "standard error: empty"
    fi
}
