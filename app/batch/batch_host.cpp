#include "app/batch/batch_host.h"

#include "tables/cp1252.h"

namespace passerelle::batch {

void WriteLine(std::ostream& out, std::string_view cp1252Text) {
  out << Cp1252ToUtf8(cp1252Text) << '\n';
  out.flush();
}

std::string ForTerminal(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
#else
  return path.string();
#endif
}

void BatchHost::startAction() {
  nextAnswer_.reset();
}

std::optional<std::filesystem::path> BatchHost::runOpenDialog(const OpenDialogState&) {
  std::optional<std::filesystem::path> answer = std::move(nextAnswer_);
  nextAnswer_.reset();
  return answer;
}

void BatchHost::showMessage(std::string_view text) {
  WriteLine(messages_, text);
}

void BatchHost::showError(std::string_view, std::string_view text) {
  // The caption is the program's name, which the terminal already shows.
  std::string line = "erreur : ";
  line.append(text);
  WriteLine(messages_, line);
}

void BatchHost::showFileError(std::string_view, const std::filesystem::path& file,
                              std::string_view text) {
  messages_ << Cp1252ToUtf8("erreur : ") << ForTerminal(file) << Cp1252ToUtf8(" : ")
            << Cp1252ToUtf8(text) << '\n';
  messages_.flush();
}

void BatchHost::setClipboardText(std::string_view) {
  // No command of the batch program copies; a server has no clipboard to
  // fill anyway.
}

int BatchHost::textWidth(std::string_view text) {
  return static_cast<int>(text.size()) * kCharWidth;
}

}  // namespace passerelle::batch
