// Steps 2 and 3 and "Sauver Profs": the teacher table from the teacher-group
// export, its completion from the e-mail export and the users table, and its
// saving.
//
// At heart each step is a row-by-row search (every import row against every
// teacher row, every teacher row against every users row). A rectorate export
// has millions of lines, so each search below goes through a hash index built
// once per step, arranged so that it finds the same rows, in the same order,
// with the same winner when several match, as the plain search would.
//
// At that size the indexes outgrow the processor's caches and a lookup costs
// what its cache misses cost. So the indexes are flat tables of numbers; the
// texts that recur by the thousand (subject labels, class cells, class codes)
// are worked out once each and then handled by number; and a table row is
// written once per step rather than cell by cell.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "steps/record_index.h"
#include "steps/screen_pacer.h"
#include "steps/steps.h"
#include "tables/csv_export.h"
#include "tables/delimited_import.h"
#include "tables/keyed_hash.h"

namespace passerelle {

namespace {

// Teacher table columns (same layout in the rejected-teacher table).
constexpr int kLastNameCol = 0;
constexpr int kFirstNameCol = 1;
constexpr int kCivilityCol = 2;
constexpr int kEmailCol = 3;
constexpr int kLoginCol = 4;
constexpr int kPasswordCol = 5;
constexpr int kClassCodesCol = 6;
constexpr int kSubjectKeyCol = 7;
constexpr int kTeacherColumnCount = 8;

constexpr std::array<std::string_view, kTeacherColumnCount> kTeacherColumnNames = {
    "last_name", "first_name", "civility_name",   "email",
    "login",     "pwd_vesta",  "level_key_names", "topic_key_name"};

// Users table columns, as step 1 leaves it.
constexpr int kUserCategoryCol = 1;
constexpr int kUserLastNameCol = 2;
constexpr int kUserFirstNameCol = 3;
constexpr int kUserLoginCol = 5;
constexpr int kUserPasswordCol = 7;
constexpr std::string_view kTeacherCategory = "PROF";

// The exports' columns are found by name in row 0. Exports carry the same
// name twice now and then, and the rightmost column has always been the one
// that counts. -1 when no cell carries any of the names.
int FindColumn(const Grid& grid, std::initializer_list<std::string_view> names) {
  for (int col = grid.colCount() - 1; col >= 0; --col) {
    const std::string_view cell = grid.cell(col, 0);
    if (std::find(names.begin(), names.end(), cell) != names.end())
      return col;
  }
  return -1;
}

// A teacher table the user has narrowed must still take all eight columns.
void EnsureTeacherColumns(Grid& grid) {
  if (grid.colCount() < kTeacherColumnCount)
    grid.setColCount(kTeacherColumnCount);
}

// ---------------------------------------------------------------------------
// Tools shared by the two steps.

constexpr int kNone = -1;

std::uint64_t HashText(std::string_view text) {
  return KeyedHash(text);
}

// Spreads a small number over the whole hash, so that keys sharing a text
// but not the number land in different slots.
std::uint64_t HashWithNumber(std::uint64_t hash, int number) {
  const std::uint64_t spread = static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ull;
  return hash ^ (spread + (hash << 6) + (hash >> 2));
}

// Entries numbered 0, 1, 2… in the order they were added, found through an
// open-addressing table of eight-byte (hash, number) slots. A lookup reads
// one slot and, when the hash agrees, one entry. The standard node-based map
// reads a bucket, a node and often a text's own block, and once the teachers
// run into tens of thousands each of those reads is a cache miss: they were
// most of a step's time. An entry is compared with == against a probe that
// the caller hashes exactly as it hashed the entry.
template <typename Entry>
class FlatIndex {
 public:
  template <typename Probe>
  int find(const Probe& probe, std::uint64_t hash) const {
    if (slots_.empty())
      return kNone;
    const std::uint32_t folded = Fold(hash);
    for (std::size_t at = folded & mask_;; at = (at + 1) & mask_) {
      const Slot& slot = slots_[at];
      if (slot.id == kNone)
        return kNone;
      if (slot.hash == folded && entries_[static_cast<std::size_t>(slot.id)] == probe)
        return slot.id;
    }
  }

