// Step 2, "profs-groupes": one teacher row per teacher and subject key, with
// the class codes the teacher-group export gives it.
//
// At heart the step is a row-by-row search: every export line against every
// teacher row. A rectorate's export has millions of lines, so the search
// goes through an index built once per run, arranged so that it finds the
// same rows, in the same order, with the same winner, as the plain search.
//
// Behaviour (what the step does): LocateTeacherGroupColumns,
// InsertLevelUnderscores, HasCollegeLevel, ClassCodeList (the containment
// rule for column 6) and TeacherRowBuilder (which rows an export line
// completes or adds, and what they are written with).
//
// Speed only (each gives what the plain search gives, sooner): the index
// TeacherRowBuilder keeps its rows in (FlatIndex, steps/hash_index.h, over
// TeacherGroup and TeacherRowState); NumberPerText, SubjectKeys and
// ClassCells, which work out a subject key or a class code once per distinct
// text rather than once per line; ClassCodeSet, which remembers the codes a
// row was already searched for; and AssociationBatches, which takes the
// export's lines a batch at a time so that their cache misses overlap. All
// are pinned to the plain search by TeacherIndexAgreement and
// TeacherStepsAtScale (tests/steps/teacher_steps_test.cpp); the step 2
// objective of passerelle-bench guards their speed.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
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
#include "tables/delimited_import.h"
#include "tables/keyed_hash.h"

namespace passerelle {

namespace {

constexpr int kNone = FlatIndex<std::string>::kNone;

std::uint64_t HashText(std::string_view text) {
  return KeyedHash(text);
}

// Spreads a small number over the whole hash, so that keys sharing a text
// but not the number land in different slots.
std::uint64_t HashWithNumber(std::uint64_t hash, int number) {
  const std::uint64_t spread = static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ull;
  return hash ^ (spread + (hash << 6) + (hash >> 2));
}

// The number of a text, given to it on first sight.
int Intern(FlatIndex<std::string>& texts, std::string_view text) {
  const std::uint64_t hash = HashText(text);
  const int known = texts.find(text, hash);
  return known != kNone ? known : texts.add(std::string(text), hash);
}

struct TeacherGroupColumns {
  int teacher;
  int classGroup;
  int subject;
};

// The columns step 2 reads, or none with `missing` saying which is absent.
std::optional<TeacherGroupColumns> LocateTeacherGroupColumns(const Grid& import,
                                                             std::string& missing) {
  const int teacher = FindColumn(import, {"Professeur"});
  if (teacher < 0) {
    missing = "Format de fichier incorrect:pas de professeur";
    return std::nullopt;
  }
  const int classGroup = FindColumn(import, {"Classe > Groupe"});
  if (classGroup < 0) {
    missing = "Format de fichier incorrect: pas de classes";
    return std::nullopt;
  }
  const int subject = FindColumn(import, {"Mati\xE8re/Sous-mati\xE8re"});
  if (subject < 0) {
    missing = "Format de fichier incorrect: pas de mati\xE8res";
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
  // gets a copy: the text may lie in a table that working it out changes,
  // and `text` is not read again once it has run.
  template <typename WorkOut>
  int numberOf(std::string_view text, WorkOut&& workOut) {
    if (const int* const recent = recent_.find(text))
      return *recent;
    const std::uint64_t hash = HashText(text);
    const int known = texts_.find(text, hash);
    if (known != kNone)
      return recent_.keep(text, numbers_[static_cast<std::size_t>(known)]);
    std::string copy(text);
    const int number = workOut(std::as_const(copy));
    recent_.keep(copy, number);
    texts_.add(std::move(copy), hash);
    numbers_.push_back(number);
    return number;
  }

 private:
  FlatIndex<std::string> texts_;
  std::vector<int> numbers_;  // by entry of texts_
  RecentTexts<int> recent_;
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
      file(row, teachers_.cell(kTeacherLastNameCol, row),
           subjectKeys_.keyOf(teachers_.cell(kTeacherSubjectKeyCol, row)));
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
      state.classCodes.emplace(std::string(teachers_.cell(kTeacherClassCodesCol, state.row)));
    return *state.classCodes;
  }

  void writeRow(const TeacherRowState& state, const TeacherGroup& group) {
    if (state.createdKey != kNone) {
      std::array<std::string_view, kTeacherColumnCount> cells{};
      cells[kTeacherLastNameCol] = group.teacher;
      cells[kTeacherClassCodesCol] = state.classCodes->text();
      cells[kTeacherSubjectKeyCol] = subjectKeys_.text(state.createdKey);
      teachers_.setRowTexts(state.row, cells);
    } else if (state.classCodes && state.classCodes->changed()) {
      teachers_.setCell(kTeacherClassCodesCol, state.row, state.classCodes->text());
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
      // The row's cells found once for the three read.
      const Grid::StoredCells cells = import_.storedCells(row);
      const int classCode = classCells_.codeOf(cells.at(columns_.classGroup));
      if (classCode == kNone)
        continue;
      const TeacherSubject key{cells.at(columns_.teacher),
                               subjectKeys_.keyOf(cells.at(columns_.subject))};
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

}  // namespace

StepOutcome BuildTeacherRows(WorkingTables& tables, ToolkitPort& port, SubjectOptions options) {
  Grid& import = tables.importGrid;
  std::string missing;
  const std::optional<TeacherGroupColumns> columns = LocateTeacherGroupColumns(import, missing);
  if (!columns)
    return StepOutcome::Stopped(StepOutcome::Kind::kMissingColumn, std::move(missing));

  EnsureTeacherColumns(tables.teachers);
  ScreenPacer pacer(port);
  SubjectKeys subjectKeys(options);
  ClassCells classCells(tables.classList, options);
  TeacherRowBuilder builder(tables.teachers, subjectKeys, classCells, pacer);
  InsertLevelUnderscores(import, columns->classGroup, pacer);
  AssociationBatches(import, *columns, subjectKeys, classCells).addAll(builder, pacer);
  builder.writeRows();
  FitGridColumns(tables.teachers, port);
  return StepOutcome::Done();
}

}  // namespace passerelle
