# The 32-bit tier in a virtual machine, for machines whose kernel runs no 32-bit code (sourced by
# scripts/run-tests, from the repository's root). qemu, with software emulation, boots Debian's
# kernel (scripts/prepare-vm) on this machine's own root file system, shared read-only over 9p,
# and runs the same ctest entries on the same builds there (scripts/vm/guest); the guest's
# console is this script's output. The machine is bounded in time and always ends. Needs
# scripts/lib/wine-tests.sh sourced first.

vm_folder=build/vm
# Shared with the guest, writable: what the host hands in (the repository, ctest's arguments)
# and what the guest leaves (ctest's log of the tier).
vm_run=$vm_folder/run
vm_pidfile=$vm_folder/qemu.pid
# The kernel to boot; another path shows how a machine that cannot boot fails the run.
vm_kernel="${ZAPATCH_VM_KERNEL:-$vm_folder/vmlinuz}"
# Bounds, in seconds: from the start to the guest's first line, the longest silence of a booted
# guest (ctest prints a line for each test and a test has at most a few minutes), and in all.
vm_boot_limit=${ZAPATCH_VM_BOOT_LIMIT:-300}
vm_silence_limit=${ZAPATCH_VM_SILENCE_LIMIT:-900}
vm_time_limit=${ZAPATCH_VM_TIME_LIMIT:-3000}

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

# Runs the 32-bit tier with ctest's arguments in the machine and sets tier_summary. Fails, saying
# why, when a test failed or the machine did not boot, panicked, hung or ran out of time.
vm_run_tier32() {
    local started=$SECONDS booted=0 line limit ended="" early=() why="" guest_summary="" qemu_status=""
    scripts/prepare-vm || { tier_summary="32-bit tier: the virtual machine could not be prepared"; return 1; }
    rm -rf "$vm_run"
    mkdir -p "$vm_run"
    printf '%s' "$PWD" >"$vm_run/repository"
    printf '%s\0' "$@" >"$vm_run/arguments"
    local console
    exec {console}< <(vm_start)
    while true; do
        limit=$((booted ? vm_silence_limit : vm_boot_limit - (SECONDS - started)))
        if ((limit <= 0)) || ! IFS= read -r -t "$limit" -u "$console" line; then
            ((booted)) && why="printed nothing for $vm_silence_limit s" ||
                why="did not boot within $vm_boot_limit s"
            break
        fi
        line="${line%$'\r'}"
        case "$line" in
            "zapatch-vm: booted") booted=1; echo "32-bit tier: the virtual machine booted in $((SECONDS - started)) s" ;;
            "zapatch-vm: ended ("*) ended="${line#*(}" ended="${ended%)}" ;;
            "zapatch-vm-host: qemu ended ("*)
                qemu_status="${line#*(}" qemu_status="${qemu_status%)}"
                break ;;
            "$vm_tier_title: "*) guest_summary="$line"; echo "$line" ;;
            *) if ((!booted)); then early+=("$line"); elif [[ -z "$ended" ]]; then echo "$line"; fi ;;
        esac
    done
    vm_stop
    exec {console}<&-
    local took=$((SECONDS - started))
    if [[ -z "$why" && -z "$ended" ]]; then
        case "$qemu_status" in
            124 | 137) why="ran out of its $vm_time_limit s" ;;
            0) why="ended without finishing its run (a kernel panic or a failure at its start)" ;;
            *) why="could not be started (qemu ended with $qemu_status)" ;;
        esac
    fi
    if [[ -n "$why" ]]; then
        ((booted)) || printf '%s\n' "${early[@]}" | grep -v '^\s*$' | tail -40
        echo "32-bit tier: FAILED: the virtual machine $why"
        tier_summary="32-bit tier (in a virtual machine): FAILED: the machine $why, after $((took / 60)) min $((took % 60)) s"
        return 1
    fi
    tier_summary="${guest_summary:-$vm_tier_title: no summary} ($((took / 60)) min $((took % 60)) s with the machine's start)"
    ((ended == 0))
}
