#include "tables/text_list.h"

#include <algorithm>
#include <cstring>

namespace passerelle {

TextList::TextList(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines)
    append(line);
}

void TextList::clear() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  lines_.clear();
  lines_.shrink_to_fit();
}

void TextList::append(std::string_view line) {
  lines_.push_back({buffer_.size(), line.size()});
  buffer_.append(line);
}

std::string_view TextList::line(std::size_t index) const {
  if (index >= lines_.size())
    return {};
  return std::string_view(buffer_).substr(lines_[index].offset, lines_[index].length);
}

void TextList::loadText(std::string text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos)
    text.resize(nul);
  std::vector<Span> lines;
  const char* const data = text.data();
  const std::size_t size = text.size();
  // The next CR and the next LF are each looked up once and kept until the
  // scan passes them, so LF-only and CR-only texts stay linear.
  auto next = [&](char wanted, std::size_t from) {
    const void* hit = from < size ? std::memchr(data + from, wanted, size - from) : nullptr;
    return hit == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(hit) - data);
  };
  std::size_t start = 0;
  std::size_t nextCr = next('\r', 0);
  std::size_t nextLf = next('\n', 0);
  while (start < size) {
    if (nextCr < start)
      nextCr = next('\r', start);
    if (nextLf < start)
      nextLf = next('\n', start);
    const std::size_t end = std::min(nextCr, nextLf);
    if (end == size)
      break;
    lines.push_back({start, end - start});
    start = end + 1;
    if (end == nextCr && start < size && data[start] == '\n')
      ++start;
  }
  if (start < size)
    lines.push_back({start, size - start});
  buffer_ = std::move(text);
  lines_ = std::move(lines);
}

std::string TextList::text() const {
  std::string joined;
  joined.reserve(buffer_.size() + 2 * lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    joined.append(line(i));
    joined.append("\r\n");
  }
  return joined;
}

}  // namespace passerelle
