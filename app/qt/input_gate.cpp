#include "app/qt/input_gate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

namespace passerelle {

InputGate::InputGate(QWidget& window) : window_(&window) {
  QCoreApplication::instance()->installEventFilter(this);
}

InputGate::~InputGate() {
  QCoreApplication::instance()->removeEventFilter(this);
}

bool InputGate::IsUserInput(const QEvent& event) {
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
  if (window_ == nullptr || !IsUserInput(*event))
    return false;
  // The platform hands input to the window's native window first, which
  // passes it on to the widget under the pointer or with the focus.
  if (auto* widget = qobject_cast<QWidget*>(watched))
    return widget->window() == window_;
  if (auto* native = qobject_cast<QWindow*>(watched))
    return native == window_->windowHandle();
  return false;
}

}  // namespace passerelle
