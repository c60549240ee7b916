#pragma once

#include <functional>

#include <QElapsedTimer>

#include "app/form/host.h"

namespace passerelle {

// The host the window hands to its form. It forwards everything to the real
// host, but first keeps the screen honest during a long command: at every
// keepScreenAlive it brings the controls in line with the form (progress
// bar, wait notice) and lets the real host repaint — at once when a control
// appeared, disappeared or changed its text, otherwise at most every 50 ms,
// which is smooth to the eye and costs the import nothing measurable.
class PacedHost : public Host {
 public:
  static constexpr qint64 kRepaintIntervalMs = 50;

  // `syncControls` redraws the controls from the form and says whether any
  // of them visibly changed.
  PacedHost(Host& inner, std::function<bool()> syncControls);

  std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState& dialog) override;
  void showError(std::string_view caption, std::string_view text) override;
  void setClipboardText(std::string_view text) override;
  void showMessage(std::string_view text) override;
  int textWidth(std::string_view text) override;
  int maxCharWidth() override;
  const CharWidths* charWidths() override;
  void keepScreenAlive() override;

 private:
  Host& inner_;
  std::function<bool()> syncControls_;
  QElapsedTimer sinceRepaint_;
};

}  // namespace passerelle