  // Adds an entry that find() does not know; returns its number.
  int add(Entry entry, std::uint64_t hash) {
    reserve(entries_.size() + 1);
    const int id = static_cast<int>(entries_.size());
    entries_.push_back(std::move(entry));
    place(Slot{Fold(hash), id});
    return id;
  }

  void reserve(std::size_t entryCount) {
    // At most half the slots in use keeps the probe runs short.
    std::size_t slotCount = std::max<std::size_t>(slots_.size(), 16);
    while (slotCount < 2 * entryCount)
      slotCount *= 2;
    if (slotCount != slots_.size())
      rebuild(slotCount);
  }

  // The two first stages of a lookup for a batch of them, as in
  // RecordIndex::findEach(): ask for the slot a hash starts at; then, once
  // every slot of the batch is on its way, for the entry that slot names.
  void prefetchSlot(std::uint64_t hash) const {
    if (!slots_.empty())
      PrefetchMemory(&slots_[Fold(hash) & mask_]);
  }
  void prefetchEntry(std::uint64_t hash) const {
    if (slots_.empty())
      return;
    const Slot& slot = slots_[Fold(hash) & mask_];
    if (slot.id != kNone) {
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
    std::uint32_t hash;
    int id;
  };

  static std::uint32_t Fold(std::uint64_t hash) {
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
  }

  void rebuild(std::size_t slotCount) {
    const std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(slotCount, {0, kNone}));
    mask_ = slotCount - 1;
    for (const Slot& slot : old) {
      if (slot.id != kNone)
        place(slot);
    }
  }

  void place(const Slot& slot) {
    std::size_t at = slot.hash & mask_;
    while (slots_[at].id != kNone)
      at = (at + 1) & mask_;
    slots_[at] = slot;
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::vector<Entry> entries_;
};

// The number of a text, given to it on first sight.
int Intern(FlatIndex<std::string>& texts, std::string_view text) {
  const std::uint64_t hash = HashText(text);
  const int known = texts.find(text, hash);
  return known != kNone ? known : texts.add(std::string(text), hash);
}

// ---------------------------------------------------------------------------
// Step 2: teacher rows from the teacher-group export.

struct TeacherGroupColumns {
  int teacher;
  int classGroup;
  int subject;
};

std::optional<TeacherGroupColumns> LocateTeacherGroupColumns(const Grid& import,
                                                             ToolkitPort& port) {
  const int teacher = FindColumn(import, {"Professeur"});
  if (teacher < 0) {
    port.showMessage("Format de fichier incorrect:pas de professeur");
    return std::nullopt;
  }
  const int classGroup = FindColumn(import, {"Classe > Groupe"});
  if (classGroup < 0) {
    port.showMessage("Format de fichier incorrect: pas de classes");
    return std::nullopt;
  }
  const int subject = FindColumn(import, {"Mati\xE8re/Sous-mati\xE8re"});
  if (subject < 0) {
    port.showMessage("Format de fichier incorrect: pas de mati\xE8res");
    return std::nullopt;
  }
  return TeacherGroupColumns{teacher, classGroup, subject};
}

bool HasCollegeLevel(const std::string& levelText) {
  return !levelText.empty() && levelText.front() >= '3' && levelText.front() <= '6';
}

// A number worked out once per distinct text, for texts that recur by the
// thousand.
class NumberPerText {
 public:
  // workOut(text) gives the number of a text met for the first time. It
  // gets a copy: the text may lie in a table that working it out changes.
  template <typename WorkOut>
  int numberOf(std::string_view text, WorkOut&& workOut) {
    const std::uint64_t hash = HashText(text);
    const int known = texts_.find(text, hash);
    if (known != kNone)
      return numbers_[static_cast<std::size_t>(known)];
    std::string copy(text);
    const int number = workOut(std::as_const(copy));
    texts_.add(std::move(copy), hash);
    numbers_.push_back(number);
    return number;
  }

