#include "app/qt/text_list_model.h"

#include <algorithm>
#include <climits>

#include <QSize>
#include <QtMath>

#include "app/qt/qt_text.h"

namespace passerelle {

namespace {

// What a text box gives a TAB: the next of its stops, eight spaces apart at
// most. Counting eight spaces is enough for the scroll range.
constexpr int kSpacesPerTab = 8;
// The item's margins on both sides, so that the last character of the
// widest line is not cut.
constexpr int kLineMargin = 12;

}  // namespace

TextListModel::TextListModel(const TextList& lines, const Cp1252WidthTable& widths, int lineHeight,
                             QObject* parent)
    : QAbstractListModel(parent), lines_(lines), widths_(widths), lineHeight_(lineHeight) {
  shown_ = identityNow();
  rows_ = static_cast<int>(std::min<std::size_t>(lines_.count(), INT_MAX));
  widest_ = widestLine();
}

TextListModel::Identity TextListModel::identityNow() const {
  Identity identity;
  identity.count = lines_.count();
  if (identity.count > 0) {
    identity.firstLine = lines_.line(0).data();
    const std::string_view last = lines_.line(identity.count - 1);
    identity.lastLine = last.data();
    identity.lastLength = last.size();
  }
  return identity;
}

int TextListModel::widestLine() const {
  const qreal tabWidth = widths_.advance(' ') * kSpacesPerTab;
  qreal widest = 0;
  for (std::size_t i = 0; i < lines_.count(); ++i) {
    const std::string_view line = lines_.line(i).substr(0, kShownLineLength);
    qreal width = 0;
    for (const char byte : line)
      width += byte == '\t' ? tabWidth : widths_.advance(static_cast<unsigned char>(byte));
    widest = std::max(widest, width);
  }
  return qCeil(widest) + kLineMargin;
}

void TextListModel::refresh() {
  const Identity now = identityNow();
  if (now == shown_)
    return;
  beginResetModel();
  shown_ = now;
  rows_ = static_cast<int>(std::min<std::size_t>(lines_.count(), INT_MAX));
  widest_ = widestLine();
  endResetModel();
}

int TextListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

QVariant TextListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid())
    return {};
  switch (role) {
    case Qt::DisplayRole:
      return ToQString(
          lines_.line(static_cast<std::size_t>(index.row())).substr(0, kShownLineLength));
    case Qt::SizeHintRole:
      // Every line gets the widest line's width: the view lays out uniform
      // rows from the first one alone.
      return QSize(widest_, lineHeight_);
    default:
      return {};
  }
}

}  // namespace passerelle
