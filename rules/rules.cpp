#include "rules/rules.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace passerelle {

namespace {

// Apart from the è and ç folds of FoldName, case mapping touches A-Z only, so
// an accented capital in a record keeps its form through every comparison.
char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

std::string AsciiLowerText(std::string text) {
  for (char& c : text) {
    c = AsciiLower(c);
  }
  return text;
}

std::string AsciiUpperText(std::string text) {
  for (char& c : text) {
    c = AsciiUpper(c);
  }
  return text;
}

// The full Windows-1252 upper case, needed only where a name must treat è and
// È (or ç and Ç) as one letter. ß (0xDF) and ÷ (0xF7) have no capital.
unsigned char Cp1252Upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') {
    return static_cast<unsigned char>(c - 0x20);
  }
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
    return static_cast<unsigned char>(c - 0x20);
  }
  switch (c) {
    case 0x9A:  // š
      return 0x8A;
    case 0x9C:  // œ
      return 0x8C;
    case 0x9E:  // ž
      return 0x8E;
    case 0xFF:  // ÿ
      return 0x9F;
    default:
      return c;
  }
}

// Replaces every occurrence of a one-letter pattern whatever the case of
// either side; the letters around it keep their own case.
void ReplaceLetterIgnoringCase(std::string& text, char pattern, char replacement) {
  const unsigned char wanted = Cp1252Upper(static_cast<unsigned char>(pattern));
  for (char& c : text) {
    if (Cp1252Upper(static_cast<unsigned char>(c)) == wanted) {
      c = replacement;
    }
  }
}

void ReplaceByte(std::string& text, char from, char to) {
  for (char& c : text) {
    if (c == from) {
      c = to;
    }
  }
}

void RemoveByte(std::string& text, char unwanted) {
  std::erase(text, unwanted);
}

// "ANGLAIS LV1" and "ESPAGNOL-LV2" name the same subject as "ANGLAIS": the
// language level goes, together with the one separator written before it. A
// label that opens with the level has no separator to take, and is left as the
// teacher wrote it.
void RemoveLanguageLevel(std::string& label, std::string_view level) {
  const std::size_t found = label.find(level);
  if (found != std::string::npos && found >= 1) {
    label.erase(found - 1, level.size() + 1);
  }
}

enum class Match { kEquals, kStartsWith, kContains };

struct SubjectRule {
  Match match;
  std::string_view literal;  // already upper case
  std::string_view key;
};

// The order matters: "VENTE LATIN" is a vente course, and the first rule that
// matches decides. No key matches a later rule, so a key passed through again
// stays what it is.
constexpr std::array<SubjectRule, 21> kSubjectRules{{
    {Match::kEquals, "MATHS", "math"},
    {Match::kEquals, "HISTOIRE GEOGRAPHIE", "histoire"},
    {Match::kEquals, "HISTOIRE-GEOGRAPHIE", "histoire"},
    {Match::kEquals, "ANGLAIS", "anglais"},
    {Match::kEquals, "ALLEMAND", "allemand"},
    {Match::kEquals, "FRANCAIS", "francais"},
    {Match::kEquals, "ESPAGNOL", "espagnol"},
    {Match::kEquals, "SVT", "svt"},
    {Match::kEquals, "SCIENCES VIE & TERRE", "svt"},
    {Match::kEquals, "MATHEMATIQUES", "math"},
    {Match::kStartsWith, "TECHNO", "techno"},
    {Match::kEquals, "PHYSIQUE-CHIMIE", "physique"},
    {Match::kEquals, "PHY", "physique"},
    {Match::kEquals, "EDUCATION MUSICALE", "mus"},
    {Match::kEquals, "ED.MUS.GENE.TECHNIQ.", "mus"},
    {Match::kEquals, "ED.PHYSIQUE & SPORT.", "eps"},
    {Match::kContains, "VENTE", "vente"},
    {Match::kContains, "LATIN", "latin"},
    {Match::kContains, "PLASTIQUE", "ap"},
    {Match::kContains, "LANGUE D", "occitan"},
    {Match::kContains, "ENS. MORAL", "histoire"},
}};

bool Matches(const SubjectRule& rule, std::string_view upperLabel) {
  switch (rule.match) {
    case Match::kEquals:
      return upperLabel == rule.literal;
    case Match::kStartsWith:
      return upperLabel.starts_with(rule.literal);
    case Match::kContains:
      return upperLabel.find(rule.literal) != std::string_view::npos;
  }
  return false;
}

// Cuts at most this many characters from a cut point, as the class labels of
// the exports are far shorter; a longer tail keeps what lies beyond.
constexpr std::size_t kClassCutLength = 200;

void CutFrom(std::string& label, char marker) {
  const std::size_t found = label.find(marker);
  if (found != std::string::npos) {
    label.erase(found, kClassCutLength);
  }
}

}  // namespace

std::string AsciiLowerCase(std::string_view text) {
  return AsciiLowerText(std::string(text));
}

void AssignAsciiLowerCase(std::string_view text, std::string& lowered) {
  lowered.resize(text.size());
  std::transform(text.begin(), text.end(), lowered.begin(), AsciiLower);
}

