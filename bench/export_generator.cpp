#include "bench/export_generator.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace passerelle::bench {

namespace {

// A small deterministic generator (splitmix64): the exports must not change
// from one run to the next, or from one machine to another, as the standard
// distributions may.
class Dice {
 public:
  explicit Dice(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, bound), bound > 0.
  std::int64_t below(std::int64_t bound) {
    return static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(bound));
  }
  bool percent(int chance) { return below(100) < chance; }

  template <typename Table>
  std::string_view pick(const Table& table) {
    return table[static_cast<std::size_t>(below(static_cast<std::int64_t>(table.size())))];
  }

 private:
  std::uint64_t state_;
};

// Syllables rather than real names: the accents, hyphens and particles
// that the name folding has to deal with, without borrowing anyone's name.
constexpr std::array<std::string_view, 30> kLastNameStarts = {
    "Mar", "Ber", "Du",     "Le",  "Fon",   "Gi",    "Ro",    "Cha", "Bou", "La",
    "Mo",  "Pe",  "Ga",     "Da",  "B\xE9", "L\xE9", "F\xE8", "No",  "Ri",  "Vi",
    "Cou", "Ma",  "Gu\xE9", "Tho", "Mer",   "Sal",   "Fa",    "Her", "Jo",  "Pi"};
constexpr std::array<std::string_view, 15> kLastNameMiddles = {
    "ti",    "ra",    "lo", "che", "na",  "ve", "ri", "\xE7o",
    "m\xE8", "b\xE9", "du", "ge",  "lan", "ro", "vi"};
constexpr std::array<std::string_view, 23> kLastNameEnds = {
    "nard", "tin", "rand",  "mont", "\xEBl", "geot", "vre", "ard",  "ier", "eau", "chon",  "\xE7on",
    "let",  "ry",  "ssier", "baud", "quet",  "zin",  "det", "nier", "lin", "rot", "v\xE8s"};
constexpr std::array<std::string_view, 4> kParticles = {"Le ", "De ", "Da ", "Van "};

constexpr std::array<std::string_view, 26> kFirstNameStarts = {
    "J\xE9", "Ma",  "Lu",     "C\xE9", "Na",  "H\xE9",  "Jo", "Ca",     "Ra",
    "Zo",    "Eli", "Th\xE9", "Fran",  "Ga",  "L\xE9o", "Mi", "No\xE9", "Ro",
    "Ju",    "Sa",  "In",     "Yan",   "Lou", "A",      "E",  "Ma\xEB"};
constexpr std::array<std::string_view, 24> kFirstNameEnds = {
    "r\xF4me", "this", "cas",     "line", "dia",  "l\xE8ne", "mille", "pha\xEBl",
    "sa",      "o",    "\xE7ois", "bin",  "chel", "ma",      "nie",   "lie",
    "non",     "ra",   "lia",     "ther", "nis",  "ric",     "my",    "ssa"};

// Labels as PRONOTE writes them; the AP label goes with the subject the
// accompaniment hours are counted under.
struct Subject {
  std::string_view label;
  std::string_view apLabel;  // empty when the subject has no AP hours
};
constexpr std::array<Subject, 16> kSubjects = {{
    {"FRANCAIS", "AP FRANCAIS"},
    {"MATHEMATIQUES", "AP MATHEMATIQUES"},
    {"HISTOIRE-GEOGRAPHIE", "AP HISTOIRE-GEOGRAPHIE"},
    {"ANGLAIS LV1", "AP ANGLAIS"},
    {"ESPAGNOL LV2", ""},
    {"ALLEMAND LV2", ""},
    {"SCIENCES VIE & TERRE", ""},
    {"PHYSIQUE-CHIMIE", ""},
    {"TECHNOLOGIE", ""},
    {"EDUCATION MUSICALE", ""},
    {"ARTS PLASTIQUES", ""},
    {"ED.PHYSIQUE & SPORT.", ""},
    {"LATIN", ""},
    {"ENS. MORAL & CIVIQUE", ""},
    {"LANGUE D'OC", ""},
    {"VIE DE CLASSE", ""},
}};

constexpr std::array<char, 4> kLevels = {'6', '5', '4', '3'};
constexpr std::array<char, 6> kClassLetters = {'A', 'B', 'C', 'D', 'E', 'F'};
constexpr std::string_view kAlnum = "abcdefghijkmnopqrstuvwxyz23456789";

std::string LastName(Dice& dice) {
  std::string name(dice.pick(kLastNameStarts));
  if (dice.percent(45))
    name.append(dice.pick(kLastNameMiddles));
  name.append(dice.pick(kLastNameEnds));
  return name;
}

