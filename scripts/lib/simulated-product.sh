# A simulated ZOREN product under Wine, shared by scripts/demo and scripts/benchmark (sourced).
#
# The product folder holds the 64-bit test build of ZAPatch.exe with the stand-ins beside it:
# msi.dll (Windows Installer), msiexec.exe, ltremote.dll (the framework) and omx.exe (the
# service). The stand-ins keep the installed product and its applied patches in a state file
# and journal their calls to files named by ZAPATCH_STANDIN_... variables; see
# tests/standins/common/StandinFiles.h for the file formats written here.

readonly UPGRADE_CODE='{5A2F7D10-3E64-4B8C-9F01-A7C3E28D4B65}'
readonly PRODUCT_CODE='{11111111-2222-3333-4444-555555555555}'
readonly ENVIRONMENT_KEY='HKEY_LOCAL_MACHINE\Software\TessalyLab\protected\ZOREN5_1\environment'
readonly DATA_KEY='HKEY_LOCAL_MACHINE\Software\TessalyLab\protected\ZOREN5_1\Data'
readonly SCRIPTS_STATE_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Group Policy\State\Machine\Scripts\Shutdown'
readonly SCRIPTS_MIRROR_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Group Policy\Scripts\Shutdown'

# Starts a persistent wineserver for the prefix $1 (made on first use) and stops it again
# however the calling script ends. Wine's services outlive the program that started them and
# keep whatever streams they inherited, so wineboot runs with every stream redirected.
sim_start_wine() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    # The stand-in msi.dll beside the program instead of Wine's own; no Mono or Gecko prompts.
    export WINEDLLOVERRIDES="msi=n,b;mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    trap 'wineserver -k >/dev/null 2>&1' EXIT
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    wineboot -i </dev/null >/dev/null 2>&1
}

# The Windows path of a Unix path: C: for the prefix's drive_c, Z: (the whole file system) else.
sim_winpath() {
    local path
    path="$(realpath -m "$1")"
    if [[ "$path" == "$WINEPREFIX/drive_c"* ]]; then
        path="C:${path#"$WINEPREFIX/drive_c"}"
    else
        path="Z:$path"
    fi
    printf '%s' "${path//\//\\}"
}

# Runs a Wine console program with its output in the file $1 and no stream on the terminal.
sim_wine_quiet() {
    local output="$1"
    shift
    timeout 120 wine "$@" </dev/null >"$output" 2>&1
}

# Imports the lines of a .reg file body (written by the caller on standard input).
sim_reg_import() {
    local file="$SIM_WORK/import.reg"
    { echo 'REGEDIT4'; echo; cat; } >"$file"
    sim_wine_quiet "$SIM_WORK/regedit.txt" "$SIM_REGEDIT" /S "$(sim_winpath "$file")"
}

# A .reg string: backslashes and quotes escaped.
sim_reg_string() {
    local text="${1//\\/\\\\}"
    printf '"%s"' "${text//\"/\\\"}"
}

