#include "ServiceTestSupport.h"

#include "service/LatticeRemote.h"
#include "service/TaskManagerProxy.h"

#include <memory>

using Lines = std::vector<std::string>;

namespace
{
const Lines kSetUpCalls = {"LTGetAPI2", "Init ZAPatch 1 0", "GetRoot"};
} // namespace

TEST_F(ServiceTest, LibraryBesideTheProgramIsSetUpAndReleased)
{
    auto framework = std::make_unique<CLatticeRemote>();
    EXPECT_EQ(0, framework->SetUp(GetModuleHandleW(nullptr), &kZAPatchClientId));
    EXPECT_TRUE(framework->IsReady());
    ASSERT_NE(nullptr, framework->Root());
    EXPECT_EQ(framework->Root(), LatticeRootObject());
    EXPECT_EQ(kSetUpCalls, Journal());

    framework.reset();
    EXPECT_EQ("Deinit", Journal().back());
    EXPECT_EQ(nullptr, LatticeRootObject());
}

TEST_F(ServiceTest, MissingLibraryCallsNothing)
{
    Switch(L"REFUSE_LOAD", L"1");
    {
        CLatticeRemote framework;
        EXPECT_EQ(static_cast<LTStatus>(0x800001C1), framework.SetUp(nullptr, &kZAPatchClientId));
        EXPECT_FALSE(framework.IsReady());
        EXPECT_EQ(nullptr, framework.Root());
        CTaskManagerProxy taskManager(framework);
        EXPECT_FALSE(taskManager.Attach());
    }
    EXPECT_FALSE(FileExists(JournalPath()));
}

// The library beside the given module wins over the one the system's search finds first.
TEST_F(ServiceTest, LibraryWithoutGetApiIsNeverDeinitialised)
{
    HMODULE module = LibraryWithoutApi();
    ASSERT_NE(nullptr, module);
    {
        CLatticeRemote framework;
        EXPECT_EQ(static_cast<LTStatus>(0x8000006B), framework.SetUp(module, &kZAPatchClientId));
        EXPECT_EQ(nullptr, framework.Root());
    }
    EXPECT_FALSE(FileExists(JournalPath()));
}

TEST_F(ServiceTest, FailedInitIsNotUndoneButFailedGetRootIs)
{
    Switch(L"INIT_FAILS", L"1");
    {
        CLatticeRemote framework;
        EXPECT_GT(0, framework.SetUp(GetModuleHandleW(nullptr), &kZAPatchClientId));
    }
    EXPECT_EQ(Lines({"LTGetAPI2", "Init ZAPatch 1 0"}), Journal());

    Switch(L"INIT_FAILS", nullptr);
    // A root that is missing though GetRoot succeeded is a failed set-up too.
    for (const wchar_t* failure : {L"GETROOT_FAILS", L"GETROOT_NULL"})
    {
        DeleteFileW(JournalPath().c_str());
        Switch(failure, L"1");
        {
            CLatticeRemote framework;
            EXPECT_GT(0, framework.SetUp(GetModuleHandleW(nullptr), &kZAPatchClientId));
            EXPECT_FALSE(framework.IsReady());
            EXPECT_EQ(nullptr, framework.Root());
        }
        EXPECT_EQ(Lines({"LTGetAPI2", "Init ZAPatch 1 0", "GetRoot", "Deinit"}), Journal());
        Switch(failure, nullptr);
    }
}

TEST_F(ServiceTest, AttachTwiceReleasesTheFirstProxy)
{
    CLatticeRemote framework;
    ASSERT_EQ(0, framework.SetUp(GetModuleHandleW(nullptr), &kZAPatchClientId));
    {
        CTaskManagerProxy taskManager(framework);
        EXPECT_TRUE(taskManager.Attach());
        EXPECT_TRUE(taskManager.Attach());
        EXPECT_TRUE(taskManager.IsAttached());
    }
    Lines expected = kSetUpCalls;
    expected.insert(expected.end(),
                    {"AllocMem 12", "AttachProxy -1 TaskManager -> 1", "ReleaseProxy 1",
                     "AttachProxy -1 TaskManager -> 2", "FreeMem 12", "ReleaseProxy 2"});
    EXPECT_EQ(expected, Journal());
}
