#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "tables/keyed_hash.h"
#include "tables/text_list.h"

namespace passerelle {

// Lower-cases the letters A-Z and nothing else: logins and class codes keep
// their accented capitals as the records write them.
std::string AsciiLowerCase(std::string_view text);
// The same into `lowered`, whose room is kept from one call to the next.
void AssignAsciiLowerCase(std::string_view text, std::string& lowered);

// Folds a person's name to a comparison key: ASCII lower case, the usual
// French accented letters made plain, "_", "-" and '"' turned into spaces,
// then every space removed.
std::string FoldName(std::string name);

// Appends FoldName(name) to `folded`, without a text of its own: for loops
// that fold a name per row of a big table.
void AppendFoldedName(std::string_view name, std::string& folded);

// The options of the window that the subject rules read.
struct SubjectOptions {
  bool mergeAp = true;        // "Fusionner Matière et AP"
  bool keepSubjects = false;  // "Conserver les matières", never shown
};

// Maps a subject label to its short subject key ("math", "histoire", …), or
// returns the label without its "AP " / "AP-" prefix and its LV1 / LV2 part
// when no rule knows it.
std::string NormalizeSubject(std::string label, SubjectOptions options);

// Reduces a class or group label to a class code comparable with the class
// list: lower case, cut at ">" and at "p", "°" as "g", no space.
std::string NormalizeClassCode(std::string label);

// Whether a non-empty line of the class list equals the code exactly.
bool IsKnownClass(const std::string& code, const TextList& classList);

// Draws one character among 0-9 and A-Z from the program's one sequence.
// The seed starts at 0 and is never set otherwise.
char RandomAlnum(std::uint32_t& seed);

// Appends `count` characters drawn by RandomAlnum, in order.
void AppendRandomAlnum(std::string& text, int count, std::uint32_t& seed);

// The class list as a hash set, for steps that ask IsKnownClass once per
// input row: same answers as IsKnownClass on the list it was built from.
class KnownClassIndex {
 public:
  explicit KnownClassIndex(const TextList& classList);
  bool contains(const std::string& code) const;

 private:
  std::unordered_set<std::string, KeyedTextHash, std::equal_to<>> codes_;
};

}  // namespace passerelle
