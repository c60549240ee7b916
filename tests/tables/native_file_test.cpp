// The file boundary against an unlucky user and a hostile one: links and
// names planted in the output folder, two saves at once, a save cut short,
// inputs that are not files at all.

#include "tables/native_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/file_fixture.h"
#include "tables/csv_export.h"
#include "tables/errors.h"
#include "tables/grid.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace passerelle {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

Grid OneColumn(int rows, const std::string& text) {
  Grid grid(1, rows);
  for (int r = 0; r < rows; ++r)
    grid.setCell(0, r, text);
  return grid;
}

// Stops the hook however a test ends.
struct HookRemover {
  ~HookRemover() { SetAfterWriteHookForTesting({}); }
};

// A folder after a failed save of the pair: the two earlier files as they
// were, and nothing else.
void ExpectEarlierPairOnly(const TempFolder& folder) {
  EXPECT_EQ(folder.listing(), (std::set<std::string>{"classes.csv", "eleves.csv"}));
  EXPECT_EQ(ReadBytes(folder.path() / "classes.csv"), "anciennes classes\r\n");
  EXPECT_EQ(ReadBytes(folder.path() / "eleves.csv"), "anciens eleves\r\n");
}

void SavePair(const TempFolder& folder, int studentRows) {
  const Grid classes = OneColumn(3, "classe");
  const Grid students = OneColumn(studentRows, "eleve");
  const GridFile files[] = {{classes, folder.path() / "classes.csv"},
                            {students, folder.path() / "eleves.csv"}};
  SaveGridsAsCsv(files);
}

// Two saves of one target at once, as from two machines sharing the folder:
// each has a temporary file of its own, and the target ends whole, from the
// one that finished last.
TEST(WholeFileWriterTest, TwoWritersOfOneTargetNeverShareATemporaryFile) {
  TempFolder folder;
  const fs::path target = folder.path() / "eleves.csv";
  WholeFileWriter first(target);
  WholeFileWriter second(target);
  first.write(std::string(100000, 'a'));
  second.write("court\r\n");
  second.commit();
  first.commit();
  EXPECT_EQ(ReadBytes(target), std::string(100000, 'a'));
  EXPECT_EQ(folder.listing(), std::set<std::string>{"eleves.csv"});
}

// The temporary file is found by a person after a power cut, never by an
// attacker before the save: hidden, named after the target, and different
// every time.
TEST(WholeFileWriterTest, TemporaryNameIsHiddenNamedAfterTheTargetAndUnpredictable) {
  TempFolder folder;
  std::set<std::string> seen;
  HookRemover remover;
  SetAfterWriteHookForTesting([&](const fs::path&) {
    for (const std::string& name : folder.listing()) {
      if (name != "eleves.csv")
        seen.insert(name);
    }
  });
  for (int i = 0; i < 3; ++i)
    WriteFileWhole(folder.path() / "eleves.csv", "texte\r\n");
  ASSERT_EQ(seen.size(), 3u);
  for (const std::string& name : seen)
    EXPECT_EQ(name.rfind(".eleves.csv.", 0), 0u) << name;
}

#ifndef _WIN32
// A link planted where the temporary file used to be made, in the hope that
// the save writes through it into another file.
TEST(WholeFileWriterTest, LinkPlantedInTheFolderIsNeverWrittenThrough) {
  TempFolder folder;
  TempFolder elsewhere;
  const fs::path victim = elsewhere.write("victime", "intact");
  const fs::path target = folder.path() / "classes.csv";
  fs::create_symlink(victim, folder.path() / ("classes.csv.part" + std::to_string(getpid())));
  WriteFileWhole(target, "nouveau\r\n");
  EXPECT_EQ(ReadBytes(victim), "intact");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
  EXPECT_EQ(ReadBytes(target), "nouveau\r\n");
}

