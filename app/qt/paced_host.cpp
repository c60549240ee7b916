#include "app/qt/paced_host.h"

namespace passerelle {

PacedHost::PacedHost(Host& inner, std::function<bool()> syncControls)
    : inner_(inner), syncControls_(std::move(syncControls)) {}

// A modal dialog repaints the window behind it: it must show the form as it
// stands, not as it stood before the command.
std::optional<std::filesystem::path> PacedHost::runOpenDialog(const OpenDialogState& dialog) {
  syncControls_();
  return inner_.runOpenDialog(dialog);
}

void PacedHost::showError(std::string_view caption, std::string_view text) {
  syncControls_();
  inner_.showError(caption, text);
}

void PacedHost::setClipboardText(std::string_view text) {
  inner_.setClipboardText(text);
}

void PacedHost::showMessage(std::string_view text) {
  syncControls_();
  inner_.showMessage(text);
}

int PacedHost::textWidth(std::string_view text) {
  return inner_.textWidth(text);
}

int PacedHost::maxCharWidth() {
  return inner_.maxCharWidth();
}

const CharWidths* PacedHost::charWidths() {
  return inner_.charWidths();
}

void PacedHost::keepScreenAlive() {
  const bool changed = syncControls_();
  if (changed || !sinceRepaint_.isValid() || sinceRepaint_.elapsed() >= kRepaintIntervalMs) {
    inner_.keepScreenAlive();
    sinceRepaint_.start();
  }
}

}  // namespace passerelle
