#include "bench/bench_host.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace passerelle::bench {

namespace {

// Pixel widths of the Windows-1252 characters in a small sans-serif face,
// near enough to the grid font for the cost of measuring to be the real one:
// one lookup per byte, as the window's width table does.
constexpr std::array<std::uint8_t, 256> MakeCharWidths() {
  std::array<std::uint8_t, 256> widths{};
  for (int c = 0x20; c < 256; ++c)
    widths[static_cast<std::size_t>(c)] = 7;
  for (int c = 'A'; c <= 'Z'; ++c)
    widths[static_cast<std::size_t>(c)] = 8;
  for (int c = 0xC0; c <= 0xDE; ++c)
    widths[static_cast<std::size_t>(c)] = 8;
  for (unsigned char c : {' ', 'i', 'l', 'j', '.', ',', ';', ':', '\'', '!', '|'})
    widths[c] = 3;
  for (unsigned char c : {'f', 't', 'r', 'I'})
    widths[c] = 4;
  for (unsigned char c : {'m', 'w', 'M', 'W'})
    widths[c] = 10;
  return widths;
}

constexpr std::array<std::uint8_t, 256> kCharWidths = MakeCharWidths();

}  // namespace

void BenchHost::startCommand() {
  lastRepaint_ = Clock::now();
  longestPause_ = std::chrono::duration<double>::zero();
}

void BenchHost::endCommand() {
  notePause();
}

void BenchHost::notePause() {
  const Clock::time_point now = Clock::now();
  if (now - lastRepaint_ > longestPause_)
    longestPause_ = now - lastRepaint_;
  lastRepaint_ = now;
}

std::optional<std::filesystem::path> BenchHost::runOpenDialog(const OpenDialogState&) {
  std::optional<std::filesystem::path> answer = std::move(nextAnswer_);
  nextAnswer_.reset();
  return answer;
}

void BenchHost::showMessage(std::string_view) {
  ++messages_;
}

void BenchHost::showError(std::string_view, std::string_view text) {
  ++errors_;
  lastError_ = std::string(text);
}

void BenchHost::setClipboardText(std::string_view) {}

int BenchHost::textWidth(std::string_view text) {
  int width = 0;
  for (char c : text)
    width += kCharWidths[static_cast<unsigned char>(c)];
  return width;
}

int BenchHost::maxCharWidth() {
  int widest = 0;
  for (std::uint8_t width : kCharWidths)
    widest = std::max<int>(widest, width);
  return widest;
}

const CharWidths* BenchHost::charWidths() {
  static const CharWidths table = [] {
    std::array<std::uint32_t, 256> units{};
    for (std::size_t byte = 0; byte < units.size(); ++byte)
      units[byte] = kCharWidths[byte] * std::uint32_t{CharWidths::kUnitsPerPixel};
    return CharWidths(units);
  }();
  return &table;
}

void BenchHost::keepScreenAlive() {
  notePause();
}

}  // namespace passerelle::bench
