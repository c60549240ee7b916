#pragma once

// The hash indexes of steps 2 and 3. They hold no rule of the program: each
// only finds, in constant time, what a row-by-row search of a table would
// find, and a rectorate's exports would take hours without them.
//
//   ProbeTable   the open-addressing core both indexes share: a power-of-two
//                table of slots, linear probing, never more than half full.
//   FlatIndex    entries numbered in the order they were added (step 2's
//                teacher groups, subject keys, class cells and codes).
//   RecordIndex  records of a few texts and a number, filed by their first
//                text, the later replacing the earlier (step 3's accounts
//                and identities).
//   RecentTexts  a small cache of the texts met last, in front of an index
//                or of a text worked out (step 1's class codes, step 2's
//                class cells and subject labels); never wrong, since each
//                hit compares the text itself.
//
// Every hash is KeyedHash, under the process's own key, so that no export
// can be crafted to make the probe runs long; and nothing found depends on
// that key, since entries keep the order they were added in. Pinned to the
// plain search by TeacherIndexAgreement and TeacherStepsAtScale
// (tests/steps/teacher_steps_test.cpp, under several keys) and by
// tests/steps/hash_index_test.cpp; their speed is guarded by the step 2 and
// step 3 objectives of passerelle-bench and its crafted-collision case.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/keyed_hash.h"

namespace passerelle {

// Asks the processor to bring into its cache the line holding `at`, which a
// loop will read soon: a hint, which never faults.
inline void PrefetchMemory(const void* at) {
#if defined(__GNUC__)
  __builtin_prefetch(at);
#else
  static_cast<void>(at);
#endif
}

// Slots found by linear probing from the place a hash gives. A Slot is free
// when value-initialised and says so with free(). At most half the slots are
// ever in use, which keeps the probe runs short.
template <typename Slot>
class ProbeTable {
 public:
  bool empty() const { return slots_.empty(); }
  Slot& operator[](std::size_t at) { return slots_[at]; }
  const Slot& operator[](std::size_t at) const { return slots_[at]; }

  // Where a probe for this hash starts. The table must not be empty.
  std::size_t start(std::uint64_t hash) const { return hash & mask_; }

  // The first slot from the start that is free or that `holds` accepts: the
  // slot of the key `holds` looks for, or the free slot where it would go.
  template <typename Holds>
  std::size_t probe(std::uint64_t hash, Holds&& holds) const {
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      const Slot& slot = slots_[at];
      if (slot.free() || holds(slot))
        return at;
    }
  }

  // Puts a slot whose key the table does not hold yet.
  void place(std::uint64_t hash, const Slot& slot) {
    slots_[probe(hash, [](const Slot&) { return false; })] = slot;
  }

  // Makes room for `entries` slots in use; hashOf(slot) gives back the hash
  // a slot in use was placed with. Returns whether the slots moved.
  template <typename HashOf>
  bool reserve(std::size_t entries, HashOf&& hashOf) {
    std::size_t count = std::max<std::size_t>(slots_.size(), 16);
    while (count < 2 * entries)
      count *= 2;
    if (count == slots_.size())
      return false;
    const std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(count));
    mask_ = count - 1;
    for (const Slot& slot : old) {
      if (!slot.free())
        place(hashOf(slot), slot);
    }
    return true;
  }

  std::size_t capacity() const { return slots_.size(); }

 private:
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

// Entries numbered 0, 1, 2… in the order they were added, found through
// eight-byte (hash, number) slots. A lookup reads one slot and, when the hash
// agrees, one entry. The standard node-based map reads a bucket, a node and
// often a text's own block, and once the teachers run into tens of thousands
// each of those reads is a cache miss: they were most of a step's time. An
// entry is compared with == against a probe that the caller hashes exactly
// as it hashed the entry.
template <typename Entry>
class FlatIndex {
 public:
  static constexpr int kNone = -1;

  template <typename Probe>
  int find(const Probe& probe, std::uint64_t hash) const {
    if (slots_.empty())
      return kNone;
    const std::uint32_t folded = Fold(hash);
    const Slot& slot = slots_[slots_.probe(folded, [&](const Slot& candidate) {
      return candidate.hash == folded && entries_[static_cast<std::size_t>(candidate.id)] == probe;
    })];
    return slot.id;
  }