 private:
  FlatIndex<std::string> texts_;
  std::vector<int> numbers_;  // by entry of texts_
};

// Subject keys by number. NormalizeSubject costs hundreds of instructions
// and the step needs it on every line, yet an export holds a few dozen
// distinct labels: each label is normalised once.
class SubjectKeys {
 public:
  explicit SubjectKeys(SubjectOptions options) : options_(options) {}

  // The number of NormalizeSubject(label).
  int keyOf(std::string_view label) {
    // The label may be one of the keys' own texts, which Intern can move:
    // it is worked out from a copy.
    return keyOfLabel_.numberOf(label, [this](const std::string& labelText) {
      return Intern(keys_, NormalizeSubject(labelText, options_));
    });
  }

  const std::string& text(int key) const { return keys_.entry(key); }

 private:
  SubjectOptions options_;
  NumberPerText keyOfLabel_;
  FlatIndex<std::string> keys_;
};

// Class codes by number, worked out once per distinct class cell: an export
// repeats the same few hundred cells over and over.
class ClassCells {
 public:
  ClassCells(const TextList& classList, SubjectOptions options)
      : knownClasses_(classList), options_(options) {}

  // The number of the cell's class code, or kNone when the cell fails the
  // level test.
  int codeOf(std::string_view classCell) {
    return codeOfCell_.numberOf(
        classCell, [this](const std::string& cellText) { return workOutCode(cellText); });
  }

  const std::string& code(int number) const { return codes_.entry(number); }
  bool isKnown(int number) const { return knownCodes_[static_cast<std::size_t>(number)]; }

 private:
  // The level test runs on the class cell after the subject rules, so a
  // class label that the rules turn into a subject key ("latin") is out.
  int workOutCode(const std::string& classCell) {
    if (!HasCollegeLevel(NormalizeSubject(classCell, options_)))
      return kNone;
    const int number = Intern(codes_, NormalizeClassCode(classCell));
    if (number == static_cast<int>(knownCodes_.size()))
      knownCodes_.push_back(knownClasses_.contains(codes_.entry(number)));
    return number;
  }

  KnownClassIndex knownClasses_;
  SubjectOptions options_;
  NumberPerText codeOfCell_;
  FlatIndex<std::string> codes_;
  std::vector<bool> knownCodes_;
};

// Numbers of the class codes already looked for in one row. A school has a
// few dozen classes, so the first 64 numbers are the bits of one word; the
// others, from a rectorate's merged class list, go to a sorted vector that
// most rows never need.
class ClassCodeSet {
 public:
  // False when the number was in already.
  bool insert(int number) {
    if (number < kBitCount) {
      const std::uint64_t bit = std::uint64_t{1} << number;
      const bool added = (bits_ & bit) == 0;
      bits_ |= bit;
      return added;
    }
    if (!others_)
      others_ = std::make_unique<std::vector<int>>();
    const auto at = std::lower_bound(others_->begin(), others_->end(), number);
    if (at != others_->end() && *at == number)
      return false;
    others_->insert(at, number);
    return true;
  }

 private:
  static constexpr int kBitCount = 64;
  std::uint64_t bits_ = 0;
  std::unique_ptr<std::vector<int>> others_;
};

// Column 6 of one teacher row while the step works on it: the joined class
// codes, and the codes already looked for in it.
//
// Containment is a substring test on purpose (a list holding 5_a1 counts as
// holding 5_a). The text only ever grows by appending, so a code found once
// stays found; and a code not found is appended at once, after which it is
// found too. Each distinct code is therefore searched for at most once per
// row, however many import lines repeat it.
class ClassCodeList {
 public:
  explicit ClassCodeList(std::string text, bool changed = false)
      : text_(std::move(text)), changed_(changed) {}

  void addUnlessContained(int number, const std::string& code) {
    // An empty code is found nowhere, whatever the list holds.
    if (!code.empty()) {
      if (!lookedFor_.insert(number))
        return;
      if (text_.find(code) != std::string::npos)
        return;
    }
    text_.push_back(',');
    text_.append(code);
    changed_ = true;
  }

  const std::string& text() const { return text_; }
  bool changed() const { return changed_; }

