# The virtual machine for machines whose kernel runs no 32-bit code: the 32-bit tier of the tests
# (scripts/run-tests), the demo's story (scripts/demo) and the benchmark's real patch files
# (scripts/benchmark) run the shipped program there. Sourced from the repository's root. qemu,
# with software emulation, boots Debian's kernel (scripts/prepare-vm) on this machine's own root
# file system, shared read-only over 9p, and runs a job, a script of the repository, there on the
# builds made here (scripts/vm/guest); the guest's console is this script's output. The machine is
# bounded in time and always ends.

vm_folder=build/vm
# Shared with the guest, writable: what the host hands in (the repository, the job and its
# arguments), what the guest leaves (ctest's log of the tier) and the Wine prefix it keeps.
vm_run=$vm_folder/run
vm_pidfile=$vm_folder/qemu.pid
# The kernel to boot; another path shows how a machine that cannot boot fails the run.
vm_kernel="${ZAPATCH_VM_KERNEL:-$vm_folder/vmlinuz}"
# Bounds, in seconds: from the start to the guest's first line, the longest silence of a booted
# guest (ctest prints a line for each test and a test has at most a few minutes), and in all.
vm_boot_limit=${ZAPATCH_VM_BOOT_LIMIT:-300}
vm_silence_limit=${ZAPATCH_VM_SILENCE_LIMIT:-900}
vm_time_limit=${ZAPATCH_VM_TIME_LIMIT:-3000}
# How the tests' run in the machine names the 32-bit tier; the host picks its summary out by it.
vm_tier_title="32-bit tier (in the virtual machine)"

# Ends the machine if it still runs.
vm_stop() {
    [[ -f "$vm_pidfile" ]] && kill -9 "$(cat "$vm_pidfile")" 2>/dev/null
    rm -f "$vm_pidfile"
}

vm_start() {
    # SMAP must be off: qemu 7.2's software emulation of it crashes the guest kernel under Wine.
    timeout --kill-after=10 "$vm_time_limit" qemu-system-x86_64 \
        -accel tcg,thread=multi -cpu max,-smap -smp "$(nproc)" -m 6G \
        -nodefaults -display none -no-reboot -serial stdio -pidfile "$vm_pidfile" \
        -kernel "$vm_kernel" -initrd "$vm_folder/initramfs.gz" \
        -append "console=ttyS0 panic=-1 quiet" \
        -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
        -virtfs "local,path=$PWD/$vm_run,mount_tag=run,security_model=none" \
        </dev/null 2>&1
    echo "zapatch-vm-host: qemu ended ($?)"
}

# Runs the job $2 (a script of the repository) with the arguments after it in the machine,
# showing its output; $1 names the run in what is said about the machine. Sets vm_summary to the
# last line the job printed, vm_took to the seconds since the start and, when the machine failed
# (could not be prepared or started, did not boot, panicked, hung or ran out of time), vm_failure
# to why. Succeeds when the job ended with 0.
vm_run() {
    local title="$1" job="$2" started=$SECONDS booted=0 line limit ended="" early=() qemu_status=""
    shift 2
    vm_summary="" vm_failure=""
    scripts/prepare-vm || { vm_failure="could not be prepared"; vm_took=0; return 1; }
    mkdir -p "$vm_run"
    # What a run leaves goes; the kept Wine prefix stays.
    rm -f "$vm_run"/{repository,job,arguments,LastTest.log}
    printf '%s' "$PWD" >"$vm_run/repository"
    printf '%s' "$job" >"$vm_run/job"
    printf '%s\0' "$@" >"$vm_run/arguments"
    local console
    exec {console}< <(vm_start)
    while true; do
        limit=$((booted ? vm_silence_limit : vm_boot_limit - (SECONDS - started)))
        if ((limit <= 0)) || ! IFS= read -r -t "$limit" -u "$console" line; then
            ((booted)) && vm_failure="printed nothing for $vm_silence_limit s" ||
                vm_failure="did not boot within $vm_boot_limit s"
            break
        fi
        line="${line%$'\r'}"
        case "$line" in
            "zapatch-vm: booted") booted=1; echo "$title: the virtual machine booted in $((SECONDS - started)) s" ;;
            "zapatch-vm: ended ("*) ended="${line#*(}" ended="${ended%)}" ;;
            "zapatch-vm-host: qemu ended ("*)
                qemu_status="${line#*(}" qemu_status="${qemu_status%)}"
                break ;;
            *) if ((!booted)); then early+=("$line"); elif [[ -z "$ended" ]]; then echo "$line"; vm_summary="$line"; fi ;;
        esac
    done
    vm_stop
    exec {console}<&-
    vm_took=$((SECONDS - started))
    if [[ -z "$vm_failure" && -z "$ended" ]]; then
        case "$qemu_status" in
            124 | 137) vm_failure="ran out of its $vm_time_limit s" ;;
            0) vm_failure="ended without finishing its run (a kernel panic or a failure at its start)" ;;
            *) vm_failure="could not be started (qemu ended with $qemu_status)" ;;
        esac
    fi
    if [[ -n "$vm_failure" ]]; then
        ((booted)) || printf '%s\n' "${early[@]}" | grep -v '^\s*$' | tail -40
        echo "$title: FAILED: the virtual machine $vm_failure"
        return 1
    fi
    ((ended == 0))
}

# Runs the 32-bit tier with ctest's arguments in the machine and sets tier_summary. Fails when a
# test failed or the machine did.
vm_run_tier32() {
    vm_run "32-bit tier" scripts/vm/tier32 "$@"
    local status=$? took="$((vm_took / 60)) min $((vm_took % 60)) s"
    if [[ -n "$vm_failure" ]]; then
        tier_summary="$vm_tier_title: FAILED: the machine $vm_failure, after $took"
    elif [[ "$vm_summary" == "$vm_tier_title: "* ]]; then
        tier_summary="$vm_summary ($took with the machine's start)"
    else
        tier_summary="$vm_tier_title: no summary ($took with the machine's start)"
    fi
    return $status
}