TEST(WholeFileWriterTest, ReplacedFileKeepsItsModeAndANewFileFollowsTheUmask) {
  TempFolder folder;
  const fs::path restricted = folder.write("eleves.csv", "ancien\r\n");
  ASSERT_EQ(chmod(restricted.c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(restricted.c_str(), 1234, 4321), 0);
  }
  WriteFileWhole(restricted, "nouveau\r\n");
  struct stat status {};
  ASSERT_EQ(stat(restricted.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(status.st_gid, 4321u);
  }

  const mode_t umaskNow = umask(027);
  WriteFileWhole(folder.path() / "classes.csv", "nouveau\r\n");
  umask(umaskNow);
  ASSERT_EQ(stat((folder.path() / "classes.csv").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}
#endif

// Whatever stops the second file half-way, the first is not replaced: the
// pair stays that of the earlier save, with no temporary file beside it.
TEST(SaveGridsAsCsvTest, SecondFileFailingLeavesBothEarlierFiles) {
  TempFolder folder;
  folder.write("classes.csv", "anciennes classes\r\n");
  folder.write("eleves.csv", "anciens eleves\r\n");
  HookRemover remover;
  SetAfterWriteHookForTesting([](const fs::path& target) {
    if (target.filename() == "eleves.csv")
      throw FileError(std::make_error_code(std::errc::io_error), target);
  });
  EXPECT_THROW(SavePair(folder, 10), FileError);
  ExpectEarlierPairOnly(folder);
}

// A second program saving into the same folder waits, then is refused with
// its own message; the folder then holds the outputs and nothing else.
TEST(SaveGridsAsCsvTest, SecondSaveIntoABusyFolderIsRefusedAndLeavesNothing) {
  TempFolder folder;
  folder.write("classes.csv", "anciennes classes\r\n");
  folder.write("eleves.csv", "anciens eleves\r\n");
  {
    const FolderSaveLock firstSave(folder.path());
    try {
      SavePair(folder, 10);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.code(), FileError::kFolderBusy);
      EXPECT_EQ(std::string(error.what()).rfind("Une autre sauvegarde est en cours", 0), 0u)
          << error.what();
    }
  }
  ExpectEarlierPairOnly(folder);
  SavePair(folder, 10);
  EXPECT_EQ(folder.listing(), (std::set<std::string>{"classes.csv", "eleves.csv"}));
  EXPECT_EQ(ReadBytes(folder.path() / "eleves.csv").size(), 10 * 7u);
}

#ifndef _WIN32
// Interrupted half-way through the second file: the program dies of the
// signal, as it always did, but removes its temporary files first.
TEST(InterruptedSaveDeathTest, SignalLeavesBothEarlierFilesAndNoTemporaryFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signalNumber);
    TempFolder folder;
    folder.write("classes.csv", "anciennes classes\r\n");
    folder.write("eleves.csv", "anciens eleves\r\n");
    EXPECT_EXIT(
        {
          RemoveTemporaryFilesOnInterruption();
          SetAfterWriteHookForTesting([signalNumber](const fs::path& target) {
            if (target.filename() == "eleves.csv")
              raise(signalNumber);
          });
          SavePair(folder, 300000);
        },
        ::testing::KilledBySignal(signalNumber), "");
    ExpectEarlierPairOnly(folder);
  }
}

// Past the file-size limit the write fails, and the save says so like on a
// full disk, instead of the program dying without a word.
TEST(InterruptedSaveDeathTest, FileSizeLimitIsReportedAsAFailedWrite) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempFolder folder;
  folder.write("classes.csv", "anciennes classes\r\n");
  folder.write("eleves.csv", "anciens eleves\r\n");
  EXPECT_EXIT(
      {
        RemoveTemporaryFilesOnInterruption();
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        try {
          SavePair(folder, 10000);
        } catch (const FileError& error) {
          std::exit(error.code() == FileError::kDiskFull ? 3 : 4);
        }
        std::exit(5);
      },
      ::testing::ExitedWithCode(3), "");
  ExpectEarlierPairOnly(folder);
}

