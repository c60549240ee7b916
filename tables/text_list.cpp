#include "tables/text_list.h"

#include <algorithm>
#include <cstring>

#include "tables/byte_scan.h"

namespace passerelle {

TextList::TextList(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines)
    append(line);
}

void TextList::clear() {
  text_.reset();
  size_ = 0;
  writable_ = nullptr;
  capacity_ = 0;
  starts_.clear();
  starts_.shrink_to_fit();
  wideStarts_.clear();
  wideStarts_.shrink_to_fit();
}

void TextList::append(std::string_view line) {
  // The line and the CR LF that ends it, whatever the line holds: a line
  // given with a CR or LF of its own at its end keeps it.
  const std::size_t added = line.size() + 2;
  // Bytes someone else may be reading are never written over: a shared or
  // full buffer is replaced by a larger copy.
  if (writable_ == nullptr || text_.use_count() != 1 || capacity_ - size_ < added) {
    const std::size_t capacity = std::max({std::size_t{64}, 2 * capacity_, size_ + added});
    std::shared_ptr<char[]> larger(new char[capacity]);
    if (size_ > 0)
      std::memcpy(larger.get(), text_.get(), size_);
    writable_ = larger.get();
    capacity_ = capacity;
    text_ = std::shared_ptr<const char>(std::move(larger), writable_);
  }
  if (!line.empty())
    std::memcpy(writable_ + size_, line.data(), line.size());
  writable_[size_ + line.size()] = '\r';
  writable_[size_ + line.size() + 1] = '\n';
  const std::size_t end = size_ + added;
  if (wideStarts_.empty() && end <= UINT32_MAX) {
    if (starts_.empty())
      starts_.push_back(static_cast<std::uint32_t>(size_));
    starts_.push_back(static_cast<std::uint32_t>(end));
  } else {
    if (wideStarts_.empty()) {
      wideStarts_.assign(starts_.begin(), starts_.end());
      if (wideStarts_.empty())
        wideStarts_.push_back(size_);
      starts_.clear();
      starts_.shrink_to_fit();
    }
    wideStarts_.push_back(end);
  }
  size_ = end;
}

void TextList::loadText(std::string text) {
  auto owner = std::make_shared<std::string>(std::move(text));
  const std::size_t size = owner->size();
  const char* const data = owner->data();
  loadShared(std::shared_ptr<const char>(std::move(owner), data), size);
}

void TextList::loadText(LargeBlock bytes, std::size_t size) {
  // Should the owner fail to be made, it frees the block itself.
  std::shared_ptr<const char> owner(
      bytes.release(), [](const char* text) { LargeBlockRelease()(const_cast<char*>(text)); });
  loadShared(std::move(owner), size);
}

namespace {

// About how many lines a text holds, judged from its beginning and a little
// high: the line table is then made once instead of growing by copies, and
// room reserved but never used costs no memory.
std::size_t EstimatedLines(std::string_view text) {
  constexpr std::size_t kSample = std::size_t{1} << 16;
  if (text.size() <= kSample)
    return 0;
  const std::string_view sample = text.substr(0, kSample);
  std::size_t breaks = 0;
  ForEachByteOf(sample, '\r', '\n', [&](std::size_t at) {
    if (!(sample[at] == '\n' && at > 0 && sample[at - 1] == '\r'))
      ++breaks;
  });
  return text.size() / kSample * breaks / 8 * 9 + 65;
}

}  // namespace

void TextList::loadShared(std::shared_ptr<const char> text, std::size_t size) {
  const char* const data = text.get();
  if (size > 0) {
    const void* nul = std::memchr(data, '\0', size);
    if (nul != nullptr)
      size = static_cast<std::size_t>(static_cast<const char*>(nul) - data);
  }
  if (size <= UINT32_MAX) {
    starts_ = FindLines<std::uint32_t>(data, size);
    wideStarts_.clear();
  } else {
    wideStarts_ = FindLines<std::size_t>(data, size);
    starts_.clear();
  }
  text_ = std::move(text);
  size_ = size;
  writable_ = nullptr;
  capacity_ = 0;
}

template <typename Offset>
TextList::LineTable<Offset> TextList::FindLines(const char* data, std::size_t size) {
  LineTable<Offset> starts;
  starts.reserve(EstimatedLines(std::string_view(data, size)));
  // One pass over the text for both kinds of break; an LF right after a CR
  // belongs to it and is passed over.
  std::size_t start = 0;
  ForEachByteOf(std::string_view(data, size), '\r', '\n', [&](std::size_t end) {
    if (end < start)
      return;
    starts.push_back(static_cast<Offset>(start));
    start = end + 1;
    if (data[end] == '\r' && start < size && data[start] == '\n')
      ++start;
  });
  if (start < size)
    starts.push_back(static_cast<Offset>(start));
  // Where the last line and its break end: the end of the text.
  if (!starts.empty())
    starts.push_back(static_cast<Offset>(size));
  return starts;
}

std::string TextList::text() const {
  std::string joined;
  joined.reserve(size_ + 2 * count());
  for (std::size_t i = 0; i < count(); ++i) {
    joined.append(line(i));
    joined.append("\r\n");
  }
  return joined;
}

}  // namespace passerelle
