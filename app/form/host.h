#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "tables/toolkit_port.h"

namespace passerelle {

// The file-open dialog as the form keeps it between steps.
struct OpenDialogState {
  // Description and pattern pairs separated by "|", e.g.
  // "Text files (*.txt)|*.TXT|Fichiers CSV (*.csv)|*.CSV".
  std::string filter;
  std::string defaultExt = "csv";
  // The caption of the button that opened it, so that the person knows
  // which file to pick; Windows-1252.
  std::string title;
  // The file last chosen in any step; empty until one is.
  std::optional<std::filesystem::path> fileName;
};

// Everything the handlers need from the desktop: the window, the batch
// program and the tests each provide one.
class Host : public ToolkitPort {
 public:
  // Runs the modal open dialog; the chosen file, or nothing when cancelled.
  virtual std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState& dialog) = 0;
  // The application's error display: modal, error icon, `caption` as title.
  virtual void showError(std::string_view caption, std::string_view text) = 0;
  // The error display for an error about one file: the window shows the
  // text alone, as for any error; a terminal names the file before it.
  virtual void showFileError(std::string_view caption, const std::filesystem::path& file,
                             std::string_view text) {
    static_cast<void>(file);
    showError(caption, text);
  }
  // Replaces the clipboard's content by a plain Windows-1252 text.
  virtual void setClipboardText(std::string_view text) = 0;
};

}  // namespace passerelle