 private:
  std::string text_;
  ClassCodeSet lookedFor_;
  bool changed_;
};

// What teacher rows are filed under: column 0 and a subject key number.
struct TeacherSubject {
  std::string_view teacher;
  int subjectKey;
};

std::uint64_t HashOf(const TeacherSubject& key) {
  return HashWithNumber(HashText(key.teacher), key.subjectKey);
}

// One line of the export as the builder takes it.
struct Association {
  TeacherSubject key;
  std::uint64_t hash;  // HashOf(key)
  int classCode;
};

// One teacher row while the step works on it.
struct TeacherRowState {
  explicit TeacherRowState(int tableRow) : row(tableRow) {}

  int row;
  int createdKey = kNone;                   // for a row added by this run: its column 7
  int next = kNone;                         // the next row filed under the same key, if any
  std::optional<ClassCodeList> classCodes;  // column 6, read when first needed
};

// A (column 0, subject key) and the rows filed under it. Nearly always there
// is one row, kept here beside the key so that finding it and working on it
// read the same memory. Rows that share a key (the user can edit the table)
// follow in a list of their own.
struct TeacherGroup {
  int subjectKey;
  std::string teacher;
  TeacherRowState firstRow;
  int lastRow = kNone;  // the last of the other rows

  bool operator==(const TeacherSubject& probe) const {
    return subjectKey == probe.subjectKey && teacher == probe.teacher;
  }
};

// The teacher table seen from step 2: every row, row 0 and rows added by this
// run included, filed under its column 0 and the subject key of its column 7.
// A lookup gives the matching rows in table order, as a scan from row 0 would.
//
// Nothing is written to the table until the end: a row added by the run is
// written whole once, a row that gained classes gets its column 6 once.
class TeacherRowBuilder {
 public:
  TeacherRowBuilder(Grid& teachers, SubjectKeys& subjectKeys, ClassCells& classCells,
                    ScreenPacer& pacer)
      : teachers_(teachers), subjectKeys_(subjectKeys), classCells_(classCells), pacer_(pacer) {
    const int rows = teachers_.rowCount();
    groups_.reserve(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
      pacer_.rowDone();
      // Rows are compared on the subject key of their column 7, not on the
      // text itself: a label no rule knows (such as "AP FRANCAIS" left by
      // "AP AP FRANCAIS") is stored as it came, yet keyed as its own normal
      // form.
      file(row, teachers_.cell(kLastNameCol, row),
           subjectKeys_.keyOf(teachers_.cell(kSubjectKeyCol, row)));
    }
  }

  // One association of the export: a teacher, the subject key and the class
  // code of a class cell that passed the level test.
  void add(const Association& association) {
    const int group = groups_.find(association.key, association.hash);
    const int classCode = association.classCode;
    if (group == kNone) {
      addRow(association.key.teacher, association.key.subjectKey, classCode);
      return;
    }
    // Only known classes are appended: a group code would mean nothing to
    // the platform. Several rows may share the name and key; each is
    // completed according to its own list.
    if (!classCells_.isKnown(classCode))
      return;
    const std::string& code = classCells_.code(classCode);
    for (TeacherRowState* state = &groups_.entry(group).firstRow; state != nullptr;
         state = nextRow(*state)) {
      classCodesOf(*state).addUnlessContained(classCode, code);
    }
  }

  // Brings in what adding these associations will read first.
  void prefetch(std::span<const Association> associations) const {
    for (const Association& association : associations)
      groups_.prefetchSlot(association.hash);
    for (const Association& association : associations)
      groups_.prefetchEntry(association.hash);
  }

  void writeRows() {
    for (const TeacherGroup& group : groups_.entries()) {
      pacer_.rowDone();
      writeRow(group.firstRow, group);
      for (const TeacherRowState* state = nextRow(group.firstRow); state != nullptr;
           state = nextRow(*state)) {
        writeRow(*state, group);
      }
    }
  }

 private:
  // The first class of a new row is kept whether the class list knows it or
  // not: it may be the teacher's only group.
  void addRow(std::string_view teacher, int subjectKey, int classCode) {
    const int row = teachers_.appendRow();
    // Filed like any other row, under the key of what its column 7 holds.
    TeacherRowState& state = file(row, teacher, subjectKeys_.keyOf(subjectKeys_.text(subjectKey)));
    state.createdKey = subjectKey;
    state.classCodes.emplace(classCells_.code(classCode), true);
  }