std::string PersonLastName(Dice& dice) {
  std::string name = LastName(dice);
  if (dice.percent(10)) {
    name.push_back('-');
    name.append(LastName(dice));
  } else if (dice.percent(4)) {
    name.insert(0, dice.pick(kParticles));
  }
  return name;
}

std::string FirstName(Dice& dice) {
  std::string name(dice.pick(kFirstNameStarts));
  name.append(dice.pick(kFirstNameEnds));
  return name;
}

std::string PersonFirstName(Dice& dice) {
  std::string name = FirstName(dice);
  if (dice.percent(8)) {
    name.push_back('-');
    name.append(FirstName(dice));
  }
  return name;
}

// The ASCII letters of a name, for logins and addresses.
std::string AsciiLetters(std::string_view name) {
  std::string letters;
  for (char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
      letters.push_back(c);
  }
  return letters;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Password(Dice& dice) {
  std::string password;
  for (int i = 0; i < 8; ++i)
    password.push_back(kAlnum[static_cast<std::size_t>(dice.below(kAlnum.size()))]);
  return password;
}

std::string ClassCode(char level, char letter) {
  return std::string{level, letter};
}

struct Teacher {
  std::string lastName;  // as PRONOTE writes it
  std::string firstName;
  std::string usersLastName;  // as the users file writes it
  bool female = false;
  bool hasAccount = true;
  bool hasEmail = true;
  std::vector<std::size_t> subjects;  // indices into kSubjects
  std::vector<std::string> classes;
};

// Teachers are kept distinct by full name: two teachers who share one would
// become one row of the teacher table, which is not what the run should time.
std::vector<Teacher> MakeTeachers(Dice& dice, std::int64_t count) {
  std::vector<Teacher> teachers;
  teachers.reserve(static_cast<std::size_t>(count));
  std::unordered_set<std::string> fullNames;
  while (static_cast<std::int64_t>(teachers.size()) < count) {
    Teacher teacher;
    teacher.lastName = PersonLastName(dice);
    teacher.firstName = PersonFirstName(dice);
    if (!fullNames.insert(teacher.lastName + ' ' + teacher.firstName).second)
      continue;
    teacher.usersLastName = teacher.lastName;
    // Some secretariats type double names with a space; folding joins both.
    if (dice.percent(50))
      std::replace(teacher.usersLastName.begin(), teacher.usersLastName.end(), '-', ' ');
    teacher.female = dice.percent(60);
    teacher.hasAccount = !dice.percent(3);
    teacher.hasEmail = !dice.percent(4);
    teacher.subjects.push_back(static_cast<std::size_t>(dice.below(kSubjects.size())));
    if (dice.percent(20))
      teacher.subjects.push_back(static_cast<std::size_t>(dice.below(kSubjects.size())));
    const int classCount = 3 + static_cast<int>(dice.below(5));
    for (int i = 0; i < classCount; ++i)
      teacher.classes.push_back(ClassCode(kLevels[static_cast<std::size_t>(dice.below(4))],
                                          kClassLetters[static_cast<std::size_t>(dice.below(6))]));
    teachers.push_back(std::move(teacher));
  }
  return teachers;
}

// Buffers lines and writes them in large blocks: the generator must not be
// what the benchmark waits for.
class ExportWriter {
 public:
  explicit ExportWriter(const std::filesystem::path& file)
      : file_(file), out_(file, std::ios::binary | std::ios::trunc) {
    if (!out_)
      throw std::runtime_error("cannot create " + file.string());
    buffer_.reserve(kBlock + 4096);
  }

  // Fields joined by ";" and ended by CR LF.
  template <typename... Fields>
  void line(const Fields&... fields) {
    bool first = true;
    ((buffer_.append(first ? "" : ";"), buffer_.append(fields), first = false), ...);
    buffer_.append("\r\n");
    if (buffer_.size() >= kBlock)
      flush();
  }

  std::uintmax_t finish() {
    flush();
    out_.close();
    if (!out_)
      throw std::runtime_error("cannot write " + file_.string());
    return std::filesystem::file_size(file_);
  }

 private:
  static constexpr std::size_t kBlock = 1 << 20;

  void flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

  std::filesystem::path file_;
  std::ofstream out_;
  std::string buffer_;
};

std::uintmax_t WriteUsers(const std::filesystem::path& file, std::int64_t lines,
                          const std::vector<Teacher>& teachers, Dice& dice) {
  std::vector<const Teacher*> accounts;
  for (const Teacher& teacher : teachers) {
    if (teacher.hasAccount)
      accounts.push_back(&teacher);
  }
  // Teacher accounts sit among the students in no particular order.
  for (std::size_t i = accounts.size(); i > 1; --i)
    std::swap(accounts[i - 1],
              accounts[static_cast<std::size_t>(dice.below(static_cast<std::int64_t>(i)))]);

  ExportWriter out(file);
  out.line("Classe", "Nom", "Pr\xE9nom", "Naissance", "Identifiant", "Profil", "Mot de passe");
  std::size_t nextAccount = 0;
  for (std::int64_t i = 0; i < lines; ++i) {
    // Selection sampling: exactly every account is placed, spread evenly.
    const auto accountsLeft = static_cast<std::int64_t>(accounts.size() - nextAccount);
    if (accountsLeft > 0 && dice.below(lines - i) < accountsLeft) {
      const Teacher& teacher = *accounts[nextAccount++];
      const std::string login =
          teacher.firstName.substr(0, 1) + "." + AsciiLetters(teacher.lastName) + std::to_string(i);
      out.line("PROF", teacher.usersLastName, teacher.firstName, "", login, "ENSEIGNANT",
               Password(dice));
      continue;
    }
    const std::string lastName = PersonLastName(dice);
    const std::string firstName = PersonFirstName(dice);
    const std::string classCode = ClassCode(kLevels[static_cast<std::size_t>(dice.below(4))],
                                            kClassLetters[static_cast<std::size_t>(dice.below(6))]);
    const std::string birthDate = std::to_string(10 + dice.below(18)) + "/0" +
                                  std::to_string(1 + dice.below(9)) + "/20" +
                                  std::to_string(10 + dice.below(5));
    const std::string login =
        firstName.substr(0, 1) + "." + AsciiLetters(lastName) + std::to_string(i);
    out.line(classCode, lastName, firstName, birthDate, login, "ELEVE", Password(dice));
  }
  return out.finish();
}

std::uintmax_t WriteGroups(const std::filesystem::path& file, std::int64_t lines,
                           const std::vector<Teacher>& teachers, Dice& dice) {
  ExportWriter out(file);
  out.line("Professeur", "Classe > Groupe", "Mati\xE8re/Sous-mati\xE8re", "Nb heures", "Salle");
  for (std::int64_t i = 0; i < lines; ++i) {
    const Teacher& teacher =
        teachers[static_cast<std::size_t>(dice.below(static_cast<std::int64_t>(teachers.size())))];
    const Subject& subject = kSubjects[teacher.subjects[static_cast<std::size_t>(
        dice.below(static_cast<std::int64_t>(teacher.subjects.size())))]];
    std::string classGroup = teacher.classes[static_cast<std::size_t>(
        dice.below(static_cast<std::int64_t>(teacher.classes.size())))];
    const int shape = static_cast<int>(dice.below(100));
    if (shape < 15) {
      classGroup += " GR" + std::to_string(1 + dice.below(2));
    } else if (shape < 20) {
      classGroup += " > " + classGroup + " LV";
    }
    const std::string_view label =
        !subject.apLabel.empty() && dice.percent(15) ? subject.apLabel : subject.label;
    const std::string hours = dice.percent(30) ? "1,5" : std::to_string(1 + dice.below(4));
    const std::string room =
        std::string(1, static_cast<char>('A' + dice.below(4))) + std::to_string(1 + dice.below(30));
    out.line(teacher.lastName + ' ' + teacher.firstName, classGroup, label, hours, room);
  }
  return out.finish();
}

std::uintmax_t WriteMails(const std::filesystem::path& file, const std::vector<Teacher>& teachers) {
  ExportWriter out(file);
  out.line("NOM", "CIVILITE", "PRENOM", "EMAIL");
  for (const Teacher& teacher : teachers) {
    const std::string email =
        teacher.hasEmail
            ? AsciiLower(AsciiLetters(teacher.firstName) + "." + AsciiLetters(teacher.lastName)) +
                  "@college-exemple.zz"
            : std::string();
    out.line(teacher.lastName, teacher.female ? "Mme" : "M.", teacher.firstName, email);
  }
  return out.finish();
}

}  // namespace

GeneratedExports GenerateExports(const std::filesystem::path& folder, std::int64_t usersLines) {
  usersLines = std::max<std::int64_t>(usersLines, 1);
  Dice dice(0x5EC0DEC0113E6Eull);
  const std::vector<Teacher> teachers =
      MakeTeachers(dice, std::max<std::int64_t>(1, usersLines / 20));

  GeneratedExports exports;
  exports.users = folder / "users.txt";
  exports.groups = folder / "profs-groupes.csv";
  exports.mails = folder / "profs-mails.csv";
  exports.usersBytes = WriteUsers(exports.users, usersLines, teachers, dice);
  exports.groupsBytes =
      WriteGroups(exports.groups, std::max<std::int64_t>(1, usersLines / 2), teachers, dice);
  exports.mailsBytes = WriteMails(exports.mails, teachers);
  return exports;
}

}  // namespace passerelle::bench
