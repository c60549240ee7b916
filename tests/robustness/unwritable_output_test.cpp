// Import files that cannot be written: a locked file or folder, a plain file
// where the folder "fichiers" should be, a full disk. The user must read why
// in French, keep the files of the previous save, and find the tables as the
// command left them, so that pressing again once the cause is gone works.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "robustness/robust_workflow.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace passerelle {
namespace {

using testing::Capture;
using testing::Contents;
using testing::FirstDifference;
using testing::Listing;
using testing::Role;
using testing::ScriptedHost;
using testing::TempFolder;
using testing::ValidFileOf;

namespace fs = std::filesystem;

const std::string kAccessDenied = "Acc\xE8s au fichier refus\xE9.";

enum class SaveCommand { kClassesAndStudents, kTeachers };

const char* CommandName(SaveCommand command) {
  return command == SaveCommand::kClassesAndStudents ? "Sauver classes et eleves" : "Sauver Profs";
}

// The files a command writes, in the order it writes them.
std::vector<std::string> FilesOf(SaveCommand command) {
  if (command == SaveCommand::kClassesAndStudents)
    return {"classes.csv", "eleves.csv"};
  return {"profs.csv", "2profs invalides.csv"};
}

// A users file that adds `count` students of a new class.
std::string MoreStudents(int count) {
  std::string file(testing::kUsersHeader);
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    file += "4C;NOUVEAU" + n + ";Eve;;ENOUVEAU" + n + ";;pw" + n + "\r\n";
  }
  return file;
}

// A teacher-group export that adds one teacher with an account (MARTIN was
// renamed by step 3, so "MARTIN Paul" makes a new row) and `count` teachers
// without one.
std::string MoreTeachers(int count) {
  std::string file(testing::kGroupsHeader);
  file += "MARTIN Paul;5A;ANGLAIS\r\n";
  for (int i = 0; i < count; ++i)
    file += "NOUVEAU" + std::to_string(i) + " Prof;4C;MATHS\r\n";
  return file;
}

// One run of the window in its own folder.
struct Session {
  TempFolder folder;
  ScriptedHost host;
  TForm1 form{host};

  fs::path out() const { return folder.path() / "fichiers"; }

  void choose(const std::string& name, const std::string& bytes) {
    host.answerDialog(folder.write(name, bytes));
  }

  // The steps that make the command's button appear.
  void loadFor(SaveCommand command) {
    choose("usersxx.txt", ValidFileOf(Role::kUsers));
    form.Button2Click();
    if (command == SaveCommand::kClassesAndStudents)
      return;
    choose("profs-groupes.csv", ValidFileOf(Role::kGroups));
    form.BitBtn1Click();
    choose("profs-mails.csv", ValidFileOf(Role::kMails));
    form.Button1Click();
  }

  // New rows, so that the next save changes every file it writes.
  void addRows(SaveCommand command, int count) {
    if (command == SaveCommand::kClassesAndStudents) {
      choose("usersxx-2.txt", MoreStudents(count));
      form.Button2Click();
      return;
    }
    choose("profs-groupes-2.csv", MoreTeachers(count));
    form.BitBtn1Click();
    choose("profs-mails.csv", ValidFileOf(Role::kMails));
    form.Button1Click();
  }

  void save(SaveCommand command) {
    if (command == SaveCommand::kClassesAndStudents)
      form.BitBtn2Click();
    else
      form.Button3Click();
  }
};

// Gives the write permissions back however the test ends, so that the
// temporary folder can be removed.
class WritableAgain {
 public:
  explicit WritableAgain(fs::path path) : path_(std::move(path)) {}
  ~WritableAgain() { restore(); }
  WritableAgain(const WritableAgain&) = delete;
  WritableAgain& operator=(const WritableAgain&) = delete;
  void restore() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add, ignored);
  }

 private:
  fs::path path_;
};

