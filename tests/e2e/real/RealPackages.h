#pragma once

// End-to-end tests on real Windows Installer packages. The test program, ZAPatch.exe and the
// service stand-ins sit in build/win64/real beside an msi.dll that forwards to Wine's own Windows
// Installer (renamed msi_real.dll), and no msiexec.exe: the program starts Wine's own, which
// applies and registers the patches. Each test installs the test product (product.msi) and
// removes it again, with every patch applied to it.

#include "e2e/EndToEnd.h"

#include <string>
#include <vector>

// The test product's code, as product.wxs declares it, and a product that is not installed.
inline constexpr wchar_t kRealProduct[] = L"{3C9E1A52-7B4D-4F86-A0D2-6E81B5C4F937}";
inline constexpr wchar_t kAbsentProduct[] = L"{7E05C1B9-2D46-4A8F-93B0-C5D7E8F1A264}";

class RealPackagesTest : public EndToEndTest
{
  protected:
    void SetUp() override;
    void TearDown() override;

    // A real patch file in the patches folder: patch code Code(code), the letter as its
    // Description, for the given product.
    void AddRealPatch(const std::wstring& name, int code, const std::wstring& letter,
                      const std::wstring& product = kRealProduct) const;
    // Runs the ZAPatch.exe of the folder "multi", where msiexec.exe is ours: it hands the
    // update command line to the engine's MsiApplyMultiplePatchesW, since Wine's own takes one
    // patch per /update.
    CProgramRun RunWithThinMsiexec(const std::wstring& arguments);
    // The patches Wine's engine lists as applied to the test product.
    static std::vector<std::wstring> RegisteredPatches();
    std::string InstallerLog() const { return ReadFileBytes(m_traceFolder + L"\\ZAPatchMSI.log"); }

  private:
    static void RemoveProduct();
};
