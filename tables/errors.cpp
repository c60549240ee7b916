#include "tables/errors.h"

#include <cerrno>
#include <optional>
#include <string>

#include "tables/cp1252.h"

namespace passerelle {

namespace {

// The meaning the user knows for a system error, if it has one.
std::optional<int> MeaningOf(std::error_code error) {
  if (error == std::errc::no_such_file_or_directory)
    return FileError::kNotFound;
  if (error == std::errc::not_a_directory || error == std::errc::filename_too_long ||
      error == std::errc::invalid_argument) {
    return FileError::kBadName;
  }
  if (error == std::errc::too_many_files_open ||
      error == std::errc::too_many_files_open_in_system) {
    return FileError::kTooManyOpen;
  }
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
      error == std::errc::read_only_file_system || error == std::errc::is_a_directory ||
      error == std::errc::text_file_busy || error == std::errc::device_or_resource_busy) {
    return FileError::kAccessDenied;
  }
  // Past a file-size limit a write fails as on a full disk.
  if (error == std::errc::no_space_on_device || error == std::errc::file_too_large)
    return FileError::kDiskFull;
#ifdef EDQUOT
  if (error == std::error_code(EDQUOT, std::generic_category()))
    return FileError::kDiskFull;
#endif
#ifdef _WIN32
  // ERROR_HANDLE_DISK_FULL and ERROR_DISK_FULL.
  if (error.category() == std::system_category() && (error.value() == 39 || error.value() == 112)) {
    return FileError::kDiskFull;
  }
#endif
  return std::nullopt;
}

int CodeOf(std::error_code error) {
  return MeaningOf(error).value_or(error.value());
}

// A system number without a meaning is shown as a number, also when it
// happens to equal the number of a meaning: on Linux an input/output error
// is 5, and it must not read as "access refused".
std::string TextFor(int code, std::error_code error) {
  if (!MeaningOf(error))
    return "Erreur E/S " + std::to_string(code);
  return FileError::TextOf(code);
}

}  // namespace

FileError::FileError(int code, std::error_code error, std::filesystem::path path)
    : DisplayedError(TextFor(code, error)),
      code_(code),
      systemError_(error),
      path_(std::move(path)) {}

FileError::FileError(std::error_code error, std::filesystem::path path)
    : FileError(CodeOf(error), error, std::move(path)) {}

FileError::FileError(int code, const std::string& text, std::filesystem::path path)
    : DisplayedError(text), code_(code), systemError_(), path_(std::move(path)) {}

FileError FileError::NotRegularFile(const std::filesystem::path& path) {
  return FileError(kNotRegularFile, "Ce n'est pas un fichier ordinaire", path);
}

FileError FileError::FolderBusy(const std::filesystem::path& folder) {
  return FileError(kFolderBusy,
                   "Une autre sauvegarde est en cours dans le dossier " + PathForDisplay(folder) +
                       " ; r\xE9"
                       "essayez quand elle sera termin\xE9"
                       "e",
                   folder);
}

FileError FileError::OpenInAnotherProgram(const std::filesystem::path& path) {
  return FileError(kOpenElsewhere,
                   "Le fichier " + PathForDisplay(path.filename()) +
                       " est ouvert dans un autre programme : fermez-le puis recommencez",
                   path);
}

FileError FileError::FromErrno(int errnoValue, const std::filesystem::path& path) {
  return FileError(std::error_code(errnoValue, std::generic_category()), path);
}

DisplayedError FileError::EmptyFile(const std::filesystem::path& path) {
  return DisplayedError("Le fichier est vide : " + PathForDisplay(path));
}

DisplayedError FileError::CannotOpen(const std::filesystem::path& path) {
  return DisplayedError("Impossible d'ouvrir le fichier " + PathForDisplay(path));
}

std::string FileError::TextOf(int code) {
  switch (code) {
    case kNotFound:
      return "Fichier introuvable";
    case kBadName:
      return "Nom de fichier incorrect";
    case kTooManyOpen:
      return "Trop de fichiers ouverts";
    case kAccessDenied:
      return "Acc\xE8s au fichier refus\xE9";
    case kReadPastEnd:
      return "Lecture au-del\xE0 de la fin de fichier";
    case kDiskFull:
      return "Disque plein";
    default:
      return "Erreur E/S " + std::to_string(code);
  }
}

std::string PathForDisplay(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return Utf8ToCp1252(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

}  // namespace passerelle
