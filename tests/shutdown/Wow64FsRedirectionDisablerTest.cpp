#include "catalog/ProductKeys.h"
#include "shutdown/Wow64FsRedirectionDisabler.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

TEST(Wow64FsRedirectionDisablerTest, RevertsOnlyWhatItDisabled)
{
    CRegistrySandbox registry;
    CTempFolder folder;
    CRegistrySandbox::SetString(kEnvironmentKey, L"TraceRoot", folder.Path() + L"\\");
    {
        CWow64FsRedirectionDisabler disabler;
    }
    std::string trace = ReadFileBytes(folder / L"ZAPatch.log");
    const std::string disabled = "CWow64FsRedirectionDisabler::CWow64FsRedirectionDisabler: FS "
                                 "WOW64 redirection disabled ";
    const std::string enabled = "CWow64FsRedirectionDisabler::~CWow64FsRedirectionDisabler: FS "
                                "WOW64 redirection enabled TRUE";
    bool wasDisabled = trace.find(disabled + "TRUE") != std::string::npos;
    EXPECT_TRUE(wasDisabled || trace.find(disabled + "FALSE") != std::string::npos) << trace;
    EXPECT_EQ(wasDisabled, trace.find(enabled) != std::string::npos) << trace;
    EXPECT_NE(std::string::npos,
              trace.find("CWow64FsRedirectionDisabler::~CWow64FsRedirectionDisabler: Finish"));
}
