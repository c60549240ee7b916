// Step 3, "profs-mails": each teacher row takes its identity (names,
// civility, e-mail) from the teacher e-mail export and its account (login,
// password) from the teacher lines of the users table; then the column names
// and, once per run, the test teacher.
//
// At heart the step is two row-by-row searches: every teacher row against
// the export's lines in order, and against the users table. Both go through
// indexes built once per run that give what the searches would.
//
// Behaviour: LocateMailColumns, FullNameOf, TeacherAccounts::FoldNames (how
// names are matched with accounts), the chain rule that MailIdentities
// works out (which export line a teacher row ends up with, and so which
// account), TeacherRowCompleter::writeRow (what a row receives),
// WriteTeacherColumnNames and AddTestTeacherOnce.
//
// Speed only: the RecordIndex (steps/hash_index.h) each of TeacherAccounts
// and MailIdentities files its records in, MailIdentities' reading of the
// export from its last line up so that each chain costs one lookup, and the
// batches of TeacherRowCompleter and MailIdentities, whose lookups go in
// short loops so that their cache misses overlap. Pinned to the plain search
// by TeacherIndexAgreement and TeacherStepsAtScale
// (tests/steps/teacher_steps_test.cpp); the step 3 objective of
// passerelle-bench guards their speed.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "steps/export_columns.h"
#include "steps/hash_index.h"
#include "steps/screen_pacer.h"
#include "steps/steps.h"
#include "steps/teacher_table.h"
#include "steps/users_table.h"
#include "tables/delimited_import.h"

namespace passerelle {

namespace {

constexpr int kNone = -1;  // a record's number when it has no users row

struct MailColumns {
  int lastName;
  int civility;
  int firstName;
  int email;
};

// The columns step 3 reads, or none with `missing` saying which is absent.
std::optional<MailColumns> LocateMailColumns(const Grid& import, std::string& missing) {
  const int lastName = FindColumn(import, {"Nom", "NOM"});
  if (lastName < 0) {
    missing = "Format de fichier incorrect:pas de nom";
    return std::nullopt;
  }
  const int civility = FindColumn(import, {"Civilit\xE9", "CIVILITE"});
  if (civility < 0) {
    missing = "Format de fichier incorrect: pas de civilit\xE9";
    return std::nullopt;
  }
  const int firstName = FindColumn(import, {"Pr\xE9nom", "PRENOM"});
  if (firstName < 0) {
    missing = "Format de fichier incorrect: pas de Prenom";
    return std::nullopt;
  }
  const int email = FindColumn(import, {"E-mail", "EMAIL"});
  if (email < 0) {
    missing = "Format de fichier incorrect: pas d email";
    return std::nullopt;
  }
  return MailColumns{lastName, civility, firstName, email};
}

// The users file and PRONOTE spell names differently (accents, hyphens,
// case), so accounts are matched on folded names. When several "PROF" rows
// fold alike, the last one in the users table supplies the account.
//
// Each account is kept with its login, lower-cased, and its password, so that
// a teacher row finds all it takes from it in one place.
class TeacherAccounts {
 public:
  // A record's texts after its key, the folded names; its number is the
  // users row.
  static constexpr std::size_t kLogin = 1;
  static constexpr std::size_t kPassword = 2;

  TeacherAccounts(const Grid& users, ScreenPacer& pacer) : accounts_(3) {
    accounts_.reserve(static_cast<std::size_t>(users.rowCount()));
    std::string names;
    for (int row = 0; row < users.rowCount(); ++row) {
      pacer.rowDone();
      if (users.cell(kUserCategoryCol, row) != kTeacherCategory)
        continue;
      FoldNames(users.cell(kUserLastNameCol, row), users.cell(kUserFirstNameCol, row), names);
      const std::string login = AsciiLowerCase(users.cell(kUserLoginCol, row));
      const std::array<std::string_view, 3> account = {names, login,
                                                       users.cell(kUserPasswordCol, row)};
      accounts_.put(account, row);
    }
  }

  // Both folded names of a teacher in one text, the key of the accounts.
  // Folding removes every space, so the one space between them keeps each
  // pair of names apart from every other.
  static void FoldNames(std::string_view lastName, std::string_view firstName,
                        std::string& folded) {
    folded.clear();
    AppendFoldedName(lastName, folded);
    folded.push_back(' ');
    AppendFoldedName(firstName, folded);
  }