  // Adds an entry that find() does not know; returns its number.
  int add(Entry entry, std::uint64_t hash) {
    reserve(entries_.size() + 1);
    const int id = static_cast<int>(entries_.size());
    entries_.push_back(std::move(entry));
    const std::uint32_t folded = Fold(hash);
    slots_.place(folded, Slot{folded, id});
    return id;
  }

  void reserve(std::size_t entryCount) {
    slots_.reserve(entryCount, [](const Slot& slot) { return slot.hash; });
  }

  // The two first stages of a lookup for a batch of them, as in
  // RecordIndex::findEach(): ask for the slot a hash starts at; then, once
  // every slot of the batch is on its way, for the entry that slot names.
  void prefetchSlot(std::uint64_t hash) const {
    if (!slots_.empty())
      PrefetchMemory(&slots_[slots_.start(Fold(hash))]);
  }
  void prefetchEntry(std::uint64_t hash) const {
    if (slots_.empty())
      return;
    const Slot& slot = slots_[slots_.start(Fold(hash))];
    if (!slot.free()) {
      const Entry* entry = &entries_[static_cast<std::size_t>(slot.id)];
      PrefetchMemory(entry);
      PrefetchMemory(reinterpret_cast<const char*>(entry + 1) - 1);
    }
  }

  // What a probe compares must not change once the entry is in.
  Entry& entry(int id) { return entries_[static_cast<std::size_t>(id)]; }
  const Entry& entry(int id) const { return entries_[static_cast<std::size_t>(id)]; }
  std::span<const Entry> entries() const { return entries_; }
  int size() const { return static_cast<int>(entries_.size()); }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    int id = kNone;
    bool free() const { return id == kNone; }
  };

  static std::uint32_t Fold(std::uint64_t hash) {
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
  }

  ProbeTable<Slot> slots_;
  std::vector<Entry> entries_;
};

// Records of a fixed number of texts and one number, each found by its first
// text, the key.
//
// A record lies whole in one arena: its key's hash, its number, where each
// of its texts ends, then the texts back to back. A slot of the table leads
// straight to it, so a lookup reads one slot and one place in the arena. An
// index whose entries held texts of their own would read a slot, an entry
// and a text; once the tables outgrow the processor's caches each of those
// reads is a cache miss, and the misses are most of what a lookup costs.
//
// Even its const lookups keep a buffer of their own: one index is for one
// thread at a time.
class RecordIndex {
 public:
  // A view of one record, valid until the index is next written to.
  class Record {
   public:
    Record() = default;
    explicit operator bool() const { return at_ != nullptr; }
    int number() const { return ReadAt<std::int32_t>(at_ + kNumberAt); }
    std::string_view text(std::size_t index) const {
      const std::size_t begin = index == 0 ? 0 : ReadAt<std::uint32_t>(ends() + 4 * (index - 1));
      const std::size_t end = ReadAt<std::uint32_t>(ends() + 4 * index);
      return std::string_view(ends() + 4 * textCount_ + begin, end - begin);
    }

   private:
    friend class RecordIndex;
    Record(const char* at, std::size_t textCount) : at_(at), textCount_(textCount) {}
    const char* ends() const { return at_ + kEndsAt; }

    const char* at_ = nullptr;
    std::size_t textCount_ = 0;
  };

  explicit RecordIndex(std::size_t textsPerRecord) : textCount_(textsPerRecord) {}

  // Makes room for about `records` records: in the table at once, so that
  // filling the index never has to place the records again, and in the
  // arena once the first records show how long a record runs, so that it
  // is not copied over and over as it grows.
  void reserve(std::size_t records) {
    growSlotsFor(records);
    expectedRecords_ = std::max(expectedRecords_, records);
  }

