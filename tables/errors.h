#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace passerelle {

// An error that ends a command and is shown to the user. Its text is
// French, in Windows-1252, ready for the error display.
class DisplayedError : public std::runtime_error {
 public:
  explicit DisplayedError(const std::string& text) : std::runtime_error(text) {}
};

// A file that could not be opened, read, written, renamed or created.
class FileError : public DisplayedError {
 public:
  // The meanings the error display knows, numbered as the user has always
  // seen them; any other failure keeps the system's own number.
  enum Code : int {
    kNotFound = 2,
    kBadName = 3,
    kTooManyOpen = 4,
    kAccessDenied = 5,
    kReadPastEnd = 100,
    kDiskFull = 101,
    // Refusals of the program's own, which no system number stands for.
    kNotRegularFile = -1,
    kFolderBusy = -2,
    kOpenElsewhere = -3,
  };

  // Maps the platform's error (errno values on POSIX, Win32 codes on
  // Windows) onto the codes above.
  FileError(std::error_code error, std::filesystem::path path);
  static FileError FromErrno(int errnoValue, const std::filesystem::path& path);

  // "Ce n'est pas un fichier ordinaire": a folder, a pipe, a device.
  static FileError NotRegularFile(const std::filesystem::path& path);
  // Another program is saving into `folder` and did not finish in time.
  static FileError FolderBusy(const std::filesystem::path& folder);
  // Another program (a spreadsheet, most often) holds the file open.
  static FileError OpenInAnotherProgram(const std::filesystem::path& path);

  // "Le fichier est vide : <name>"
  static DisplayedError EmptyFile(const std::filesystem::path& path);
  // "Impossible d'ouvrir le fichier <name>"
  static DisplayedError CannotOpen(const std::filesystem::path& path);

  int code() const { return code_; }
  std::error_code systemError() const { return systemError_; }
  const std::filesystem::path& path() const { return path_; }

  // The French text of a code: "Fichier introuvable", …, "Erreur E/S 28".
  static std::string TextOf(int code);

 private:
  FileError(int code, std::error_code error, std::filesystem::path path);
  FileError(int code, const std::string& text, std::filesystem::path path);
  int code_;
  std::error_code systemError_;
  std::filesystem::path path_;
};

// A file name as the user chose it, in Windows-1252 for messages.
std::string PathForDisplay(const std::filesystem::path& path);

}  // namespace passerelle