  // The account of a teacher with these folded names, or none; for each of
  // many at once.
  void findEach(std::span<const std::string_view> folded,
                std::span<RecordIndex::Record> found) const {
    accounts_.findEach(folded, found);
  }

  bool empty() const { return accounts_.empty(); }

 private:
  RecordIndex accounts_;
};

// "LAST First", as step 2 keeps a teacher's name; the e-mail export has the
// two apart.
void FullNameOf(const Grid& import, const MailColumns& columns, int row, std::string& fullName) {
  fullName.assign(import.cell(columns.lastName, row));
  fullName.push_back(' ');
  fullName.append(import.cell(columns.firstName, row));
}

// What a teacher row takes from the e-mail export and the users table,
// filed under the name in its column 0.
//
// A teacher row meets the export lines in order, and a match replaces its
// column 0 by the line's last name, which the following lines are then
// compared with. So the row's story is a chain: the first line whose full
// name equals column 0, then the first line after that one whose full name
// equals that line's last name, and so on. Every match overwrites the same
// four cells, so only the chain's last line matters, and the account is then
// the one of that line's names.
//
// The export is read from its last line up, and the index holds for each
// full name what the chain from the name's first line below the current one
// gives. A line's chain then goes on from the line its last name leads to,
// found in one lookup, and ends there with what that line's record already
// holds; with no such line, it ends on the line itself. The line then
// becomes its name's first line. Once the export's first line is filed,
// each full name holds what its own first line gives, and a teacher row
// costs one lookup, instead of a walk through the export, the accounts and
// the users table whose every step waits on the one before.
class MailIdentities {
 public:
  // A record's texts after its key, the full name; its number is the users
  // row of the account, or kNone when the names have none.
  static constexpr std::size_t kLastName = 1;
  static constexpr std::size_t kFirstName = 2;
  static constexpr std::size_t kCivility = 3;
  static constexpr std::size_t kEmail = 4;
  static constexpr std::size_t kLogin = 5;
  static constexpr std::size_t kPassword = 6;
  static constexpr std::size_t kTexts = 7;

  MailIdentities(const Grid& import, const MailColumns& columns, const TeacherAccounts& accounts,
                 ScreenPacer& pacer)
      : import_(import), columns_(columns), accounts_(accounts), identities_(kTexts) {
    identities_.reserve(static_cast<std::size_t>(import.rowCount()));
    // A batch at a time, each kind of lookup in a short loop of its own, as
    // the teacher rows go (see TeacherRowCompleter).
    for (int high = import.rowCount() - 1; high >= 1; high -= kBatchRows) {
      const int low = std::max(1, high - kBatchRows + 1);
      readNames(high, low);
      findOwnAccounts();
      fileLines(high, pacer);
    }
  }

  // What a teacher row with this column 0 takes, or none when no line of
  // the export has that full name; for each of many names at once.
  void findEach(std::span<const std::string_view> names,
                std::span<RecordIndex::Record> found) const {
    identities_.findEach(names, found);
  }

 private:
  static constexpr int kBatchRows = 1024;

  // The last and full names of rows high down to low, by place in the batch.
  void readNames(int high, int low) {
    const auto size = static_cast<std::size_t>(high - low + 1);
    lastNames_.resize(size);
    fullNames_.resize(std::max(fullNames_.size(), size));
    for (std::size_t i = 0; i < size; ++i) {
      const int row = high - static_cast<int>(i);
      lastNames_[i] = import_.cell(columns_.lastName, row);
      FullNameOf(import_, columns_, row, fullNames_[i]);
    }
  }

  // The account of each line's own names, the one its record takes when
  // its chain ends on it.
  void findOwnAccounts() {
    accountOf_.assign(lastNames_.size(), RecordIndex::Record());
    if (accounts_.empty())
      return;
    foldedNames_.resize(std::max(foldedNames_.size(), lastNames_.size()));
    keys_.resize(lastNames_.size());
    for (std::size_t i = 0; i < lastNames_.size(); ++i) {
      // The first name is what the full name holds after the last name
      // and its space.
      TeacherAccounts::FoldNames(lastNames_[i],
                                 std::string_view(fullNames_[i]).substr(lastNames_[i].size() + 1),
                                 foldedNames_[i]);
      keys_[i] = foldedNames_[i];
    }
    accounts_.findEach(keys_, accountOf_);
  }

