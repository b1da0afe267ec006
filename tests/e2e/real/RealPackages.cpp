#include "e2e/real/RealPackages.h"

#include "AppliedPatches.h"
#include "RealPatchWriter.h"

#include "catalog/FileSystemUtils.h"

#include <msi.h>

namespace
{
std::wstring ProductPackage()
{
    std::wstring self = GetModuleFilePath();
    return self.substr(0, self.rfind(L'\\')) + L"\\product.msi";
}
} // namespace

void RealPackagesTest::SetUp()
{
    if (!FileExists(ProgramPath())) // only the 32-bit folder may be missing
        GTEST_SKIP()
            << "no " << Narrow(ProgramPath()) << ": the 32-bit build lays out its "
            << "real-package folder only beside Wine's 32-bit DLLs (scripts/prepare-wow64)";
    EndToEndTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    RemoveProduct(); // what a test that did not finish left behind
    ASSERT_EQ(ERROR_SUCCESS, MsiInstallProductW(ProductPackage().c_str(), L""));
    ASSERT_TRUE(RegisteredPatches().empty());
}

void RealPackagesTest::TearDown()
{
    RemoveProduct();
    EndToEndTest::TearDown();
}

void RealPackagesTest::RemoveProduct()
{
    if (MsiQueryProductStateW(kRealProduct) != INSTALLSTATE_DEFAULT)
        return;
    EXPECT_EQ(ERROR_SUCCESS,
              MsiConfigureProductW(kRealProduct, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT));
}

void RealPackagesTest::AddRealPatch(const std::wstring& name, int code, const std::wstring& letter,
                                    const std::wstring& product) const
{
    ASSERT_EQ(ERROR_SUCCESS,
              WriteRealPatch(m_patches + L"\\" + name, {Code(code), product, letter}));
}

CProgramRun RealPackagesTest::RunWithThinMsiexec(const std::wstring& arguments)
{
    std::wstring program = ProgramPath();
    program.insert(program.rfind(L'\\'), L"\\multi");
    return RunCommandLine(L"\"" + program + L"\" " + arguments);
}

std::vector<std::wstring> RealPackagesTest::RegisteredPatches()
{
    std::vector<std::wstring> codes;
    EXPECT_EQ(ERROR_SUCCESS, AppliedPatches(kRealProduct, codes));
    return codes;
}
