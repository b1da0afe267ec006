# Wine's wow64 mode for the shipped 32-bit program, shared by scripts/run-tests, scripts/demo and
# scripts/benchmark (sourced, from the repository's root).

# Points Wine at its 32-bit DLLs (scripts/prepare-wow64) for the prefix $1, before Wine starts
# there. A WINEDLLPATH given from outside wins: an empty folder shows how everything behaves
# where 32-bit programs cannot run. A prefix made without those DLLs has no syswow64 and never
# gets one later: it is made anew.
wow64_use_dlls() {
    export WINEDLLPATH="${WINEDLLPATH-$PWD/build/wow64/dlls}"
    if [[ -d "$WINEDLLPATH/i386-windows" && -d "$1/drive_c/windows" &&
          ! -d "$1/drive_c/windows/syswow64" ]]; then
        rm -rf "$1"
    fi
}

# Whether 32-bit programs run here: the probe beside the shipped program prints its line. Where
# they cannot (no 32-bit DLLs, a kernel without 32-bit system calls) a 32-bit program may end with
# exit code 0 having done nothing, so only the line counts.
wow64_runs() {
    [[ "$(wine build/win32/wow64-probe.exe </dev/null 2>/dev/null | tr -d '\r')" == "32-bit code runs" ]]
}

# Whether the shipped program runs here; else it runs in the virtual machine (scripts/lib/vm.sh)
# and wow64_why says why: 32-bit programs cannot run here, or ZAPATCH_TIER32=vm asks for it.
wow64_here() {
    if [[ "${ZAPATCH_TIER32:-}" == vm ]]; then
        wow64_why="ZAPATCH_TIER32=vm asks for it"
        return 1
    fi
    wow64_runs && return
    wow64_why="32-bit programs do not run here: Wine's 32-bit DLLs or the kernel's 32-bit support are missing (WINEDLLPATH=$WINEDLLPATH)"
    return 1
}
