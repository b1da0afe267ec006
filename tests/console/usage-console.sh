#!/bin/bash
# Starts ZAPatch.exe /help straight from a shell, as a user does, and checks where the usage
# text goes and what the console part of the trace says.
#   usage-console.sh terminal PROGRAM  output on a terminal (a pty made by util-linux script)
#   usage-console.sh pipe PROGRAM      output on a pipe
# Needs the Wine settings of scripts/run-tests and no product keys in the prefix: the trace file
# then lands in the current folder.
set -u
mode=$1
program=$2
folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1

fail() {
    echo "FAILED: $1"
    shift
    for file in "$@"; do
        echo "--- $file"
        cat -A "$file"
    done
    exit 1
}

# The twelve lines after the empty line of the leading line feed, as a console shows them:
# tabs at every eighth column.
printf '%b' '\nZOREN Patch Manager parameters:\n' \
    '\t[/when now] - apply patch now\n' \
    '\t[/when reboot] - apply patch at reboot\n' \
    '\t\tdefault: /when now\n' \
    '\t[/reinstall all] - reinstall all patches\n' \
    '\t[/reinstall <PatchCodeGuid1>;[PatchCodeGuid;] - reinstall patches with GUID\n' \
    '\t[/uninstall all] - uninstall all installed patches\n' \
    '\t[/uninstall <PatchCodeGuid1>;[PatchCodeGuid;] - uninstall patches with GUID\n' \
    '\t[/ignore all] - ignore all new and not installed patches\n' \
    '\t[/ignore <PatchCodeGuid1>;[PatchCodeGuid;] - ignore patches with GUID\n' \
    '\t[/showui] - show user interface during installation\n' \
    "Press 'Enter' to return...\n" | expand >usage.expected

# Level and message of every trace entry.
trace_entries() {
    tr -d '\r' <ZAPatch.log | awk -F '\t' 'NF >= 5 { print $3 "\t" $5 }'
}

case $mode in
terminal)
    # Wide enough that no line wraps, and no CR added to the console's own CR LF.
    script -qec "stty cols 300 -onlcr; wine '$program' /help" /dev/null </dev/null >output 2>&1
    status=$?
    # The console draws the text with cursor controls: drop them, then take what follows the
    # empty line before the first line of the text (Wine may print its own notes before it).
    sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r$//' output |
        awk '/^ZOREN Patch Manager parameters:$/ && previous == "" { found = 1; print "" }
             found { print } { previous = $0 }' |
        sed -e '${/^$/d}' >usage.shown
    printf 'NTF\t%s\n' 'Starting ZOREN Patch Manager 1.0.0.72' 'Parse CMD line: /help' \
        'CConsoleOutput::Enable: Parent console already used.' >trace.expected
    printf 'ERR\t%s\n' "CConsoleOutput::Enable: Cann't allocate new console." >>trace.expected
    ;;
pipe)
    wine "$program" /help </dev/null 2>/dev/null | cat >output
    status=${PIPESTATUS[0]}
    # The console allocated for want of a parent's is invisible under Wine: the text is drawn
    # there, not on the pipe.
    [ -s output ] && fail "the pipe got output" output
    : >usage.shown
    : >usage.expected
    printf 'NTF\t%s\n' 'Starting ZOREN Patch Manager 1.0.0.72' 'Parse CMD line: /help' \
        "CConsoleOutput::Enable: Cann't attach to parent console. Error code: 6" \
        'CConsoleOutput::Enable: Output to console successfully enabled.' >trace.expected
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac

[ "$status" -eq 0 ] || fail "exit code $status" output
cmp -s usage.expected usage.shown || fail "usage text" usage.expected usage.shown output
[ -f ZAPatch.log ] || fail "no trace file in the current folder"
trace_entries >trace.shown
cmp -s trace.expected trace.shown || fail "trace" trace.expected trace.shown
echo "passed: $mode"