  // Files the batch's lines, last first: a line's link may be a line of
  // the same batch, filed just before it.
  void fileLines(int high, ScreenPacer& pacer) {
    keys_.assign(lastNames_.begin(), lastNames_.end());
    keys_.insert(keys_.end(), fullNames_.begin(), fullNames_.begin() + lastNames_.size());
    identities_.prefetch(keys_);
    std::array<std::string_view, kTexts> texts;
    for (std::size_t i = 0; i < lastNames_.size(); ++i) {
      pacer.rowDone();
      const int row = high - static_cast<int>(i);
      texts[0] = fullNames_[i];
      int account = kNone;
      if (const RecordIndex::Record link = identities_.find(lastNames_[i])) {
        for (std::size_t t = 1; t < kTexts; ++t)
          texts[t] = link.text(t);
        account = link.number();
      } else {
        const RecordIndex::Record& own = accountOf_[i];
        texts[kLastName] = lastNames_[i];
        texts[kFirstName] = std::string_view(fullNames_[i]).substr(lastNames_[i].size() + 1);
        texts[kCivility] = import_.cell(columns_.civility, row) == "Mme" ? "Madame" : "Monsieur";
        texts[kEmail] = import_.cell(columns_.email, row);
        texts[kLogin] = own ? own.text(TeacherAccounts::kLogin) : std::string_view();
        texts[kPassword] = own ? own.text(TeacherAccounts::kPassword) : std::string_view();
        account = own ? own.number() : kNone;
      }
      identities_.put(texts, account);
    }
  }

  const Grid& import_;
  const MailColumns& columns_;
  const TeacherAccounts& accounts_;
  RecordIndex identities_;
  // Batch work, by place in the batch.
  std::vector<std::string_view> lastNames_;
  std::vector<std::string> fullNames_;
  std::vector<std::string> foldedNames_;
  std::vector<std::string_view> keys_;
  std::vector<RecordIndex::Record> accountOf_;
};

// Every stored cell of a row, and at least the teacher columns, for a row
// that is about to be written back whole.
void ReadRowCells(const Grid& grid, int row, std::vector<std::string_view>& cells) {
  const Grid::StoredCells stored = grid.storedCells(row);
  const int count = std::min(stored.size(), grid.colCount());
  cells.assign(static_cast<std::size_t>(std::max(count, kTeacherColumnCount)), std::string_view());
  stored.forEach(static_cast<std::size_t>(count),
                 [&cells](std::size_t col, std::string_view text) { cells[col] = text; });
}

// Gives each teacher row its identity from the e-mail export, and its account
// from the users table: the account of the export line's names when the row
// has an identity, else of the row's own names. The table goes through a
// batch of rows at a time, in one short loop per kind of lookup: the lookups
// of neighbouring rows miss the cache independently, and a short loop lets
// the processor wait for several of those misses at once (as step 2's
// AssociationBatches does). Each row is written back once.
class TeacherRowCompleter {
 public:
  TeacherRowCompleter(Grid& teachers, const Grid& import, const MailColumns& columns,
                      const Grid& users, ScreenPacer& pacer)
      : teachers_(teachers),
        pacer_(pacer),
        accounts_(users, pacer),
        identities_(import, columns, accounts_, pacer) {}

  void completeAll() {
    for (int first = 0; first < teachers_.rowCount(); first += kBatchRows) {
      const int end = std::min(teachers_.rowCount(), first + kBatchRows);
      findIdentities(first, end);
      findAccounts(first);
      writeRows(first);
    }
  }

 private:
  static constexpr int kBatchRows = 1024;

  // What one teacher row receives, when it receives anything.
  struct Completion {
    RecordIndex::Record identity;
    RecordIndex::Record account;  // only for a row without an identity
  };

  void findIdentities(int first, int end) {
    const auto size = static_cast<std::size_t>(end - first);
    batch_.assign(size, Completion{});
    keys_.resize(size);
    for (std::size_t i = 0; i < size; ++i)
      keys_[i] = teachers_.cell(kTeacherLastNameCol, first + static_cast<int>(i));
    found_.resize(size);
    identities_.findEach(keys_, found_);
    for (std::size_t i = 0; i < size; ++i)
      batch_[i].identity = found_[i];
  }

