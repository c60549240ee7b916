#include "tables/text_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_fixture.h"

namespace passerelle {
namespace {

using testing::Printable;

std::vector<std::string> Lines(const TextList& list) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < list.count(); ++i)
    lines.emplace_back(list.line(i));
  return lines;
}

TEST(TextListTest, LoadTextSplitsAtEveryKindOfLineBreak) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  using namespace std::string_literals;
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      // One break ends the last line; a second one makes an empty line.
      {"a\r\n\r\n", {"a", ""}},
      {"a\n\n", {"a", ""}},
      {"\r\n", {""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      // LF CR is two breaks, not one.
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      // The text stops at its first NUL, line breaks after it included.
      {"a\r\nb\0c\r\nd"s, {"a", "b"}},
      {"\0a"s, {}},
      // Ctrl-Z is an ordinary byte here.
      {"a\r\n\x1A", {"a", "\x1A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Printable(c.text));
    TextList list{"Memo1"};
    list.loadText(c.text);
    EXPECT_EQ(Lines(list), c.lines);
  }
}

TEST(TextListTest, LinesPastTheEndAreEmptyAndAppendGoesAfterTheLoadedText) {
  TextList list;
  list.loadText("a\r\nb");
  EXPECT_EQ(list.line(2), "");
  list.append("c");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(list.text(), "a\r\nb\r\nc\r\n");
  list.clear();
  EXPECT_EQ(list.count(), 0u);
  EXPECT_EQ(list.text(), "");

  // A line ends at the next one's start: a CR closing the loaded text and
  // the LF closing an empty line appended after it are two breaks, not one.
  list.loadText("a\r");
  list.append("");
  list.append("b");
  list.append("");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "", "b", ""}));

  // An appended line is kept as given, even with a break of its own.
  list.clear();
  for (const char* line : {"c\r", "d\n", "\r\n", "e\nf"})
    list.append(line);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"c\r", "d\n", "\r\n", "e\nf"}));
}

TEST(TextListTest, CopiesAppendWithoutTouchingEachOther) {
  TextList first{"a"};
  TextList second = first;
  first.append("b");
  second.append("c");
  EXPECT_EQ(Lines(first), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Lines(second), (std::vector<std::string>{"a", "c"}));
}

TEST(TextListTest, SharedTextOutlivesTheList) {
  TextList list;
  list.loadText("un\r\ndeux");
  const std::shared_ptr<const char> text = list.sharedText();
  const std::string_view second = list.line(1);
  ASSERT_EQ(second.data(), text.get() + 4);
  list.append("trois");
  list.clear();
  list.loadText("autre");
  EXPECT_EQ(second, "deux");
}

}  // namespace
}  // namespace passerelle