  TeacherRowState& file(int row, std::string_view teacher, int subjectKey) {
    const TeacherSubject key{teacher, subjectKey};
    const std::uint64_t hash = HashOf(key);
    const int found = groups_.find(key, hash);
    if (found == kNone) {
      const int group = groups_.add(
          TeacherGroup{subjectKey, std::string(teacher), TeacherRowState(row), kNone}, hash);
      return groups_.entry(group).firstRow;
    }
    TeacherGroup& group = groups_.entry(found);
    const int added = static_cast<int>(otherRows_.size());
    otherRows_.push_back(TeacherRowState(row));
    TeacherRowState& previous = group.lastRow == kNone
                                    ? group.firstRow
                                    : otherRows_[static_cast<std::size_t>(group.lastRow)];
    previous.next = added;
    group.lastRow = added;
    return otherRows_.back();
  }

  TeacherRowState* nextRow(const TeacherRowState& state) {
    return state.next == kNone ? nullptr : &otherRows_[static_cast<std::size_t>(state.next)];
  }

  ClassCodeList& classCodesOf(TeacherRowState& state) {
    if (!state.classCodes)
      state.classCodes.emplace(std::string(teachers_.cell(kClassCodesCol, state.row)));
    return *state.classCodes;
  }

  void writeRow(const TeacherRowState& state, const TeacherGroup& group) {
    if (state.createdKey != kNone) {
      std::array<std::string_view, kTeacherColumnCount> cells{};
      cells[kLastNameCol] = group.teacher;
      cells[kClassCodesCol] = state.classCodes->text();
      cells[kSubjectKeyCol] = subjectKeys_.text(state.createdKey);
      teachers_.setRowTexts(state.row, cells);
    } else if (state.classCodes && state.classCodes->changed()) {
      teachers_.setCell(kClassCodesCol, state.row, state.classCodes->text());
    }
  }

  Grid& teachers_;
  SubjectKeys& subjectKeys_;
  ClassCells& classCells_;
  ScreenPacer& pacer_;
  FlatIndex<TeacherGroup> groups_;
  std::vector<TeacherRowState> otherRows_;
};

// The export writes classes as 5A; the class list has 5_a. The "_" goes in
// before the second character of every class cell, left in the import grid
// for the user to see. Row 0 holds the column names and is left alone.
void InsertLevelUnderscores(Grid& import, int classCol, ScreenPacer& pacer) {
  std::string cell;
  for (int row = 1; row < import.rowCount(); ++row) {
    pacer.rowDone();
    cell.assign(import.cell(classCol, row));
    cell.insert(cell.empty() ? 0 : 1, 1, '_');
    import.setCell(classCol, row, cell);
  }
}

// The export's lines come in no useful order, so nearly every lookup in the
// teacher index misses the cache. Looking a line up right after working out
// its cells left too much work between two lookups for the processor to
// start the next one early, so each miss was waited for in turn. Lines are
// therefore taken in batches: first what every line of the batch asks for
// is worked out, then the batch is added in order by a short loop in which
// the misses of neighbouring lines overlap.
class AssociationBatches {
 public:
  AssociationBatches(const Grid& import, const TeacherGroupColumns& columns,
                     SubjectKeys& subjectKeys, ClassCells& classCells)
      : import_(import), columns_(columns), subjectKeys_(subjectKeys), classCells_(classCells) {
    batch_.reserve(kBatchRows);
  }

  // Row 0 takes part like any other; its class cell is the column name,
  // which never passes the level test.
  void addAll(TeacherRowBuilder& builder, ScreenPacer& pacer) {
    for (int first = 0; first < import_.rowCount(); first += kBatchRows) {
      const int end = std::min(import_.rowCount(), first + kBatchRows);
      collect(first, end, pacer);
      addInTurn(builder);
    }
  }

 private:
  static constexpr int kBatchRows = 1024;

