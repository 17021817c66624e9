#include "base/memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kOwnAllocator = true;
#else
constexpr bool kOwnAllocator = false;
#endif

// The process's resident anonymous memory, in KB (what the allocator's pools hold).
long residentAnonKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0)
            return std::atol(line.c_str() + 8);
    }
    return -1;
}

// Seen from outside, so that no allocation here is left out by the compiler.
char* volatile g_lastBlock = nullptr;

char* touchedBlock(std::size_t bytes, char fill)
{
    auto* block = static_cast<char*>(std::malloc(bytes));
    std::memset(block, fill, bytes);
    g_lastBlock = block;
    return block;
}

TEST(AllocatorMemory, PagesHeldOnlyByFreedSmallBlocksGoBackAndBlocksInUseKeepTheirBytes)
{
    if (kOwnAllocator)
        GTEST_SKIP() << "the sanitizer's allocator keeps its own pools";
    ASSERT_GT(residentAnonKb(), 0);
    // 24 MB of small blocks; one in 64 stays in use, so no page run can go back by
    // itself, and the last one stays too, so the pool's top cannot shrink either.
    constexpr int kBlocks = 24 * 1024;
    constexpr std::size_t kBytes = 1000;
    std::vector<char*> blocks;
    blocks.reserve(kBlocks);
    for (int i = 0; i < kBlocks; ++i)
        blocks.push_back(touchedBlock(kBytes, char('a' + i % 26)));
    std::vector<char*> kept;
    for (int i = 0; i < kBlocks; ++i) {
        if (i % 64 == 0 || i == kBlocks - 1)
            kept.push_back(blocks[std::size_t(i)]);
        else
            std::free(blocks[std::size_t(i)]);
    }
    const long before = residentAnonKb();

    EXPECT_TRUE(vk::ReturnFreedMemory());
    const long after = residentAnonKb();
    EXPECT_GT(before - after, 16 * 1024) << "resident " << before << " KB before, " << after << " KB after";

    // The blocks in use are untouched.
    for (char* block : kept) {
        const char fill = block[0];
        EXPECT_EQ(block[kBytes - 1], fill);
        EXPECT_EQ(std::memchr(block, fill == 'a' ? 'b' : 'a', kBytes), nullptr);
        std::free(block);
    }
    // Nothing left to give back twice over.
    vk::ReturnFreedMemory();
    EXPECT_LE(residentAnonKb(), after + 1024);
}

TEST(AllocatorMemory, LargeBlocksGoBackWhenFreedEvenAfterALargerOne)
{
    if (kOwnAllocator)
        GTEST_SKIP() << "the sanitizer's allocator keeps its own pools";
    vk::KeepLargeBlocksOutOfThePools();
    // A 16 MB block freed would otherwise teach the allocator to keep blocks up to that
    // size in its pool (a player's start-up buffer, then a decoded song).
    std::free(touchedBlock(16 * 1024 * 1024, 'x'));
    const long before = residentAnonKb();
    char* block = touchedBlock(8 * 1024 * 1024, 'y');
    EXPECT_GT(residentAnonKb(), before + 7 * 1024);
    std::free(block);
    EXPECT_LT(residentAnonKb(), before + 1024);
}

} // namespace
