// Kept blocks: a list buffer given back is the one the next load of about its size gets, without
// holding on to more than a few, nor to a block far larger than what is asked for.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/LargeBuffer.h"

namespace platform {
namespace {

constexpr size_t kMiB = size_t(1) << 20;

class KeptBlocks : public ::testing::Test {
protected:
    void SetUp() override { FreeKeptBlocks(); }
    void TearDown() override { FreeKeptBlocks(); }
};

TEST_F(KeptBlocks, ABlockGivenBackServesTheNextRequestOfAboutItsSize) {
    void* list = TakeBlock(40 * kMiB + 123);
    ASSERT_NE(list, nullptr);
    std::memset(list, 0x5A, 40 * kMiB + 123);  // written in full, as a list is
    GiveBackBlock(list, 40 * kMiB + 123);
    EXPECT_EQ(KeptBlockBytes(), 42 * kMiB);  // rounded to whole huge pages

    // A reply of a few bytes more gets the same memory, not zeroed again.
    void* reply = TakeBlock(40 * kMiB + 200);
    EXPECT_EQ(reply, list);
    EXPECT_EQ(static_cast<unsigned char*>(reply)[0], 0x5A);
    EXPECT_EQ(KeptBlockBytes(), 0u);

    // A request for less than half of it leaves it kept.
    GiveBackBlock(reply, 40 * kMiB + 200);
    void* small = TakeBlock(16 * kMiB);
    EXPECT_NE(small, reply);
    EXPECT_EQ(KeptBlockBytes(), 42 * kMiB);
    GiveBackBlock(small, 16 * kMiB);
    // A request larger than every kept block is new memory.
    void* large = TakeBlock(64 * kMiB);
    EXPECT_NE(large, reply);
    EXPECT_NE(large, small);
    GiveBackBlock(large, 64 * kMiB);
}

TEST_F(KeptBlocks, OnlyAFewLargeBlocksAreKept) {
    // Small blocks are malloc's business.
    GiveBackBlock(TakeBlock(64 * 1024), 64 * 1024);
    EXPECT_EQ(KeptBlockBytes(), 0u);
    // At most eight, the oldest going first.
    std::vector<void*> blocks;
    for (int i = 0; i < 10; ++i) blocks.push_back(TakeBlock(4 * kMiB));
    for (void* b : blocks) GiveBackBlock(b, 4 * kMiB);
    EXPECT_EQ(KeptBlockBytes(), 8 * 4 * kMiB);
    void* again = TakeBlock(4 * kMiB);
    EXPECT_NE(again, blocks[0]);
    EXPECT_NE(again, blocks[1]);
    GiveBackBlock(again, 4 * kMiB);
    // Nor more than half a gigabyte in all.
    void* huge = TakeBlock(600 * kMiB);  // not touched: costs no memory
    ASSERT_NE(huge, nullptr);
    GiveBackBlock(huge, 600 * kMiB);
    EXPECT_LE(KeptBlockBytes(), 512 * kMiB);
    EXPECT_EQ(KeptBlockBytes(), 8 * 4 * kMiB);  // and a block too large to keep evicts none
    FreeKeptBlocks();
    EXPECT_EQ(KeptBlockBytes(), 0u);
}

}  // namespace
}  // namespace platform