  // Adds a record of texts.size() == textsPerRecord texts, texts[0] its key.
  // A record already filed under that key is replaced and found no more.
  // The texts may be those of a record of this index.
  void put(std::span<const std::string_view> texts, int number) {
    if (texts.size() != textCount_)
      throw std::invalid_argument("record of the wrong size");
    if (slots_.empty())
      growSlotsFor(1);
    const std::uint64_t hash = Hash(texts[0]);
    std::size_t slot = findSlot(texts[0], hash);
    const bool known = !slots_[slot].free();
    const std::size_t at = appendRecord(texts, number, hash);
    if (!known && 2 * (records_ + 1) > slots_.capacity()) {
      growSlotsFor(records_ + 1);
      slot = findSlot(
          std::string_view(arena_.get() + at + kEndsAt + 4 * textCount_, texts[0].size()), hash);
    }
    if (!known)
      ++records_;
    slots_[slot] = SlotFor(hash, at);
  }

  // The record filed under `key`, or an empty one.
  Record find(std::string_view key) const {
    if (records_ == 0)
      return {};
    const Slot slot = slots_[findSlot(key, Hash(key))];
    return slot.free() ? Record{} : recordAt(slot);
  }

  // find() for many keys at once: found[i] for keys[i]. The lookups go in
  // stages over all the keys (hash and ask for the slot, then ask for the
  // record, then compare), so that their cache misses overlap instead of
  // following one another.
  void findEach(std::span<const std::string_view> keys, std::span<Record> found) const {
    if (records_ == 0) {
      std::fill(found.begin(), found.end(), Record{});
      return;
    }
    fetch(keys);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const Slot slot = slots_[findSlot(keys[i], hashes_[i])];
      found[i] = slot.free() ? Record{} : recordAt(slot);
    }
  }

  // Only the first stages of findEach(): brings into the cache what finding
  // or filing each of these keys will read, for a loop that must find and
  // file them one at a time.
  void prefetch(std::span<const std::string_view> keys) const {
    if (records_ > 0)
      fetch(keys);
  }

  bool empty() const { return records_ == 0; }
  std::size_t size() const { return records_; }

 private:
  // A slot is 0 when free; otherwise its top 24 bits are bits of the key's
  // hash, checked before the key is read, and the rest is the record's
  // place in the arena plus one.
  struct Slot {
    std::uint64_t bits = 0;
    bool free() const { return bits == 0; }
  };
  static constexpr int kPlaceBits = 40;
  static constexpr std::uint64_t kPlaceMask = (std::uint64_t{1} << kPlaceBits) - 1;
  static constexpr std::size_t kNumberAt = 8;
  static constexpr std::size_t kEndsAt = 12;

  template <typename T>
  static T ReadAt(const char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }

  static std::uint64_t Hash(std::string_view text) { return KeyedHash(text); }
  static std::uint64_t Tag(std::uint64_t hash) { return hash >> kPlaceBits; }
  static Slot SlotFor(std::uint64_t hash, std::size_t at) {
    return Slot{(Tag(hash) << kPlaceBits) | (static_cast<std::uint64_t>(at) + 1)};
  }

  Record recordAt(Slot slot) const {
    return Record(arena_.get() + ((slot.bits & kPlaceMask) - 1), textCount_);
  }

  // The slot holding `key`, or the free slot where it would go.
  std::size_t findSlot(std::string_view key, std::uint64_t hash) const {
    const std::uint64_t tag = Tag(hash);
    return slots_.probe(hash, [&](Slot slot) {
      return (slot.bits >> kPlaceBits) == tag && recordAt(slot).text(0) == key;
    });
  }

  void fetch(std::span<const std::string_view> keys) const {
    hashes_.resize(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      hashes_[i] = Hash(keys[i]);
      PrefetchMemory(&slots_[slots_.start(hashes_[i])]);
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const Slot slot = slots_[slots_.start(hashes_[i])];
      if (!slot.free())
        PrefetchMemory(recordAt(slot).at_);
    }
  }

  std::size_t appendRecord(std::span<const std::string_view> texts, int number,
                           std::uint64_t hash) {
    std::size_t bytes = 0;
    for (const std::string_view text : texts)
      bytes += text.size();
    const std::size_t at = arenaSize_;
    const std::size_t size = kEndsAt + 4 * textCount_ + bytes;
    if (bytes > UINT32_MAX || at + size > kPlaceMask)
      throw std::length_error("index too large");
    // The texts may lie in the arena: the old one goes once they are copied.
    std::unique_ptr<char[]> old;
    if (at + size > arenaCapacity_)
      old = growArena(at + size);
    arenaSize_ = at + size;
    ++appended_;
    char* record = arena_.get() + at;
    std::memcpy(record, &hash, sizeof hash);
    const std::int32_t storedNumber = number;
    std::memcpy(record + kNumberAt, &storedNumber, sizeof storedNumber);
    char* data = record + kEndsAt + 4 * textCount_;
    std::uint32_t end = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      // An empty view may carry a null pointer, which memcpy must never see.
      if (!texts[i].empty())
        std::memcpy(data + end, texts[i].data(), texts[i].size());
      end += static_cast<std::uint32_t>(texts[i].size());
      std::memcpy(record + kEndsAt + 4 * i, &end, sizeof end);
    }
    return at;
  }

  // Returns the arena it replaced.
  std::unique_ptr<char[]> growArena(std::size_t needed) {
    std::size_t capacity = std::max({needed, 2 * arenaCapacity_, std::size_t{4096}});
    // The records so far stand for the ones still to come; but a few long
    // first records must not make it claim far more than any file needs,
    // so it grows at most sixteenfold at a time.
    constexpr std::size_t kSample = 256;
    if (appended_ >= kSample && expectedRecords_ > appended_) {
      const std::size_t perRecord = arenaSize_ / appended_ + 1;
      const std::size_t foretold = needed + perRecord * (expectedRecords_ - appended_) / 8 * 9;
      capacity = std::max(capacity, std::min(foretold, 16 * arenaSize_ + needed));
    }
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (arenaSize_ > 0)
      std::memcpy(grown.get(), arena_.get(), arenaSize_);
    arenaCapacity_ = capacity;
    return std::exchange(arena_, std::move(grown));
  }

  // A record begins with its key's whole hash, which places its slot again.
  void growSlotsFor(std::size_t records) {
    slots_.reserve(records,
                   [this](Slot slot) { return ReadAt<std::uint64_t>(recordAt(slot).at_); });
  }

  std::size_t textCount_;
  ProbeTable<Slot> slots_;
  std::size_t records_ = 0;
  std::unique_ptr<char[]> arena_;
  std::size_t arenaSize_ = 0;
  std::size_t arenaCapacity_ = 0;
  std::size_t appended_ = 0;                   // records written to the arena, replaced ones too
  std::size_t expectedRecords_ = 0;            // as reserve() was told
  mutable std::vector<std::uint64_t> hashes_;  // findEach()'s, kept for its buffer
};