  // The batch keeps views of the import grid's cells: nothing writes to the
  // grid once the underscores are in.
  void collect(int first, int end, ScreenPacer& pacer) {
    batch_.clear();
    for (int row = first; row < end; ++row) {
      pacer.rowDone();
      const int classCode = classCells_.codeOf(import_.cell(columns_.classGroup, row));
      if (classCode == kNone)
        continue;
      const TeacherSubject key{import_.cell(columns_.teacher, row),
                               subjectKeys_.keyOf(import_.cell(columns_.subject, row))};
      batch_.push_back(Association{key, HashOf(key), classCode});
    }
  }

  void addInTurn(TeacherRowBuilder& builder) {
    builder.prefetch(batch_);
    for (const Association& association : batch_)
      builder.add(association);
  }

  const Grid& import_;
  const TeacherGroupColumns& columns_;
  SubjectKeys& subjectKeys_;
  ClassCells& classCells_;
  std::vector<Association> batch_;
};

// ---------------------------------------------------------------------------
// Step 3: identities from the e-mail export, accounts from the users table.

struct MailColumns {
  int lastName;
  int civility;
  int firstName;
  int email;
};

std::optional<MailColumns> LocateMailColumns(const Grid& import, ToolkitPort& port) {
  const int lastName = FindColumn(import, {"Nom", "NOM"});
  if (lastName < 0) {
    port.showMessage("Format de fichier incorrect:pas de nom");
    return std::nullopt;
  }
  const int civility = FindColumn(import, {"Civilit\xE9", "CIVILITE"});
  if (civility < 0) {
    port.showMessage("Format de fichier incorrect: pas de civilit\xE9");
    return std::nullopt;
  }
  const int firstName = FindColumn(import, {"Pr\xE9nom", "PRENOM"});
  if (firstName < 0) {
    port.showMessage("Format de fichier incorrect: pas de Prenom");
    return std::nullopt;
  }
  const int email = FindColumn(import, {"E-mail", "EMAIL"});
  if (email < 0) {
    port.showMessage("Format de fichier incorrect: pas d email");
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
// the processor wait for several of those misses at once (see
// AssociationBatches). Each row is written back once.
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
      keys_[i] = teachers_.cell(kLastNameCol, first + static_cast<int>(i));
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
      TeacherAccounts::FoldNames(teachers_.cell(kLastNameCol, row),
                                 teachers_.cell(kFirstNameCol, row), foldedNames_[k]);
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
      cells_[kEmailCol] = identity.text(MailIdentities::kEmail);
      cells_[kLastNameCol] = identity.text(MailIdentities::kLastName);
      cells_[kFirstNameCol] = identity.text(MailIdentities::kFirstName);
      cells_[kCivilityCol] = identity.text(MailIdentities::kCivility);
      if (identity.number() != kNone) {
        cells_[kLoginCol] = identity.text(MailIdentities::kLogin);
        cells_[kPasswordCol] = identity.text(MailIdentities::kPassword);
      }
    } else if (const RecordIndex::Record& account = completion.account) {
      cells_[kLoginCol] = account.text(TeacherAccounts::kLogin);
      cells_[kPasswordCol] = account.text(TeacherAccounts::kPassword);
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

void AppendDrawn(std::string& text, int count, std::uint32_t& seed) {
  for (int i = 0; i < count; ++i)
    text.push_back(RandomAlnum(seed));
}

// A teacher account to try the platform with. Its address must never reach
// anyone: "zz" is no country's code.
void AddTestTeacherOnce(WorkingTables& tables) {
  if (tables.testTeacherAdded)
    return;
  std::string address = "bidon";
  AppendDrawn(address, 4, tables.randomSeed);
  address.append("@test");
  AppendDrawn(address, 1, tables.randomSeed);
  address.append(".zz");

  const std::array<std::string_view, kTeacherColumnCount> testTeacher = {
      "prof", "test", "Monsieur", address, "prof1", "kiwo47", "6_test", "anglais"};
  Grid& teachers = tables.StringGrid2;
  const int row = teachers.appendRow();
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    teachers.setCell(col, row, testTeacher[static_cast<std::size_t>(col)]);
  }
  tables.testTeacherAdded = true;
}

// ---------------------------------------------------------------------------
// Saving teachers.

// A stand-in address for a teacher PRONOTE has none for, so that the
// platform accepts the account; the "zz" domain keeps it from reaching
// anyone.
std::string GeneratedAddress(std::uint32_t& seed) {
  std::string address;
  AppendDrawn(address, 8, seed);
  address.append("@x");
  AppendDrawn(address, 3, seed);
  address.append(".zz");
  return address;
}

// Teachers without a login cannot be imported: they go to the rejected table
// for the administrator to follow up. Rows are decided top to bottom and
// removed in one pass at the end; addresses are drawn only for rows that
// stay, in table order, so the random sequence is the same as if each
// rejected row had been removed on the spot.
void SortOutTeacherRows(WorkingTables& tables, bool generateAddresses) {
  Grid& teachers = tables.StringGrid2;
  Grid& rejected = tables.StringGrid6;
  std::vector<int> keptRows{0};
  keptRows.reserve(static_cast<std::size_t>(teachers.rowCount()));
  for (int row = 1; row < teachers.rowCount(); ++row) {
    if (teachers.cell(kLoginCol, row).empty()) {
      const int target = rejected.appendRow();
      for (int col = 0; col < kTeacherColumnCount; ++col) {
        rejected.setCell(col, target, teachers.cell(col, row));
      }
      continue;
    }
    keptRows.push_back(row);
    if (generateAddresses && teachers.cell(kEmailCol, row).empty()) {
      teachers.setCell(kEmailCol, row, GeneratedAddress(tables.randomSeed));
    }
  }
  if (static_cast<int>(keptRows.size()) != teachers.rowCount())
    teachers.keepRows(keptRows);
}

void CopyColumnNames(const Grid& from, Grid& to) {
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    to.setCell(col, 0, std::string(from.cell(col, 0)));
  }
}

}  // namespace

bool BuildTeacherRows(WorkingTables& tables, ToolkitPort& port, SubjectOptions options) {
  Grid& import = tables.StringGrid1;
  const std::optional<TeacherGroupColumns> columns = LocateTeacherGroupColumns(import, port);
  if (!columns)
    return false;

  EnsureTeacherColumns(tables.StringGrid2);
  ScreenPacer pacer(port);
  SubjectKeys subjectKeys(options);
  ClassCells classCells(tables.Memo3, options);
  TeacherRowBuilder builder(tables.StringGrid2, subjectKeys, classCells, pacer);
  InsertLevelUnderscores(import, columns->classGroup, pacer);
  AssociationBatches(import, *columns, subjectKeys, classCells).addAll(builder, pacer);
  builder.writeRows();
  FitGridColumns(tables.StringGrid2, port);
  return true;
}

bool CompleteTeacherRows(WorkingTables& tables, ToolkitPort& port) {
  const std::optional<MailColumns> columns = LocateMailColumns(tables.StringGrid1, port);
  if (!columns)
    return false;

  Grid& teachers = tables.StringGrid2;
  EnsureTeacherColumns(teachers);
  ScreenPacer pacer(port);
  TeacherRowCompleter(teachers, tables.StringGrid1, *columns, tables.StringGrid5, pacer)
      .completeAll();
  WriteTeacherColumnNames(teachers);
  AddTestTeacherOnce(tables);
  FitGridColumns(teachers, port);
  return true;
}

void SaveTeachers(WorkingTables& tables, ToolkitPort& port, bool generateAddresses,
                  const std::filesystem::path& folder) {
  // A folder that cannot be made is reported and the command goes on: the
  // write below then fails with the file error the user needs to see.
  EnsureOutputFolder(folder, port);
  EnsureTeacherColumns(tables.StringGrid2);
  EnsureTeacherColumns(tables.StringGrid6);
  SortOutTeacherRows(tables, generateAddresses);
  CopyColumnNames(tables.StringGrid2, tables.StringGrid6);
  const GridFile files[] = {{tables.StringGrid2, folder / "profs.csv"},
                            {tables.StringGrid6, folder / "2profs invalides.csv"}};
  SaveGridsAsCsv(files);
  port.showMessage(kSavedMessage);
}

}  // namespace passerelle
