#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace passerelle {

// The hash of every index built from input text. The exports come from
// outside: under a fixed hash, texts chosen to collide would turn each
// lookup into a walk over all of them and a step into hours. This one is
// SipHash-1-3 under a key drawn afresh by every process, so that which texts
// collide cannot be known in advance. No index may let the key decide a
// result or an order: entries keep the order they were added in.
std::uint64_t KeyedHash(std::string_view text);

// KeyedHash for the standard unordered containers.
struct KeyedTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return static_cast<std::size_t>(KeyedHash(text));
  }
};

// For tests only: replaces the process's key, so that a test can show that
// no result depends on it. No index may be alive across the change.
void SetHashKeyForTesting(std::uint64_t k0, std::uint64_t k1);

}  // namespace passerelle