std::string FoldName(std::string name) {
  name = AsciiLowerText(std::move(name));
  ReplaceLetterIgnoringCase(name, '\xE8', 'e');  // è, È
  ReplaceLetterIgnoringCase(name, '\xC7', 'c');  // Ç, ç
  // The rest are lower-case letters only: a capital É in a name written all in
  // capitals stays, so HÉLÈNE and Hélène do not meet.
  ReplaceByte(name, '\xE9', 'e');  // é
  ReplaceByte(name, '\xE0', 'a');  // à
  ReplaceByte(name, '\xE2', 'a');  // â
  ReplaceByte(name, '\xEB', 'e');  // ë
  ReplaceByte(name, '\xF9', 'u');  // ù
  ReplaceByte(name, '\xF4', 'o');  // ô
  ReplaceByte(name, '\xEE', 'i');  // î
  ReplaceByte(name, '\xEF', 'i');  // ï
  // Compound names are written with a hyphen, an underscore, a space or
  // nothing depending on the export; keep none of them.
  ReplaceByte(name, '_', ' ');
  ReplaceByte(name, '-', ' ');
  ReplaceByte(name, '"', ' ');
  RemoveByte(name, ' ');
  return name;
}

namespace {

// Every step of FoldName maps or drops one byte whatever its neighbours, so
// the whole fold is a byte table: what FoldName makes of each byte alone,
// or -1 for a byte it drops.
using FoldTable = std::array<std::int16_t, 256>;

FoldTable MakeFoldTable() {
  FoldTable table{};
  for (std::size_t byte = 0; byte < table.size(); ++byte) {
    const std::string folded = FoldName(std::string(1, static_cast<char>(byte)));
    table[byte] = folded.empty() ? std::int16_t{-1} : static_cast<unsigned char>(folded[0]);
  }
  return table;
}

}  // namespace

void AppendFoldedName(std::string_view name, std::string& folded) {
  static const FoldTable table = MakeFoldTable();
  const std::size_t start = folded.size();
  folded.resize(start + name.size());
  char* out = folded.data() + start;
  for (const char c : name) {
    const std::int16_t mapped = table[static_cast<unsigned char>(c)];
    *out = static_cast<char>(mapped);
    out += mapped >= 0 ? 1 : 0;
  }
  folded.resize(static_cast<std::size_t>(out - folded.data()));
}

std::string NormalizeSubject(std::string label, SubjectOptions options) {
  // The window never offers to keep the subjects as they are; should it ever,
  // the caller still needs a text, and the label as given is the honest one.
  if (options.keepSubjects) {
    return label;
  }
  // Both prefixes are tested in turn, so "AP AP-SVT" loses the two.
  if (options.mergeAp && label.starts_with("AP ")) {
    label.erase(0, 3);
  }
  if (options.mergeAp && label.starts_with("AP-")) {
    label.erase(0, 3);
  }
  RemoveLanguageLevel(label, "LV1");
  RemoveLanguageLevel(label, "LV2");

  // Upper-casing A-Z only means an accented "Français" matches no rule and is
  // kept as written.
  const std::string upperLabel = AsciiUpperText(label);
  for (const SubjectRule& rule : kSubjectRules) {
    if (Matches(rule, upperLabel)) {
      return std::string(rule.key);
    }
  }
  return label;
}

std::string NormalizeClassCode(std::string label) {
  label = AsciiLowerText(std::move(label));
  // "5_A>ANGLAIS" is a group of class 5_A, and "3_A Prof" or
  // "5_A GROUPE 2" carry words the class list never holds.
  CutFrom(label, '>');
  CutFrom(label, 'p');
  ReplaceByte(label, '\xB0', 'g');  // the degree sign of "6_°2" is spelled g in a code
  RemoveByte(label, ' ');
  return label;
}

bool IsKnownClass(const std::string& code, const TextList& classList) {
  for (std::size_t i = 0; i < classList.count(); ++i) {
    const std::string_view line = classList.line(i);
    // A blank line left in the list must not make an empty class known.
    if (!line.empty() && line == code) {
      return true;
    }
  }
  return false;
}

char RandomAlnum(std::uint32_t& seed) {
  static constexpr std::string_view kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  // Unsigned arithmetic wraps modulo 2^32, which is the generator's modulus.
  seed = seed * 134775813u + 1u;
  const std::uint64_t index = (static_cast<std::uint64_t>(seed) * kAlphabet.size()) >> 32;
  return kAlphabet[index];
}

void AppendRandomAlnum(std::string& text, int count, std::uint32_t& seed) {
  for (int i = 0; i < count; ++i)
    text.push_back(RandomAlnum(seed));
}

KnownClassIndex::KnownClassIndex(const TextList& classList) {
  codes_.reserve(classList.count());
  for (std::size_t i = 0; i < classList.count(); ++i) {
    const std::string_view line = classList.line(i);
    if (!line.empty()) {
      codes_.emplace(line);
    }
  }
}

bool KnownClassIndex::contains(const std::string& code) const {
  return codes_.contains(code);
}

}  // namespace passerelle
