# The test run under Wine, shared by scripts/run-tests and the 32-bit tier's virtual machine
# (scripts/vm/tier32): a private prefix with one persistent wineserver, ctest, and one rerun of
# the tests that Wine, not the program, made fail. Sourced, from the repository's root.

source scripts/lib/wow64.sh

testing_log=build/win64/Testing/Temporary/LastTest.log
# What the tests' support code prints when Wine's CreateProcessW fails with 1359
# (ERROR_INTERNAL_ERROR) for a program that exists: Wine's fault on a loaded machine, never the
# program's.
wine_start_failure="Wine could not start a process (error 1359)"

# Starts Wine in the prefix $1 (made on first use). ctest waits for every process that holds its
# output pipe, and Wine's services outlive the test that started them: so one persistent
# wineserver, with the services started here with every standard stream redirected. The caller
# stops the server (wineserver -k) however it ends.
wine_tests_start() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    # A stand-in msi.dll beside a test program is loaded in place of Wine's own (which lacks
    # MsiExtractPatchXMLDataW); no Mono or Gecko install prompts in a headless prefix.
    export WINEDLLOVERRIDES="msi=n,b;mscoree,mshtml="
    wow64_use_dlls "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineserver -k >/dev/null 2>&1
    wineserver -p
    wineboot -i </dev/null >/dev/null 2>&1
    # Wine's desktop process ends a second after the last program that uses it, and a program
    # that starts just then can wait some 10 s for a new one: one idle program holds it.
    wine build/win64/DesktopHolder.exe </dev/null >/dev/null 2>&1 &
}

# How many tests ctest would run with these arguments.
ctest_count() {
    ctest --preset win64 -N "$@" | sed -n 's/^Total Tests: //p'
}

# The failed tests of the last ctest run that Wine made fail, one a line as "name<tab>why": those
# that printed nothing at all (Wine failed to start the test program, which then ends at once,
# not even GoogleTest's first line printed) and those that saw Wine fail to start a process.
wine_failures() {
    awk -v marker="$wine_start_failure" '
        /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name) }
        /^Output:$/ { getline; reading = 1; printed = 0; started = 0; next }
        /^<end of output>$/ { reading = 0 }
        reading && /[^[:space:]]/ { printed = 1 }
        reading && index($0, marker) { started = 1 }
        /^Test Failed\.$/ && !printed { print name "\tfailed without printing anything" }
        /^Test Failed\.$/ && started { print name "\tsaw Wine fail to start a process (error 1359)" }
    ' "$testing_log"
}

# Options of every ctest run of a tier, its reruns included.
ctest_options=()

# Runs ctest with the arguments, showing its output, and records each test's outcome (Passed,
# Failed, Skipped, Timeout...) in the array outcome. Keeps ctest's exit status.
ctest_recording() {
    local output status line pattern='^ *[0-9]+/[0-9]+ +Test +#[0-9]+: +([^ ]+) \.+ *(\*\*\*)?([A-Za-z]+)'
    output=$(mktemp) || return 1
    ctest --preset win64 "${ctest_options[@]}" "$@" 2>&1 | tee "$output"
    status=${PIPESTATUS[0]}
    while IFS= read -r line; do
        [[ "$line" =~ $pattern ]] && outcome["${BASH_REMATCH[1]}"]="${BASH_REMATCH[3]}"
    done <"$output"
    rm -f "$output"
    return $status
}

# Runs ctest with the arguments, then, once each, the failed tests that Wine made fail, naming
# each with why and how its rerun ended. Prints "<title>: <passed> passed, <failed> failed,
# <skipped> skipped, in <time>" last, keeps that line in tier_summary, and succeeds when no test
# failed in the end.
run_tier() {
    local title="$1" start=$SECONDS status name why test passed=0 failed=0 skipped=0
    shift
    declare -gA outcome=()
    ctest_recording "$@"
    status=$?
    local reruns=()
    ((status == 0)) || mapfile -t reruns < <(wine_failures)
    if ((${#reruns[@]})); then
        local ended=()
        for test in "${reruns[@]}"; do
            name="${test%%$'\t'*}" why="${test#*$'\t'}"
            echo "Rerunning $name: it $why"
            ctest_recording -R "^$(sed 's/[][\\.*^$+?(){}|]/\\&/g' <<<"$name")\$"
            ended+=("$name, which $why: ${outcome[$name]} on its rerun")
        done
        echo
        echo "Reran once the tests that Wine, not the program, made fail:"
        printf '    %s\n' "${ended[@]}"
    fi
    for name in "${!outcome[@]}"; do
        case "${outcome[$name]}" in
            Passed) ((++passed)) ;;
            Skipped) ((++skipped)) ;;
            *) ((++failed)) ;;
        esac
    done
    local took=$((SECONDS - start))
    tier_summary="$title: $passed passed, $failed failed, $skipped skipped, in $((took / 60)) min $((took % 60)) s"
    echo "$tier_summary"
    # ctest failing with no test failed (a broken configuration) fails the tier too.
    ((failed == 0)) && ((status == 0 || ${#reruns[@]}))
}
