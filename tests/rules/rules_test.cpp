#include "rules/rules.h"
#include "support/file_fixture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tables/text_list.h"

// Texts here are Windows-1252 bytes written as escapes. Where a hex digit
// follows the letter, the escape is octal ("Fran\347ais"): an octal escape
// stops after three digits, a hex one would swallow the "a".

namespace passerelle {
namespace {

using testing::Printable;

struct TextCase {
  std::string input;
  std::string expected;
};

TEST(FoldNameTest, FoldsNamesToComparisonKeys) {
  const std::vector<TextCase> cases = {
      {"Jean-Marie", "jeanmarie"},
      {"LE GALL", "legall"},
      {"FRAN\xC7OIS", "francois"},
      {"Fran\xE7ois", "francois"},
      {"H\xE9l\xE8ne", "helene"},
      // Only È and Ç are folded in capitals: the capital É stays.
      {"H\xC9L\xC8NE", "h\xC9lene"},
      {"Ga\xEBtan", "gaetan"},
      {"Beno\xEEt", "benoit"},
      {"LOUIS_PHILIPPE", "louisphilippe"},
      {"D'Almeida", "d'almeida"},
      {"Cr\xEApe", "cr\xEApe"},
      {"M\xFCller", "m\xFCller"},
      {"", ""},
      {"\xE0\xE2\xF9\xF4\xEE\xEF", "aauoii"},
      {"\"Jo\" Dupont", "jodupont"},
      {"  Le  Goff_-_Martin  ", "legoffmartin"},
      // Capitals other than È and Ç, and lower-case letters outside the
      // table, keep their form.
      {"\xC0\xC2\xCA\xCB\xCE\xCF\xD4\xD9\xDB\xDC", "\xC0\xC2\xCA\xCB\xCE\xCF\xD4\xD9\xDB\xDC"},
      {"\xEA\xFB\xFC\xFF\x9C\xE6\xDF", "\xEA\xFB\xFC\xFF\x9C\xE6\xDF"},
      {"St. Pierre\t2", "st.pierre\t2"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    const std::string folded = FoldName(c.input);
    EXPECT_EQ(Printable(folded), Printable(c.expected));
    // A key compared against another key must not move again.
    EXPECT_EQ(Printable(FoldName(folded)), Printable(folded));
    std::string appended = "key ";
    AppendFoldedName(c.input, appended);
    EXPECT_EQ(Printable(appended), Printable("key " + c.expected));
  }
}

// The fold of a long table's names works a byte at a time: it must agree
// with FoldName on any text, every byte value, NUL and separators included.
TEST(FoldNameTest, FoldingIntoATextAgreesWithFoldName) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 40);
  for (int i = 0; i < 2000; ++i) {
    std::string name;
    for (int n = length(random); n > 0; --n)
      name.push_back(static_cast<char>(byte(random)));
    std::string appended = "before";
    AppendFoldedName(name, appended);
    ASSERT_EQ(Printable(appended), Printable("before" + FoldName(name))) << Printable(name);
  }
}

struct SubjectCase {
  std::string label;
  bool mergeAp;
  std::string expected;
};

TEST(NormalizeSubjectTest, MapsLabelsToSubjectKeys) {
  const std::vector<SubjectCase> cases = {
      // Language level and AP prefix.
      {"ANGLAIS LV1", true, "anglais"},
      {"ESPAGNOL-LV2", true, "espagnol"},
      {"ALLEMAND LV1 LV2", true, "allemand"},
      {"ANGLAIS LV1 EURO", true, "ANGLAIS EURO"},
      {"ANGLAIS LV1 LV1", true, "ANGLAIS LV1"},
      {"LV1 ANGLAIS", true, "LV1 ANGLAIS"},
      {"LV2", true, "LV2"},
      {"XLV1", true, ""},
      {"AP FRANCAIS", true, "francais"},
      {"AP-MATHS", true, "math"},
      {"AP AP-SVT", true, "svt"},
      {"AP-AP SVT", true, "AP SVT"},
      {"ap maths", true, "ap maths"},
      {"AP ", true, ""},
      {"AP FRANCAIS", false, "AP FRANCAIS"},
      {"AP-MATHS", false, "AP-MATHS"},
      {"ANGLAIS LV1", false, "anglais"},
      // Every rule, in various cases of letters.
      {"MATHS", true, "math"},
      {"Histoire Geographie", true, "histoire"},
      {"HISTOIRE-GEOGRAPHIE", false, "histoire"},
      {"Anglais", true, "anglais"},
      {"ALLEMAND", true, "allemand"},
      {"francais", true, "francais"},
      {"ESPAGNOL", false, "espagnol"},
      {"SVT", true, "svt"},
      {"Sciences vie & terre", true, "svt"},
      {"MATHEMATIQUES", true, "math"},
      {"Technologie", true, "techno"},
      {"PHYSIQUE-CHIMIE", true, "physique"},
      {"Phy", true, "physique"},
      {"Education musicale", false, "mus"},
      {"ED.MUS.GENE.TECHNIQ.", true, "mus"},
      {"Ed.physique & Sport.", true, "eps"},
      {"VENTE LATIN", true, "vente"},
      {"OPTION LATIN", true, "latin"},
      {"ARTS PLASTIQUES", true, "ap"},
      {"LANGUE DES SIGNES", true, "occitan"},
      {"ENS. MORAL & CIVIQUE", true, "histoire"},
      {"maths", true, "math"},
      // Equality rules want the whole text.
      {"MATHS 2", true, "MATHS 2"},
      {"PHYSIQUE", true, "PHYSIQUE"},
      {"SVT ", true, "SVT "},
      // Accented labels match nothing, and class labels pass unchanged.
      {"Fran\347ais", true, "Fran\347ais"},
      {"Math\xE9matiques", true, "Math\xE9matiques"},
      {"5_A", true, "5_A"},
      {"", true, ""},
      {"", false, ""},
  };
  for (const SubjectCase& c : cases) {
    SCOPED_TRACE(Printable(c.label) + (c.mergeAp ? " merging AP" : " keeping AP"));
    SubjectOptions options;
    options.mergeAp = c.mergeAp;
    EXPECT_EQ(Printable(NormalizeSubject(c.label, options)), Printable(c.expected));
  }
}

TEST(NormalizeSubjectTest, KeysAreFixedPoints) {
  const std::vector<std::string> keys = {
      "math",     "histoire", "anglais", "allemand", "francais", "espagnol", "svt",     "techno",
      "physique", "mus",      "eps",     "vente",    "latin",    "ap",       "occitan",
  };
  for (const bool mergeAp : {true, false}) {
    for (const std::string& key : keys) {
      SCOPED_TRACE(key + (mergeAp ? " merging AP" : " keeping AP"));
      SubjectOptions options;
      options.mergeAp = mergeAp;
      EXPECT_EQ(NormalizeSubject(key, options), key);
    }
  }
}

TEST(NormalizeSubjectTest, KeepingSubjectsLeavesTheLabelAlone) {
  const std::vector<std::string> labels = {"AP ANGLAIS LV1", "MATHS", "Technologie", ""};
  SubjectOptions options;
  options.keepSubjects = true;
  for (const std::string& label : labels) {
    SCOPED_TRACE(label);
    EXPECT_EQ(NormalizeSubject(label, options), label);
  }
}

TEST(NormalizeClassCodeTest, ReducesLabelsToClassCodes) {
  const std::vector<TextCase> cases = {
      {"5_A", "5_a"},
      {"5_A>ANGLAIS", "5_a"},
      {"3_A Prof", "3_a"},
      {"4_B GR1", "4_bgr1"},
      {"5_A GROUPE 2", "5_agrou"},
      {"6_\2602", "6_g2"},
      {"PROF 6_A", ""},
      {"", ""},
      {"4_A>P", "4_a"},
      {"5 _ A 1", "5_a1"},
      {"3_\xC9", "3_\xC9"},
      // Only two hundred characters go from the ">", so a longer tail leaves
      // its end behind; the "p" cut then applies to what remains.
      {"3_A>" + std::string(199, 'x') + "YZ", "3_ayz"},
      {"3_A>" + std::string(199, 'x') + "Pq", "3_a"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    EXPECT_EQ(Printable(NormalizeClassCode(c.input)), Printable(c.expected));
  }
}

struct ClassListCase {
  TextList classList;
  std::string code;
  bool known;
};

TextList ListOf(const std::vector<std::string>& lines) {
  TextList list;
  for (const std::string& line : lines) {
    list.append(line);
  }
  return list;
}

TEST(IsKnownClassTest, MatchesWholeNonEmptyLinesExactly) {
  const std::vector<ClassListCase> cases = {
      {TextList{"5_a", "5_b"}, "5_a", true},
      {TextList{"5_a", "5_b"}, "5_b", true},
      {TextList{"5_a", "5_b"}, "5_A", false},
      {TextList{"5_a", "5_b"}, "", false},
      {TextList{"5_a", "5_b"}, "5_", false},
      {TextList{"5_a", "5_b"}, "5_a ", false},
      {TextList{" 5_a"}, "5_a", false},
      {TextList{"5_a "}, "5_a", false},
      {TextList{"5_a", "", "5_b"}, "", false},
      {TextList{""}, "", false},
      {TextList{}, "5_a", false},
      {TextList{}, "", false},
      {TextList{"6_test", "6_test"}, "6_test", true},
      {TextList{"6_g2", "6_\2602"}, "6_\2602", true},
      {ListOf({"3_a", "3_b", "4_a"}), "4_a", true},
  };
  for (const ClassListCase& c : cases) {
    SCOPED_TRACE(Printable(c.code) + " among " + std::to_string(c.classList.count()) + " lines");
    EXPECT_EQ(IsKnownClass(c.code, c.classList), c.known);
    // The index stands in for the line-by-line search in the steps, so it
    // must answer the same for every list.
    EXPECT_EQ(KnownClassIndex(c.classList).contains(c.code), c.known);
  }
}

TEST(RandomAlnumTest, SequenceFromStartIsFixed) {
  std::uint32_t seed = 0;
  std::string drawn;
  for (int i = 0; i < 12; ++i) {
    drawn += RandomAlnum(seed);
  }
  EXPECT_EQ(drawn, "01U79OB5DF2H");
}

TEST(RandomAlnumTest, DrawsOnlyAndEveryAlphabetCharacter) {
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::uint32_t seed = 0;
  std::set<char> seen;
  for (int i = 0; i < 10000; ++i) {
    const char c = RandomAlnum(seed);
    ASSERT_NE(alphabet.find(c), std::string::npos)
        << "draw " << i << " gave " << static_cast<int>(c);
    seen.insert(c);
  }
  EXPECT_EQ(seen.size(), alphabet.size());
}

}  // namespace
}  // namespace passerelle
