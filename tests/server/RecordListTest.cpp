#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Trace.h"
#include "server/RecordList.h"

using namespace server;

namespace {

const char kExtWarning[] = "Warning: size of ExtRec got from server is not same as that of definition\n";
const char kGroupWarning[] = "Warning: size of WORKGRPREC got from server is not same as that of definition\n";

// Runs f with the trace on and returns what it wrote.
template <class F>
std::string Traced(F f) {
    platform::SetTraceEnabled(true);
    testing::internal::CaptureStderr();
    f();
    std::string out = testing::internal::GetCapturedStderr();
    platform::SetTraceEnabled(false);
    return out;
}

std::vector<std::uint8_t> ExtListOf(std::size_t L, std::size_t count) {
    std::vector<std::uint8_t> b(L * count, 0);
    for (std::size_t k = 0; k < count; ++k) ExtRec(b.data() + k * L, L).SetExtensionNumber(std::to_string(100 + k));
    return b;
}

}  // namespace

TEST(CutExtList, RecordsOfTheReportedLengthBackToBack) {
    for (std::size_t L : {std::size_t{2400}, std::size_t{2600}, std::size_t{1500}}) {
        auto b = ExtListOf(L, 3);
        std::optional<ExtList> list;
        EXPECT_EQ(Traced([&] { list = CutExtList(b.data(), b.size(), L); }), "");
        ASSERT_TRUE(list);
        ASSERT_EQ(list->size(), 3u);
        EXPECT_EQ(list->RecordLength(), L);
        EXPECT_EQ((*list)[2].data(), b.data() + 2 * L);  // a view into the buffer, not a copy
        EXPECT_EQ((*list)[2].size(), L);
        std::vector<std::string> numbers;
        for (ConstExtRec r : *list) numbers.emplace_back(r.ExtensionNumber());
        EXPECT_EQ(numbers, (std::vector<std::string>{"100", "101", "102"}));
    }
}

TEST(CutExtList, RemainderOrZeroLengthRefusesTheWholeList) {
    auto b = ExtListOf(2400, 2);
    b.push_back(0);
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutExtList(b.data(), b.size(), 2400)); }), kExtWarning);
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutExtList(b.data(), b.size(), 0)); }), kExtWarning);
    // A length longer than the whole list leaves a remainder too.
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutExtList(b.data(), 1000, 2400)); }), kExtWarning);
}

TEST(CutExtList, EmptyListIsAccepted) {
    const std::uint8_t* none = nullptr;
    auto list = CutExtList(none, 0, 2400);
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->empty());
    EXPECT_EQ(list->begin(), list->end());
}

TEST(CutWorkgroupList, CutWithFirstRecordSize) {
    const std::size_t L = 3700;  // shorter than the 4300 of the definition
    std::vector<std::uint8_t> b(2 * L, 0);
    for (std::size_t k = 0; k < 2; ++k) {
        WORKGRPREC g(b.data() + k * L, L);
        g.SetRecordSize(L);
        g.SetGroupNumber(std::to_string(500 + k));
        g.SetMember(0, "100");
    }
    const std::uint8_t* cb = b.data();
    auto list = CutWorkgroupList(cb, b.size());
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[1].GroupNumber(), "501");
    EXPECT_EQ((*list)[1].MemberCount(), 1u);
    // 3700 ends inside member entry 123, so the later entries of a short record are absent.
    EXPECT_EQ((*list)[1].Member(127), "");
}

TEST(CutWorkgroupList, BadRecordSizeRefusesWithWarning) {
    std::vector<std::uint8_t> b(4300 * 2, 0);
    WORKGRPREC first(b.data(), 4300);

    first.SetRecordSize(4000);  // remainder
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutWorkgroupList(b.data(), b.size())); }), kGroupWarning);
    first.SetRecordSize(0);
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutWorkgroupList(b.data(), b.size())); }), kGroupWarning);
    first.SetRecordSize(9000);  // more than the buffer
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutWorkgroupList(b.data(), b.size())); }), kGroupWarning);
    // Too short to hold RecordSize at all.
    EXPECT_EQ(Traced([&] { EXPECT_FALSE(CutWorkgroupList(b.data(), 3)); }), kGroupWarning);

    first.SetRecordSize(4300);
    auto list = CutWorkgroupList(b.data(), b.size());
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), 2u);

    auto empty = CutWorkgroupList(b.data(), 0);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}
