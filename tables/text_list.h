#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace passerelle {

// A multi-line text box used as a list of lines: the raw text view, the test
// first names and the class list. Lines are Windows-1252 bytes.
class TextList {
 public:
  TextList() = default;
  TextList(std::initializer_list<std::string_view> lines);

  void clear();
  void append(std::string_view line);
  std::size_t count() const { return lines_.size(); }
  // Lines are counted from 0; an index past the end gives the empty text.
  std::string_view line(std::size_t index) const;

  // Replaces the content with a whole text, taking ownership of the buffer
  // without copying it. The text ends before its first NUL byte; each CR LF
  // pair, lone CR and lone LF is one line break; a last empty piece is no
  // line, so "a\r\n" is one line and "" none.
  void loadText(std::string text);

  // The lines joined by CR LF, each line ended by it, as a text box shows
  // its text.
  std::string text() const;

 private:
  struct Span {
    std::size_t offset;
    std::size_t length;
  };
  std::string buffer_;
  std::vector<Span> lines_;
};

}  // namespace passerelle