  // The account of the rows the export gives no identity: by their own names.
  void findAccounts(int first) {
    if (accounts_.empty())
      return;
    rowsWithoutIdentity_.clear();
    for (std::size_t i = 0; i < batch_.size(); ++i) {
      if (!batch_[i].identity)
        rowsWithoutIdentity_.push_back(i);
    }
    foldedNames_.resize(std::max(foldedNames_.size(), rowsWithoutIdentity_.size()));
    keys_.resize(rowsWithoutIdentity_.size());
    for (std::size_t k = 0; k < rowsWithoutIdentity_.size(); ++k) {
      const int row = first + static_cast<int>(rowsWithoutIdentity_[k]);
      TeacherAccounts::FoldNames(teachers_.cell(kTeacherLastNameCol, row),
                                 teachers_.cell(kTeacherFirstNameCol, row), foldedNames_[k]);
      keys_[k] = foldedNames_[k];
    }
    found_.resize(keys_.size());
    accounts_.findEach(keys_, found_);
    for (std::size_t k = 0; k < rowsWithoutIdentity_.size(); ++k)
      batch_[rowsWithoutIdentity_[k]].account = found_[k];
  }

  void writeRows(int first) {
    for (std::size_t i = 0; i < batch_.size(); ++i) {
      pacer_.rowDone();
      const Completion& completion = batch_[i];
      if (completion.identity || completion.account)
        writeRow(first + static_cast<int>(i), completion);
    }
  }

  void writeRow(int row, const Completion& completion) {
    ReadRowCells(teachers_, row, cells_);
    if (const RecordIndex::Record& identity = completion.identity) {
      cells_[kTeacherEmailCol] = identity.text(MailIdentities::kEmail);
      cells_[kTeacherLastNameCol] = identity.text(MailIdentities::kLastName);
      cells_[kTeacherFirstNameCol] = identity.text(MailIdentities::kFirstName);
      cells_[kTeacherCivilityCol] = identity.text(MailIdentities::kCivility);
      if (identity.number() != kNone) {
        cells_[kTeacherLoginCol] = identity.text(MailIdentities::kLogin);
        cells_[kTeacherPasswordCol] = identity.text(MailIdentities::kPassword);
      }
    } else if (const RecordIndex::Record& account = completion.account) {
      cells_[kTeacherLoginCol] = account.text(TeacherAccounts::kLogin);
      cells_[kTeacherPasswordCol] = account.text(TeacherAccounts::kPassword);
    }
    // The views into the row's own cells stay valid while it is rewritten:
    // the grid copies a row's new cells before letting the old ones go.
    teachers_.setRowTexts(row, cells_);
  }

  Grid& teachers_;
  ScreenPacer& pacer_;
  const TeacherAccounts accounts_;
  const MailIdentities identities_;
  // Batch work, by place in the batch unless said otherwise.
  std::vector<Completion> batch_;
  std::vector<std::string_view> keys_;
  std::vector<RecordIndex::Record> found_;
  std::vector<std::size_t> rowsWithoutIdentity_;
  std::vector<std::string> foldedNames_;  // by place in rowsWithoutIdentity_
  std::vector<std::string_view> cells_;   // one row's, kept for its buffer
};

void WriteTeacherColumnNames(Grid& grid) {
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    grid.setCell(col, 0, kTeacherColumnNames[static_cast<std::size_t>(col)]);
  }
}

// A teacher account to try the platform with. Its address must never reach
// anyone: "zz" is no country's code.
void AddTestTeacherOnce(WorkingTables& tables) {
  if (tables.testTeacherAdded)
    return;
  std::string address = "bidon";
  AppendRandomAlnum(address, 4, tables.randomSeed);
  address.append("@test");
  AppendRandomAlnum(address, 1, tables.randomSeed);
  address.append(".zz");

  const std::array<std::string_view, kTeacherColumnCount> testTeacher = {
      "prof", "test", "Monsieur", address, "prof1", "kiwo47", "6_test", "anglais"};
  Grid& teachers = tables.teachers;
  const int row = teachers.appendRow();
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    teachers.setCell(col, row, testTeacher[static_cast<std::size_t>(col)]);
  }
  tables.testTeacherAdded = true;
}

}  // namespace

StepOutcome CompleteTeacherRows(WorkingTables& tables, ToolkitPort& port) {
  std::string missing;
  const std::optional<MailColumns> columns = LocateMailColumns(tables.importGrid, missing);
  if (!columns)
    return StepOutcome::Stopped(StepOutcome::Kind::kMissingColumn, std::move(missing));

  Grid& teachers = tables.teachers;
  EnsureTeacherColumns(teachers);
  ScreenPacer pacer(port);
  TeacherRowCompleter(teachers, tables.importGrid, *columns, tables.users, pacer).completeAll();
  WriteTeacherColumnNames(teachers);
  AddTestTeacherOnce(tables);
  FitGridColumns(teachers, port);
  return StepOutcome::Done();
}

}  // namespace passerelle
