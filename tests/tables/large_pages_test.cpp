#include "tables/large_pages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace passerelle {
namespace {

constexpr std::size_t kMB = std::size_t{1} << 20;

struct Held {
  LargeBlock block;
  std::size_t size;
  char mark;
};

bool StillMarked(const Held& held) {
  for (std::size_t at = 0; at < held.size; at += 4096) {
    if (held.block[at] != held.mark)
      return false;
  }
  return held.block[held.size - 1] == held.mark;
}

// Freed large blocks are kept, cut up and merged for the next ones: a block
// handed out twice, or a run kept while still in use, would let one table
// write over another. Every block held must keep its bytes however the
// blocks around it come and go.
TEST(LargeBlockTest, BlocksReusedAfterOthersAreFreedNeverOverlapLiveOnes) {
  struct Step {
    std::size_t size;  // 0: free the oldest block held
  };
  const Step steps[] = {{64 * 1024}, {5 * kMB}, {3 * kMB + 1}, {kMB},    {9 * kMB}, {0},
                        {0},         {2 * kMB}, {6 * kMB},     {0},      {kMB + 7}, {12 * kMB},
                        {0},         {0},       {4 * kMB},     {3 * kMB}};
  std::vector<Held> held;
  char mark = 'a';
  for (const Step& step : steps) {
    if (step.size == 0) {
      held.erase(held.begin());
    } else {
      Held next{AllocateLargeBlock(step.size), step.size, mark++};
      std::memset(next.block.get(), next.mark, next.size);
      held.push_back(std::move(next));
    }
    for (const Held& block : held)
      EXPECT_TRUE(StillMarked(block)) << "block '" << block.mark << "'";
  }
}

// A vector in large blocks grows, shrinks and is copied like any other.
TEST(LargeBlockTest, VectorInLargeBlocksKeepsItsElementsAcrossGrowth) {
  std::vector<std::size_t, LargeBlockAllocator<std::size_t>> values;
  for (std::size_t i = 0; i < 3 * kMB / sizeof(std::size_t); ++i)
    values.push_back(i * 7);
  const auto copy = values;
  values.resize(10);
  values.shrink_to_fit();
  for (std::size_t i = 0; i < copy.size(); i += 1021)
    ASSERT_EQ(copy[i], i * 7);
  EXPECT_EQ(values[9], 63u);
}

}  // namespace
}  // namespace passerelle
