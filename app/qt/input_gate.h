#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace passerelle {

// While a command runs, the user's mouse and keyboard input to one window
// is received and thrown away. Pumping the event loop with user input
// excluded only defers it: a click made during a long load would be
// delivered, and act, once the load ended. Through the gate, paint, timer
// and window-system events still flow, so the window repaints and the
// progress bar moves; the dialogs a command opens are windows of their own
// and take input as usual.
class InputGate : public QObject {
 public:
  explicit InputGate(QWidget& window);
  ~InputGate() override;
  InputGate(const InputGate&) = delete;
  InputGate& operator=(const InputGate&) = delete;

  // Whether an event is the user's input, which a busy window ignores.
  static bool IsUserInput(const QEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
};

}  // namespace passerelle
