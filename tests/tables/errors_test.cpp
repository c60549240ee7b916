#include "tables/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace passerelle {
namespace {

TEST(FileErrorTest, EveryCodeHasItsFrenchText) {
  struct Case {
    int code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {2, "Fichier introuvable"},
      {3, "Nom de fichier incorrect"},
      {4, "Trop de fichiers ouverts"},
      {5, "Acc\xE8s au fichier refus\xE9"},
      {100, "Lecture au-del\xE0 de la fin de fichier"},
      {101, "Disque plein"},
      {28, "Erreur E/S 28"},
      {1117, "Erreur E/S 1117"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("code ") + std::to_string(c.code));
    EXPECT_EQ(FileError::TextOf(c.code), c.text);
  }
}

TEST(FileErrorTest, SystemErrorsTakeTheMeaningTheUserKnows) {
  struct Case {
    int errnoValue;
    int code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {ENOENT, FileError::kNotFound, "Fichier introuvable"},
      {EACCES, FileError::kAccessDenied, "Acc\xE8s au fichier refus\xE9"},
      {EPERM, FileError::kAccessDenied, "Acc\xE8s au fichier refus\xE9"},
      {EROFS, FileError::kAccessDenied, "Acc\xE8s au fichier refus\xE9"},
      {EMFILE, FileError::kTooManyOpen, "Trop de fichiers ouverts"},
      {ENOSPC, FileError::kDiskFull, "Disque plein"},
  };
  const std::filesystem::path file = "fichiers/profs.csv";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("errno ") + std::to_string(c.errnoValue));
    const FileError error = FileError::FromErrno(c.errnoValue, file);
    EXPECT_EQ(error.code(), c.code);
    EXPECT_EQ(std::string(error.what()), c.text);
    EXPECT_EQ(error.path(), file);
    EXPECT_EQ(error.systemError().value(), c.errnoValue);
  }
}

TEST(FileErrorTest, OtherSystemErrorsShowTheirOwnNumber) {
  // Some system numbers coincide with the numbers of the known meanings (an
  // input/output error is 5 on Linux, like "access refused"): they must
  // still read as a plain I/O error with their number, never as another
  // meaning.
  const std::vector<int> unmapped = {EIO, EINTR, EXDEV, ENXIO, ENETDOWN, ENETUNREACH};
  for (const int errnoValue : unmapped) {
    SCOPED_TRACE(std::string("errno ") + std::to_string(errnoValue));
    const FileError error = FileError::FromErrno(errnoValue, "x.csv");
    EXPECT_EQ(std::string(error.what()), std::string("Erreur E/S ") + std::to_string(errnoValue));
    EXPECT_EQ(error.systemError().value(), errnoValue);
  }
}

TEST(FileErrorTest, MessagesNameTheFileInWindows1252) {
  // A folder called "Élèves" must show as the user wrote it.
  const std::filesystem::path file(u8"/classes/\u00C9l\u00E8ves/liste.csv");
  EXPECT_EQ(std::string(FileError::EmptyFile(file).what()),
            "Le fichier est vide : /classes/\xC9l\xE8ves/liste.csv");
  EXPECT_EQ(std::string(FileError::CannotOpen(file).what()),
            "Impossible d'ouvrir le fichier /classes/\xC9l\xE8ves/liste.csv");
  EXPECT_EQ(PathForDisplay(file), "/classes/\xC9l\xE8ves/liste.csv");
}

}  // namespace
}  // namespace passerelle