// The values of the texts met last, each text in a place picked by a quick
// mix of its bytes: most lines of an export repeat a text met a few lines
// before (a class, a subject), and then cost a comparison instead of a keyed
// hash and a probe of an index. A text finding
// another in its place takes it; the cache is never wrong and, whatever the
// texts, costs at most its mix and one comparison per miss.
template <typename Value>
class RecentTexts {
 public:
  RecentTexts() : places_(std::make_unique<std::array<Place, kPlaces>>()) {}

  // Where the text's value is kept, or null when it is not.
  const Value* find(std::string_view text) const {
    const Place& place = (*places_)[PlaceOf(text)];
    return place.filled && place.text == text ? &place.value : nullptr;
  }
  // Keeps a value for the text, in place of whatever text had its place,
  // and gives it back.
  const Value& keep(std::string_view text, Value value) {
    Place& place = (*places_)[PlaceOf(text)];
    place.text.assign(text);
    place.value = std::move(value);
    place.filled = true;
    return place.value;
  }

 private:
  static constexpr std::size_t kPlaces = 1024;
  static std::size_t PlaceOf(std::string_view text) {
    std::uint32_t mix = static_cast<std::uint32_t>(text.size());
    for (const char c : text)
      mix = mix * 31 + static_cast<unsigned char>(c);
    return (mix ^ (mix >> 10) ^ (mix >> 20)) % kPlaces;
  }
  struct Place {
    std::string text;
    Value value{};
    bool filled = false;
  };
  std::unique_ptr<std::array<Place, kPlaces>> places_;
};

}  // namespace passerelle
