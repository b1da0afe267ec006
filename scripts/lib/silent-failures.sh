# Reruns, once, the tests of the last ctest run that failed without printing anything at all:
# Wine now and then fails to start a test program, which then ends at once with no output, not
# even GoogleTest's first line. A test that printed anything and failed is never rerun. Sourced
# by scripts/run-tests, from the repository's root.

testing_log=build/win64/Testing/Temporary

# The names of the failed tests whose output was empty, one a line.
silent_failures() {
    awk '
        /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name) }
        /^Output:$/ { getline; reading = 1; printed = 0; next }
        /^<end of output>$/ { reading = 0 }
        reading && /[^[:space:]]/ { printed = 1 }
        /^Test Failed\.$/ && !printed { print name }
    ' "$testing_log/LastTest.log"
}

# How many tests failed in the last run, by ctest's own list.
failure_count() {
    [[ -f "$testing_log/LastTestsFailed.log" ]] && grep -c . "$testing_log/LastTestsFailed.log" || echo 0
}

# Reruns the silent failures of the last run once each and says how each ended. Succeeds when
# every failure of that run was silent and passed on its rerun.
rerun_silent_failures() {
    local failures silent name status=0
    failures=$(failure_count)
    mapfile -t silent < <(silent_failures)
    ((${#silent[@]})) || return 1
    local ended=()
    for name in "${silent[@]}"; do
        echo "Rerunning $name"
        if ctest --preset win64 -R "^$(sed 's/[][\\.*^$+?(){}|]/\\&/g' <<<"$name")\$"; then
            ended+=("$name: passed on its rerun")
        else
            ended+=("$name: failed again")
            status=1
        fi
    done
    echo
    echo "Reran once the tests that failed without printing anything (as when Wine fails to start a test program):"
    printf '    %s\n' "${ended[@]}"
    ((${#silent[@]} == failures)) || { echo "Other tests failed with output: not rerun."; status=1; }
    return $status
}
