#include "ServiceTestSupport.h"

#include "service/LatticeRemote.h"
#include "service/Serializable.h"

namespace
{
constexpr LTStatus kNotSupported = static_cast<LTStatus>(0x8000005D);
constexpr LTStatus kIncompatible = static_cast<LTStatus>(0x800000C0);

// The framework's view of a record: its table's slots, called by position.
const LTFunction* SlotsOf(const cSerializable& record)
{
    return *reinterpret_cast<const LTFunction* const*>(&record);
}
} // namespace

TEST(Serializable, RequestAssignsOnlyTheProcessIdOfRequests)
{
    cFSSyncRequest target(1, 100), first(7, 200), second(7, 300);
    EXPECT_EQ(0, target.AssignFrom(&first, FALSE, FALSE));
    EXPECT_EQ(1u, target.Value());
    EXPECT_EQ(200u, target.ProcessId());

    EXPECT_EQ(0, target.AssignFrom(&second, FALSE, TRUE));
    EXPECT_EQ(200u, target.ProcessId());

    cSerializable plain(5);
    EXPECT_EQ(kNotSupported, target.AssignFrom(&plain, FALSE, FALSE));
    EXPECT_EQ(kIncompatible, target.AssignFrom(&plain, TRUE, FALSE));
    EXPECT_EQ(200u, target.ProcessId());
}

TEST(Serializable, CopyToGoesThroughTheTargetsAssign)
{
    cFSSyncRequest source(1, 42), target(2, 0);
    EXPECT_EQ(0, source.CopyTo(&target, FALSE));
    EXPECT_EQ(42u, target.ProcessId());

    cSerializable plain(3);
    EXPECT_EQ(kNotSupported, source.CopyTo(&plain, TRUE));
    EXPECT_EQ(kNotSupported, plain.CopyTo(&target, TRUE));
    EXPECT_EQ(kNotSupported, plain.AssignFrom(&source, TRUE, FALSE));
}

TEST(Serializable, SlotsAreInTheFrameworksOrder)
{
    cFSSyncRequest request(1, 9);
    const LTFunction* slots = SlotsOf(request);
    EXPECT_EQ(0x229000u, LTSlot<uint32_t(LT_CALL*)(const cSerializable*)>(slots, 0)(&request));
    auto isBasedOn = LTSlot<BOOL(LT_CALL*)(const cSerializable*, uint32_t)>(slots, 1);
    EXPECT_TRUE(isBasedOn(&request, 0x229000));
    EXPECT_TRUE(isBasedOn(&request, 0xFFFFFFFF));
    EXPECT_FALSE(isBasedOn(&request, 0x229001));
    EXPECT_EQ(sizeof(void*) + 8,
              LTSlot<uint32_t(LT_CALL*)(const cSerializable*)>(slots, 4)(&request));

    cSerializable plain;
    EXPECT_EQ(0xFFFFFFFFu,
              LTSlot<uint32_t(LT_CALL*)(const cSerializable*)>(SlotsOf(plain), 0)(&plain));
    EXPECT_FALSE(plain.IsBasedOn(0x229000));
    EXPECT_EQ(0, plain.Slot5());
}

TEST_F(ServiceTest, ReinitializeLetsTheTypesHandlerWorkAndKeepsTheValue)
{
    CLatticeRemote framework;
    ASSERT_EQ(0, framework.SetUp(GetModuleHandleW(nullptr), &kZAPatchClientId));
    cFSSyncRequest request(1, 9);
    LTSlot<void(LT_CALL*)(cSerializable*)>(SlotsOf(request), 7)(&request);
    EXPECT_EQ(1u, request.Value());
    std::vector<std::string> journal = Journal();
    std::vector<std::string> tail(journal.end() - 3, journal.end());
    EXPECT_EQ(std::vector<std::string>({"FindSerializableType 229000", "Handler free value 0",
                                        "Handler init value 0 flags 0"}),
              tail);
}
