#include "app/qt/qt_host.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "app/qt/qt_text.h"

namespace passerelle {

namespace {

// "Text files (*.txt)" and even the lopsided "Fichiers CSV *.csv)" both
// name their patterns in the description; Qt would take a parenthesised
// group there as the patterns themselves, so the description stops before
// the first "(" or "*".
QString DescriptionOnly(const QString& description) {
  qsizetype end = description.size();
  for (const QChar mark : {QChar('('), QChar('*')}) {
    const qsizetype at = description.indexOf(mark);
    if (at >= 0)
      end = std::min(end, at);
  }
  return description.left(end).trimmed();
}

QString PatternsInBothCases(const QString& patterns) {
  QStringList both;
  for (const QString& pattern : patterns.split(QChar(';'), Qt::SkipEmptyParts)) {
    for (const QString& variant : {pattern.trimmed().toLower(), pattern.trimmed().toUpper()}) {
      if (!variant.isEmpty() && !both.contains(variant))
        both.append(variant);
    }
  }
  return both.join(QChar(' '));
}

}  // namespace

QStringList QtNameFilters(std::string_view filter) {
  const QStringList parts = ToQString(filter).split(QChar('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString patterns = PatternsInBothCases(parts[i + 1]);
    if (patterns.isEmpty())
      continue;
    QString description = DescriptionOnly(parts[i]);
    if (description.isEmpty())
      description = patterns;
    filters.append(description + QStringLiteral(" (") + patterns + QChar(')'));
  }
  return filters;
}

QtHost::QtHost(const QFont& gridFont) : widths_(gridFont) {}

std::optional<std::filesystem::path> QtHost::runOpenDialog(const OpenDialogState& state) {
  QFileDialog dialog(parent_);
  dialog.setObjectName(QStringLiteral("OpenDialog1"));
  // Titled after the button that opened it: which file to pick.
  if (!state.title.empty())
    dialog.setWindowTitle(ToQString(state.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(QtNameFilters(state.filter));
  dialog.setDefaultSuffix(ToQString(state.defaultExt));
  if (state.fileName) {
    dialog.setDirectory(PathToQString(state.fileName->parent_path()));
  }
  if (execFileDialog(dialog) != QDialog::Accepted)
    return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty())
    return std::nullopt;
  return QStringToPath(chosen.front());
}

void QtHost::showMessage(std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), ToQString(text),
                  QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  execMessageBox(box);
}

void QtHost::showError(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::Critical, ToQString(caption), ToQString(text), QMessageBox::Ok,
                  parent_);
  box.setTextFormat(Qt::PlainText);
  execMessageBox(box);
}

void QtHost::setClipboardText(std::string_view text) {
  QGuiApplication::clipboard()->setText(ToQString(text));
}

int QtHost::textWidth(std::string_view text) {
  return widths_.width(text);
}

int QtHost::maxCharWidth() {
  return widths_.maxCharWidth();
}

const CharWidths* QtHost::charWidths() {
  return widths_.charWidths();
}

void QtHost::keepScreenAlive() {
  // Every event is handled, the user's included: the window's input gate
  // throws the user's away while a command runs. Excluding them here would
  // only keep them for later, and act on them once the command ended.
  QCoreApplication::processEvents();
}

int QtHost::execFileDialog(QFileDialog& dialog) {
  return dialog.exec();
}

void QtHost::execMessageBox(QMessageBox& box) {
  box.exec();
}

}  // namespace passerelle
