#include "tables/progress_bar.h"

#include <gtest/gtest.h>

#include "tables/errors.h"

namespace passerelle {
namespace {

TEST(ProgressBarTest, RangeWithMaximumBelowMinimumIsRefusedAndKept) {
  ProgressBar bar;
  bar.setRange(0, 9);
  bar.setPosition(4);
  EXPECT_THROW(bar.setRange(0, -1), DisplayedError);
  EXPECT_EQ(bar.min(), 0);
  EXPECT_EQ(bar.max(), 9);
  EXPECT_EQ(bar.position(), 4);

  // A one-line file asks for 0 ... 0, which is a valid range.
  EXPECT_NO_THROW(bar.setRange(0, 0));
  EXPECT_EQ(bar.max(), 0);
}

TEST(ProgressBarTest, PositionStaysInsideTheRange) {
  ProgressBar bar;
  bar.setRange(2, 5);
  bar.setPosition(9);
  EXPECT_EQ(bar.position(), 5);
  bar.setPosition(-3);
  EXPECT_EQ(bar.position(), 2);
  bar.setPosition(5);
  bar.setRange(0, 3);
  EXPECT_EQ(bar.position(), 3);
}

}  // namespace
}  // namespace passerelle