void RemoveWritePermissions(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// Saves once, adds rows, then saves again while `lock` is in force. The two
// files of a save go together: whichever of them is in the way, both must
// still be those of the first save, the folder must hold nothing else, and
// the tables must be those of the same run where nothing is in the way.
void ExpectSecondSaveFailsKeepingEarlierFiles(Session& session, SaveCommand command, int newRows,
                                              const std::function<void()>& lock,
                                              const std::function<void()>& unlock,
                                              const std::string& expectedError) {
  Session unhindered;
  unhindered.loadFor(command);
  unhindered.save(command);
  unhindered.addRows(command, newRows);
  unhindered.save(command);
  ASSERT_TRUE(unhindered.host.errors.empty()) << unhindered.host.errors.front();
  const auto newFiles = Contents(unhindered.out());

  session.loadFor(command);
  session.save(command);
  ASSERT_TRUE(session.host.errors.empty()) << session.host.errors.front();
  const auto earlierFiles = Contents(session.out());
  session.addRows(command, newRows);
  const std::vector<std::string> names = FilesOf(command);
  for (const std::string& name : names)
    ASSERT_NE(newFiles.at(name), earlierFiles.at(name))
        << "the second save would not change " << name;

  const std::size_t messagesBefore = session.host.messages.size();
  lock();
  session.save(command);
  unlock();

  EXPECT_EQ(session.host.errors, std::vector<std::string>{expectedError});
  EXPECT_EQ(session.host.messages.size(), messagesBefore) << session.host.messages.back();
  EXPECT_EQ(session.host.errorCaptions, std::vector<std::string>{"passerelle"});
  const auto filesNow = Contents(session.out());
  for (const std::string& name : names)
    EXPECT_TRUE(filesNow.at(name) == earlierFiles.at(name)) << name << " lost its earlier content";
  EXPECT_EQ(Listing(session.out()), std::set<std::string>(names.begin(), names.end()));
  EXPECT_EQ(FirstDifference(Capture(session.form), Capture(unhindered.form)), "");
}

TEST(UnwritableOutput, ReadOnlyTargetKeepsItsContentAndStopsTheCommand) {
  for (SaveCommand command : {SaveCommand::kClassesAndStudents, SaveCommand::kTeachers}) {
    for (std::size_t locked = 0; locked < 2; ++locked) {
      const std::string name = FilesOf(command)[locked];
      SCOPED_TRACE(std::string(CommandName(command)) + ", " + name + " read-only");
      Session session;
      WritableAgain guard(session.out() / name);
      ExpectSecondSaveFailsKeepingEarlierFiles(
          session, command, 1, [&] { RemoveWritePermissions(session.out() / name); },
          [&] { guard.restore(); }, kAccessDenied);
    }
  }
}

#ifndef _WIN32
// Root may write into any folder, but a folder that nobody may write to is
// the user's way of saying "keep these": the program refuses it whoever runs
// it, with the message an ordinary account would get.
TEST(UnwritableOutput, ReadOnlyOutputFolderKeepsEveryEarlierFile) {
  for (SaveCommand command : {SaveCommand::kClassesAndStudents, SaveCommand::kTeachers}) {
    SCOPED_TRACE(CommandName(command));
    Session session;
    WritableAgain guard(session.out());
    ExpectSecondSaveFailsKeepingEarlierFiles(
        session, command, 1, [&] { RemoveWritePermissions(session.out()); },
        [&] { guard.restore(); }, kAccessDenied);
  }
}
#else
TEST(UnwritableOutput, ReadOnlyOutputFolderKeepsEveryEarlierFile) {
  GTEST_SKIP() << "Windows ignores a folder's read-only attribute: no folder to refuse writes";
}
#endif

// The first save meets an obstacle where "fichiers" should be made: the
// message about the folder, then the write's error; nothing is created
// beside the input, and the tables are those of an unhindered run.
void ExpectFirstSaveFailsCreatingNothing(SaveCommand command,
                                         const std::function<void(Session&)>& lock,
                                         const std::function<void(Session&)>& unlock,
                                         const std::optional<std::string>& expectedMessage,
                                         const std::optional<std::string>& expectedError) {
  Session unhindered;
  unhindered.loadFor(command);
  unhindered.save(command);
  ASSERT_TRUE(unhindered.host.errors.empty()) << unhindered.host.errors.front();

  Session session;
  session.loadFor(command);
  lock(session);
  const auto besideInputs = Contents(session.folder.path());
  const std::size_t messagesBefore = session.host.messages.size();
  session.save(command);
  unlock(session);

  const std::vector<std::string> newMessages(
      session.host.messages.begin() + static_cast<std::ptrdiff_t>(messagesBefore),
      session.host.messages.end());
  ASSERT_EQ(newMessages.size(), 1u);
  ASSERT_EQ(session.host.errors.size(), 1u);
  EXPECT_TRUE(testing::IsKnownMessage(newMessages[0])) << newMessages[0];
  EXPECT_TRUE(testing::IsKnownError(session.host.errors[0])) << session.host.errors[0];
  if (expectedMessage) {
    EXPECT_EQ(newMessages[0], *expectedMessage);
  }
  if (expectedError) {
    EXPECT_EQ(session.host.errors[0], *expectedError);
  }
  EXPECT_TRUE(Contents(session.folder.path()) == besideInputs);
  EXPECT_EQ(Listing(session.folder.path()).size(), besideInputs.size());
  EXPECT_EQ(FirstDifference(Capture(session.form), Capture(unhindered.form)), "");
}

TEST(UnwritableOutput, PlainFileNamedFichiersIsReportedAndLeftAlone) {
  for (SaveCommand command : {SaveCommand::kClassesAndStudents, SaveCommand::kTeachers}) {
    SCOPED_TRACE(CommandName(command));
#ifndef _WIN32
    // mkdir meets the file (EEXIST); the write then finds a file where a
    // folder should be (ENOTDIR), which the user knows as a bad file name.
    const std::optional<std::string> message =
        "Directory creation failed with error " + std::to_string(EEXIST);
    const std::optional<std::string> error = "Nom de fichier incorrect.";
#else
    // Windows has its own codes for both; any code, any known text will do.
    const std::optional<std::string> message;
    const std::optional<std::string> error;
#endif
    ExpectFirstSaveFailsCreatingNothing(
        command, [](Session& s) { s.folder.write("fichiers", "pas un dossier"); }, [](Session&) {},
        message, error);
  }
}

#ifndef _WIN32
// No "fichiers" can be made beside an input in a locked folder; the write
// then finds no folder.
TEST(UnwritableOutput, ReadOnlyFolderBesideTheInputGetsNoOutputFolder) {
  for (SaveCommand command : {SaveCommand::kClassesAndStudents, SaveCommand::kTeachers}) {
    SCOPED_TRACE(CommandName(command));
    ExpectFirstSaveFailsCreatingNothing(
        command, [](Session& s) { RemoveWritePermissions(s.folder.path()); },
        [](Session& s) {
          fs::permissions(s.folder.path(), fs::perms::owner_write, fs::perm_options::add);
        },
        "Directory creation failed with error " + std::to_string(EACCES), "Fichier introuvable.");
  }
}

// A 64 KiB memory file system mounted over the output folder for the length
// of a test. Mounting needs root and a system that allows it.
class SmallDisk {
 public:
  explicit SmallDisk(fs::path where) : where_(std::move(where)) {
    if (geteuid() != 0) {
      whyNot_ = "mounting a small tmpfs needs root";
      return;
    }
    fs::create_directories(where_);
    const std::string command =
        "mount -t tmpfs -o size=64k passerelle-test '" + where_.string() + "' 2>/dev/null";
    mounted_ = std::system(command.c_str()) == 0;
    if (!mounted_)
      whyNot_ = "this system refuses to mount a tmpfs";
  }
  ~SmallDisk() {
    if (!mounted_)
      return;
    const std::string command = "umount '" + where_.string() + "'";
    const int status = std::system(command.c_str());
    (void)status;
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& whyNot() const { return whyNot_; }

 private:
  fs::path where_;
  bool mounted_ = false;
  std::string whyNot_;
};

// The second save of each command has a second file of about 100 KB, which
// a 64 KiB disk cannot hold beside the first save's files.
TEST(UnwritableOutput, FullDiskKeepsTheEarlierFileAndLeavesNoPart) {
  constexpr int kRowsPastTheDisk = 3000;
  for (SaveCommand command : {SaveCommand::kClassesAndStudents, SaveCommand::kTeachers}) {
    SCOPED_TRACE(CommandName(command));
    Session session;
    SmallDisk disk(session.out());
    if (!disk.mounted())
      GTEST_SKIP() << "no full disk to try: " << disk.whyNot();
    ExpectSecondSaveFailsKeepingEarlierFiles(
        session, command, kRowsPastTheDisk, [] {}, [] {}, "Disque plein.");
  }
}
#else
TEST(UnwritableOutput, ReadOnlyFolderBesideTheInputGetsNoOutputFolder) {
  GTEST_SKIP() << "Windows ignores a folder's read-only attribute: no folder to refuse writes";
}

TEST(UnwritableOutput, FullDiskKeepsTheEarlierFileAndLeavesNoPart) {
  GTEST_SKIP() << "no small file system to mount on Windows";
}
#endif

}  // namespace
}  // namespace passerelle
