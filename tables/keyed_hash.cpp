#include "tables/keyed_hash.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>

namespace passerelle {

namespace {

struct HashKey {
  std::uint64_t k0;
  std::uint64_t k1;
};

HashKey DrawKey() {
  try {
    std::random_device entropy;
    const auto draw = [&entropy] {
      return (static_cast<std::uint64_t>(entropy()) << 32) ^ entropy();
    };
    const std::uint64_t k0 = draw();
    return HashKey{k0, draw()};
  } catch (const std::exception&) {
    // No entropy source: the start time and where the program was loaded
    // still differ from run to run.
    const auto now = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const int onTheStack = 0;
    const auto place = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&onTheStack));
    return HashKey{now * 0x9E3779B97F4A7C15ull, place ^ (now >> 17)};
  }
}

HashKey gKey = DrawKey();

constexpr std::uint64_t Rotate(std::uint64_t x, int bits) {
  return (x << bits) | (x >> (64 - bits));
}

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void round() {
    v0 += v1;
    v1 = Rotate(v1, 13);
    v1 ^= v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = Rotate(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = Rotate(v1, 17);
    v1 ^= v2;
    v2 = Rotate(v2, 32);
  }

  void absorb(std::uint64_t word) {
    v3 ^= word;
    round();
    v0 ^= word;
  }
};

// Eight bytes as a little-endian number, on every processor.
std::uint64_t LoadWord(const unsigned char* at, std::size_t count) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < count; ++i)
    word |= static_cast<std::uint64_t>(at[i]) << (8 * i);
  return word;
}

}  // namespace

std::uint64_t KeyedHash(std::string_view text) {
  SipState s{gKey.k0 ^ 0x736f6d6570736575ull, gKey.k1 ^ 0x646f72616e646f6dull,
             gKey.k0 ^ 0x6c7967656e657261ull, gKey.k1 ^ 0x7465646279746573ull};
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + at, 8);
    if constexpr (std::endian::native == std::endian::big)
      word = LoadWord(bytes + at, 8);
    s.absorb(word);
  }
  s.absorb((static_cast<std::uint64_t>(size) << 56) | LoadWord(bytes + at, size - at));
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

void SetHashKeyForTesting(std::uint64_t k0, std::uint64_t k1) {
  gKey = HashKey{k0, k1};
}

}  // namespace passerelle
