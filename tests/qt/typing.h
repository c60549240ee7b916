#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

namespace passerelle::testing {

// Types a text into a widget as a keyboard of another language would: one
// key press carrying the text, whatever key it is. QTest knows only the
// keys of an ASCII keyboard.
inline void TypeText(QWidget* widget, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
  QApplication::sendEvent(widget, &release);
}

}  // namespace passerelle::testing