// Where the files a program writes are limited in size, reading a big file
// must not count as writing one: the limit's signal would end the program.
TEST(ReadWholeFileDeathTest, ALimitOnWrittenFilesDoesNotStopABigRead) {
  TempFolder folder;
  const std::string content(3 << 20, 'x');
  const fs::path file = folder.write("users.txt", content);
  EXPECT_EXIT(
      {
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        std::exit(ReadWholeFile(file).view() == content ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// An input that is not a file is refused at once: a pipe nobody writes to
// would block the open for ever, a device would be read without end.
TEST(ReadWholeFileTest, AnythingButARegularFileIsRefusedAtOnce) {
  TempFolder folder;
  const fs::path pipe = folder.path() / "tube.csv";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const fs::path& input : {pipe, fs::path("/dev/zero"), folder.path()}) {
    SCOPED_TRACE(input.string());
    try {
      ReadWholeFile(input);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.code(), FileError::kNotRegularFile);
      EXPECT_EQ(std::string(error.what()), "Ce n'est pas un fichier ordinaire");
      EXPECT_EQ(error.path(), input);
    }
  }
}
#else
// A spreadsheet keeps the file it shows open and locked: the save waits a
// moment, then names the file and leaves both files of the pair alone.
TEST(SaveGridsAsCsvTest, FileOpenInAnotherProgramIsNamedAndLeftAlone) {
  TempFolder folder;
  folder.write("classes.csv", "anciennes classes\r\n");
  const fs::path held = folder.write("eleves.csv", "anciens eleves\r\n");
  const HANDLE spreadsheet = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(spreadsheet, INVALID_HANDLE_VALUE);
  try {
    SavePair(folder, 10);
    ADD_FAILURE() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.code(), FileError::kOpenElsewhere);
    EXPECT_EQ(std::string(error.what()),
              "Le fichier eleves.csv est ouvert dans un autre programme : fermez-le puis "
              "recommencez");
  }
  CloseHandle(spreadsheet);
  ExpectEarlierPairOnly(folder);
}
#endif

// A big file's bytes may come in a copy the system made, and a copy let go
// of serves the next file of about its size: a copy handed out twice, or
// one keeping bytes of the file it held before, would mix two files' rows.
TEST(ReadWholeFileTest, EachReadHoldsItsOwnFileWhateverCameBefore) {
  constexpr std::size_t kMB = std::size_t{1} << 20;
  struct Step {
    std::size_t size;  // 0: let go of the oldest bytes held
    char fill;
  };
  const Step steps[] = {{3 * kMB, 'a'}, {0, 0},         {2 * kMB + 5, 'b'}, {kMB, 'c'},
                        {0, 0},         {5 * kMB, 'd'}, {kMB + 1, 'e'},     {0, 0},
                        {0, 0},         {kMB - 1, 'f'}, {4 * kMB, 'g'},     {3 * kMB, 'h'}};
  TempFolder folder;
  struct Held {
    FileBytes bytes;
    std::string expected;
  };
  std::vector<Held> held;
  for (const Step& step : steps) {
    if (step.size == 0) {
      held.erase(held.begin());
    } else {
      // A different byte at each end shows where every file starts and stops.
      std::string content(step.size, step.fill);
      content.front() = '<';
      content.back() = '>';
      const fs::path file = folder.write(std::string(1, step.fill) + ".csv", content);
      held.push_back({ReadWholeFile(file), std::move(content)});
      // The file may change or go once read: the bytes read stay as they were.
      fs::remove(file);
    }
    for (const Held& h : held) {
      ASSERT_EQ(h.bytes.size, h.expected.size());
      EXPECT_TRUE(h.bytes.view() == h.expected) << "file of '" << h.expected[1] << "'";
    }
  }
}

}  // namespace
}  // namespace passerelle
