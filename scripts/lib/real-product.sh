# The real test product under Wine, for scripts/demo (sourced after simulated-product.sh, whose
# prefix, registry and folder helpers it uses).
#
# What is real: the product package (build/win64/real/product.msi, built by wixl), the patch
# files (written by PatchWriter.exe through Wine's Windows Installer functions), Wine's own
# Windows Installer engine and its msiexec.exe, which installs the product and applies and
# registers the patches. Beside ZAPatch.exe sits our msi.dll, which forwards every call to Wine's
# msi.dll of the program's bitness (copied as msi_real.dll) and adds the one call Wine lacks,
# MsiExtractPatchXMLDataW, built from the patch's summary information. There is no msiexec.exe
# beside the program, so it starts Wine's own (the 32-bit one, from syswow64, for the shipped
# program). The framework library (ltremote.dll) and the service (omx.exe) remain
# stand-ins.

readonly REAL_BUILD=build/win64/real
readonly REAL_PRODUCT_CODE='{3C9E1A52-7B4D-4F86-A0D2-6E81B5C4F937}'

# Wine's own msiexec.exe without a user interface; fails when it fails.
real_msiexec() {
    sim_wine_quiet "$SIM_WORK/msiexec.txt" msiexec /qn "$@"
}

# Like sim_make_product, for the real product in $1 with the hotfix letters $2 and the program of
# the build folder $3: what an earlier run installed is removed (the product with every patch
# applied to it), then product.msi is installed afresh.
real_make_product() {
    sim_make_product "$1" "$2" "$3"
    rm "$SIM_PRODUCT"/{msi.dll,msiexec.exe}
    cp "$3/real"/{msi.dll,msi_real.dll} "$SIM_PRODUCT/"
    real_msiexec /x "$REAL_PRODUCT_CODE" || true
    real_msiexec /i "$(sim_winpath "$REAL_BUILD/product.msi")"
}

# A real patch file $1 in the patches folder for the product, with the code $2 and the letter $3
# as its Description.
real_patch() {
    sim_wine_quiet "$SIM_WORK/patchwriter.txt" "$REAL_BUILD/PatchWriter.exe" \
        "$(sim_winpath "$SIM_PATCHES/$1")" "$2" "$REAL_PRODUCT_CODE" "$3"
}

# Applies the patch file $1 with Wine's msiexec.exe, as an earlier update would have.
real_apply() {
    real_msiexec /update "$(sim_winpath "$SIM_PATCHES/$1")"
}

# The patch codes Wine's Windows Installer lists as applied to the product (MsiEnumPatchesW).
real_applied_patches() {
    sim_wine_quiet "$SIM_WORK/applied.txt" "$REAL_BUILD/InstalledPatches.exe" "$REAL_PRODUCT_CODE"
    tr -d '\r' <"$SIM_WORK/applied.txt"
}
