#include "steps/hash_index.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace passerelle {
namespace {

using Texts = std::array<std::string_view, 2>;

std::string Key(int i) {
  return "key " + std::to_string(i);
}

TEST(RecordIndexTest, ALaterRecordReplacesAnEarlierOneOfTheSameKey) {
  struct Action {
    std::string key;
    std::string value;
    int number;
    std::size_t expectedSize;
  };
  const std::vector<Action> actions = {
      {"DUPONT Jean", "a", 1, 1},
      {"DUPONT Jea", "b", 2, 2},
      {"DUPONT Jean", "c", 3, 2},
      {"", "", -1, 3},  // an empty key is a key
      {"", "e", 5, 3},
      {"DUPONT Jean ", "f", 6, 4},
  };
  RecordIndex index(2);
  EXPECT_FALSE(index.find(""));
  for (const Action& action : actions) {
    SCOPED_TRACE(action.key + " " + action.value);
    index.put(Texts{action.key, action.value}, action.number);
    const RecordIndex::Record found = index.find(action.key);
    ASSERT_TRUE(found);
    EXPECT_EQ(found.text(0), action.key);
    EXPECT_EQ(found.text(1), action.value);
    EXPECT_EQ(found.number(), action.number);
    EXPECT_EQ(index.size(), action.expectedSize);
  }
  EXPECT_EQ(index.find("DUPONT Jea").text(1), "b");
  EXPECT_FALSE(index.find("DUPONT"));
  EXPECT_THROW(index.put(std::array<std::string_view, 1>{"x"}, 0), std::invalid_argument);
}

// A record made of another record's texts, while the arena that holds them
// grows and moves: each record filed from the one before, under a key of its
// own and under the same key.
TEST(RecordIndexTest, FilesARecordFromTheTextsOfAnother) {
  RecordIndex index(2);
  index.put(Texts{Key(0), std::string(100, 'v')}, 0);
  for (int i = 1; i < 5000; ++i) {
    const RecordIndex::Record previous = index.find(Key(i - 1));
    ASSERT_TRUE(previous);
    const std::string key = Key(i);
    index.put(Texts{key, previous.text(1)}, i);
    const RecordIndex::Record again = index.find(key);
    index.put(Texts{again.text(0), again.text(1)}, -i);
  }
  for (int i = 0; i < 5000; ++i) {
    const RecordIndex::Record found = index.find(Key(i));
    ASSERT_TRUE(found);
    ASSERT_EQ(found.text(1), std::string(100, 'v'));
    ASSERT_EQ(found.number(), -i);
  }
}

// Enough records for the table and the arena to grow many times over, or
// to be sized ahead from a count too small, right or too large: every record
// found again whole, one by one and many at once, beside keys never filed.
TEST(RecordIndexTest, FindsEveryRecordOfABigIndex) {
  constexpr int kRecords = 50000;
  for (const std::size_t expected :
       {std::size_t{0}, std::size_t{300}, std::size_t{kRecords}, std::size_t{4 * kRecords}}) {
    SCOPED_TRACE(expected);
    RecordIndex index(3);
    index.reserve(expected);
    for (int i = 0; i < kRecords; ++i) {
      const std::string key = Key(i);
      const std::string value(static_cast<std::size_t>(i % 50), static_cast<char>('a' + i % 26));
      index.put(std::array<std::string_view, 3>{key, value, i % 3 == 0 ? "" : "x"}, i);
    }
    ASSERT_EQ(index.size(), static_cast<std::size_t>(kRecords));

    std::vector<std::string> keys;
    for (int i = -100; i < kRecords + 100; ++i)
      keys.push_back(Key(i));
    const std::vector<std::string_view> views(keys.begin(), keys.end());
    std::vector<RecordIndex::Record> found(views.size());
    index.findEach(views, found);
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const int i = static_cast<int>(k) - 100;
      const RecordIndex::Record one = index.find(keys[k]);
      if (i < 0 || i >= kRecords) {
        ASSERT_FALSE(one) << keys[k];
        ASSERT_FALSE(found[k]) << keys[k];
        continue;
      }
      ASSERT_TRUE(one) << keys[k];
      ASSERT_TRUE(found[k]) << keys[k];
      for (const RecordIndex::Record& record : {one, found[k]}) {
        ASSERT_EQ(record.number(), i);
        ASSERT_EQ(record.text(0), keys[k]);
        ASSERT_EQ(record.text(1).size(), static_cast<std::size_t>(i % 50));
        ASSERT_EQ(record.text(2), i % 3 == 0 ? "" : "x");
      }
    }
  }
}

TEST(RecordIndexTest, AnEmptyIndexFindsNothing) {
  const std::array<std::string_view, 2> keys = {"", "a"};
  // Answers left from another index must not survive.
  RecordIndex other(1);
  other.put(std::array<std::string_view, 1>{"a"}, 1);
  std::vector<RecordIndex::Record> found(keys.size(), other.find("a"));
  const RecordIndex index(1);
  index.findEach(keys, found);
  EXPECT_FALSE(found[0]);
  EXPECT_FALSE(found[1]);
  EXPECT_TRUE(index.empty());
}

}  // namespace
}  // namespace passerelle
