#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/large_pages.h"

namespace passerelle {

// A multi-line text box used as a list of lines: the raw text view, the test
// first names and the class list. Lines are Windows-1252 bytes.
//
// The text lies in one buffer that copies of the list, and tables imported
// from it, share: bytes already in it are never changed, so a table may keep
// pointing at them after the list itself was cleared or replaced.
class TextList {
 public:
  TextList() = default;
  TextList(std::initializer_list<std::string_view> lines);

  void clear();
  void append(std::string_view line);
  // Only one of the two line tables is ever in use.
  std::size_t count() const {
    const std::size_t starts = std::max(starts_.size(), wideStarts_.size());
    return starts > 0 ? starts - 1 : 0;
  }
  // Lines are counted from 0; an index past the end gives the empty text.
  std::string_view line(std::size_t index) const {
    if (index + 1 < starts_.size())
      return Between(starts_[index], starts_[index + 1]);
    if (index + 1 < wideStarts_.size())
      return Between(wideStarts_[index], wideStarts_[index + 1]);
    return {};
  }

  // Replaces the content with a whole text, taking ownership of the buffer
  // without copying it. The text ends before its first NUL byte; each CR LF
  // pair, lone CR and lone LF is one line break; a last empty piece is no
  // line, so "a\r\n" is one line and "" none.
  void loadText(std::string text);
  // The same for `size` bytes at the start of `bytes`.
  void loadText(LargeBlock bytes, std::size_t size);

  // The buffer every line lies in, for a table that keeps the lines' bytes
  // instead of copying them. Null while the list has never held a byte.
  const std::shared_ptr<const char>& sharedText() const { return text_; }

  // The lines joined by CR LF, each line ended by it, as a text box shows
  // its text.
  std::string text() const;

 private:
  // Where each line starts in the text, then where the text ends: four
  // bytes a line for any text below 4 GB, which a big file's million lines
  // are. A line runs up to the next one's start, less its line break: a
  // loaded line holds neither CR nor LF, so its break is what it ends with,
  // and append() ends each line it adds with a CR LF of its own.
  // A big file's line table is a large block of its own.
  template <typename Offset>
  using LineTable = std::vector<Offset, LargeBlockAllocator<Offset>>;
  std::string_view Between(std::size_t begin, std::size_t end) const {
    const char* const text = text_.get();
    if (end > begin && text[end - 1] == '\n')
      --end;
    if (end > begin && text[end - 1] == '\r')
      --end;
    return std::string_view(text + begin, end - begin);
  }
  void loadShared(std::shared_ptr<const char> text, std::size_t size);
  template <typename Offset>
  static LineTable<Offset> FindLines(const char* data, std::size_t size);

  std::shared_ptr<const char> text_;
  std::size_t size_ = 0;
  // Room after size_ that append() may fill in place: only in a buffer this
  // list made for appending and shares with nobody.
  char* writable_ = nullptr;
  std::size_t capacity_ = 0;
  LineTable<std::uint32_t> starts_;
  LineTable<std::size_t> wideStarts_;
};

}  // namespace passerelle