# Lays out a fresh product in $1 (a folder under the prefix's drive_c) with the stand-ins
# beside ZAPatch.exe, all taken from the build folder $3 (build/win64 when not given), the
# product's registry keys with the installed hotfix letters $2, no shutdown script registered,
# and the stand-ins' files in $SIM_WORK. Everything an earlier run left is removed first.
sim_make_product() {
    SIM_PRODUCT="$1"
    SIM_PATCHES="$SIM_PRODUCT/Patches"
    SIM_TRACE="$SIM_PRODUCT/Trace"
    SIM_WORK="$(dirname "$WINEPREFIX")/work"
    local hotfixes="$2" build="${3:-build/win64}"
    # The keys go to the registry view of the program: the shipped 32-bit one reads
    # HKEY_LOCAL_MACHINE\Software through Wow6432Node, as the 32-bit regedit writes it.
    SIM_REGEDIT=regedit
    [[ "$build" == build/win32 ]] && SIM_REGEDIT='C:\windows\syswow64\regedit.exe'
    rm -rf "$SIM_PRODUCT" "$SIM_WORK"
    rm -f "$WINEPREFIX/drive_c/windows/system32/GroupPolicy/Machine/Scripts/scripts.ini"
    mkdir -p "$SIM_PATCHES" "$SIM_TRACE" "$SIM_WORK"
    cp "$build"/{ZAPatch.exe,msi.dll,msiexec.exe,ltremote.dll,omx.exe} "$SIM_PRODUCT/"
    sim_reg_import <<EOF
[-HKEY_LOCAL_MACHINE\Software\TessalyLab]
[-$SCRIPTS_STATE_KEY]
[-$SCRIPTS_MIRROR_KEY]

[$ENVIRONMENT_KEY]
"ProductRoot"=$(sim_reg_string "$(sim_winpath "$SIM_PRODUCT")")
"TraceRoot"=$(sim_reg_string "$(sim_winpath "$SIM_TRACE")\\")
"Skin"="%ProductRoot%\\\\skin"
"Localization"="en"

[$DATA_KEY]
"ProductHotfix"=$(sim_reg_string "$hotfixes")
EOF
    export ZAPATCH_STANDIN_MSI_STATE ZAPATCH_STANDIN_MSI_JOURNAL ZAPATCH_STANDIN_MSIEXEC_CMDLINE
    export ZAPATCH_STANDIN_LTREMOTE_JOURNAL
    ZAPATCH_STANDIN_MSI_STATE="$(sim_winpath "$SIM_WORK/installer-state.txt")"
    ZAPATCH_STANDIN_MSI_JOURNAL="$(sim_winpath "$SIM_WORK/installer-calls.txt")"
    ZAPATCH_STANDIN_MSIEXEC_CMDLINE="$(sim_winpath "$SIM_WORK/msiexec-cmdline.txt")"
    ZAPATCH_STANDIN_LTREMOTE_JOURNAL="$(sim_winpath "$SIM_WORK/service-calls.txt")"
    # The test build may skip the service link's waits of seconds between its checks.
    export ZAPATCH_TEST_NO_WAITS=1
}

# The product's service runs, as on a working machine: otherwise a run would first look for it
# 30 times, a second apart (the shipped program waits for real), and then start it.
sim_start_service() {
    wine "$SIM_PRODUCT/omx.exe" </dev/null >/dev/null 2>&1 &
    SIM_SERVICE_PID=$!
    sleep 1
}
sim_stop_service() {
    kill "$SIM_SERVICE_PID" 2>/dev/null || true
    wait "$SIM_SERVICE_PID" 2>/dev/null || true
}

# {0000000n-0000-0000-0000-000000000000}: a patch code that sorts with n.
sim_code() {
    printf '{%08d-0000-0000-0000-000000000000}' "$1"
}

# A stand-in patch file $1 declaring the code $2 with the letter $3 as its Description.
sim_patch() {
    printf '%s\n' 'ZAPATCH STANDIN PATCH' "PatchCode=$2" "Description=$3" \
        "XML=<MsiPatch xmlns=\"http://www.microsoft.com/msi/patch_applicability.xsd\" SchemaVersion=\"1.0.0.0\" PatchGUID=\"$2\" MinMsiVersion=\"3\"><TargetProduct MinMsiVersion=\"3\"/></MsiPatch>" \
        >"$SIM_PATCHES/$1"
}

# The installed product with the applied patch codes given as arguments.
sim_installer_state() {
    {
        echo "UpgradeCode=$UPGRADE_CODE"
        echo "ProductCode=$PRODUCT_CODE"
        printf 'Patch=%s\n' "$@"
    } | grep -vx 'Patch=' >"$SIM_WORK/installer-state.txt"
}

# Patches.ini with the "code=state" lines given as arguments.
sim_state_file() {
    printf '[PATCHES_STATE]\r\n' >"$SIM_PATCHES/Patches.ini"
    printf '%s\r\n' "$@" >>"$SIM_PATCHES/Patches.ini"
}

# Runs ZAPatch.exe with the arguments; Wine prints the reported events (WINEDEBUG=+eventlog)
# to standard error, which goes to $SIM_WORK/events.txt. Sets SIM_EXIT to the exit code.
sim_run() {
    SIM_EXIT=0
    WINEDEBUG=+eventlog timeout 120 wine "$SIM_PRODUCT/ZAPatch.exe" "$@" \
        </dev/null >"$SIM_WORK/stdout.txt" 2>"$SIM_WORK/events.txt" || SIM_EXIT=$?
}
