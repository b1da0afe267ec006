#include "e2e/FaultChecks.h"

#include "catalog/ProductKeys.h"

// The product's registry values missing, of the wrong type, or far too long. Only a product
// folder that cannot be used stops the run; every other value has a fallback.

namespace
{
const std::wstring kLongText(40000, L'x');

enum class Damage
{
    Missing,
    Dword,
    Long
};

const wchar_t* KeyOf(const std::wstring& name)
{
    return name == L"ProductHotfix" ? kDataKey : kEnvironmentKey;
}
} // namespace

class ProductKeysFaultTest : public EndToEndTest
{
  protected:
    ProductKeysFaultTest()
    {
        SetProductValue(L"Skin", m_product + L"\\skin");
        SetProductValue(L"Localization", L"en");
        SetMachineString(kDataKey, L"ProductHotfix", L"A");
        AddPatch(L"b.msp", 1, L"B");
    }

    static void Damage(const std::wstring& name, ::Damage damage)
    {
        DWORD number = 1;
        if (damage == Damage::Missing)
            DeleteProductValue(name, KeyOf(name));
        else if (damage == Damage::Dword)
            SetMachineValue(KeyOf(name), name, REG_DWORD, &number, sizeof(number));
        else
            SetMachineString(KeyOf(name), name, kLongText);
    }

    // A run with the value damaged still installs the new patch.
    void ExpectInstalledDespite(const std::wstring& name, ::Damage damage)
    {
        Damage(name, damage);
        CProgramRun run = Run(L"/when now");
        EXPECT_EQ(0u, run.exitCode) << Narrow(name) << run.trace;
        EXPECT_TRUE(Contains(StateFile(), State(1, "installed"))) << Narrow(name) << StateFile();
        ASSERT_EQ(2u, run.events.size()) << Narrow(name);
        EXPECT_TRUE(Contains(Narrow(run.events[1].text), "Patches installed successfully:\nb.msp"))
            << Narrow(run.events[1].text);
    }

    // The next run finds the patch new again.
    void ForgetInstallation()
    {
        m_installer.SetAppliedPatches({});
        DeleteFileW((m_patches + L"\\Patches.ini").c_str());
    }

    void ExpectProductFolderFailure(::Damage damage)
    {
        std::string before = StateFile();
        Damage(L"ProductRoot", damage);
        CProgramRun run = Run(L"/when now");
        // Any value type is read as text: only a missing folder leaves the event source
        // unregistered.
        if (damage == Damage::Missing)
            ExpectFailedRunWithoutEvent(run, "CUsingOMX::CUsingOMX: ");
        else
            ExpectFailedRun(run, "CUsingOMX::CUsingOMX: ");
        EXPECT_EQ(before, StateFile());
        EXPECT_TRUE(MsiexecCommandLines().empty());
    }
};

TEST_F(ProductKeysFaultTest, ProductRootOfTheWrongTypeFailsTheRunBeforeAnyChange)
{
    ExpectProductFolderFailure(Damage::Dword);
}

TEST_F(ProductKeysFaultTest, ProductRootTooLongFailsTheRunBeforeAnyChange)
{
    ExpectProductFolderFailure(Damage::Long);
}

// A 32-bit program reads HKEY_LOCAL_MACHINE\Software through Wow6432Node and a 64-bit one past
// it: a product folder registered only in the other view is no product folder for the program.
TEST_F(ProductKeysFaultTest, ProductRootOnlyInTheOtherRegistryViewIsNotSeen)
{
    REGSAM otherView = ProgramView() == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    SetMachineString(kEnvironmentKey, L"ProductRoot", m_product, otherView);
    ExpectProductFolderFailure(Damage::Missing);
}

// Without a trace folder the trace goes to the working folder, and so does the installer's log.
TEST_F(ProductKeysFaultTest, TraceRootMissingKeepsTheRunGoing)
{
    ExpectInstalledDespite(L"TraceRoot", Damage::Missing);
    EXPECT_TRUE(FileExists(m_patches + L"\\ZAPatchMSI.log"));
}

// The installer's log lies in the trace folder: in a folder named by a number or by 40,000
// characters msiexec.exe cannot open it and installs nothing (1622). The trace is lost with it,
// but the failure is reported and the patch stays waiting.
TEST_F(ProductKeysFaultTest, TraceRootUnusableFailsTheInstallation)
{
    for (::Damage damage : {Damage::Dword, Damage::Long})
    {
        Damage(L"TraceRoot", damage);
        ExpectFailedInstallationWithoutTrace(Run(L"/when now"));
        EXPECT_TRUE(m_installer.AppliedPatches().empty()) << MsiexecCommandLines();
        EXPECT_TRUE(Contains(StateFile(), State(1, "not_installed"))) << StateFile();
    }
}

TEST_F(ProductKeysFaultTest, LocalizationSettingsDamagedFallBackToTheBuiltInTexts)
{
    for (const wchar_t* name : {L"Skin", L"Localization"})
        for (::Damage damage : {Damage::Missing, Damage::Dword, Damage::Long})
        {
            ExpectInstalledDespite(name, damage);
            SetProductValue(L"Skin", m_product + L"\\skin");
            SetProductValue(L"Localization", L"en");
            ForgetInstallation();
        }
}

TEST_F(ProductKeysFaultTest, ProductHotfixMissingOrOfTheWrongTypeCountsAsNoHotfix)
{
    for (::Damage damage : {Damage::Missing, Damage::Dword})
    {
        ExpectInstalledDespite(L"ProductHotfix", damage);
        ForgetInstallation();
    }
}

// One installed letter of 40,000 characters is newer than every shorter one.
TEST_F(ProductKeysFaultTest, ProductHotfixTooLongLeavesOlderLettersAlone)
{
    Damage(L"ProductHotfix", Damage::Long);
    CProgramRun run = Run(L"/when now");
    ExpectSuccessfulRun(run);
    EXPECT_TRUE(MsiexecCommandLines().empty());
    ASSERT_EQ(2u, run.events.size());
    EXPECT_TRUE(Contains(Narrow(run.events[1].text), "Patches installed successfully.\n"));
}
