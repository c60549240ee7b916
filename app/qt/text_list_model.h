#pragma once

#include <cstddef>

#include <QAbstractListModel>

#include "app/qt/text_width.h"
#include "tables/text_list.h"

namespace passerelle {

// Shows a TextList one line per row, for the raw text view. The view reads
// the lines where the list keeps them: a 100 MB import is not copied into a
// text widget, which would hold it twice and lay it all out.
class TextListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // Only this much of a line is drawn: a file of one huge line would
  // otherwise be shaped whole at every repaint.
  static constexpr std::size_t kShownLineLength = 10000;

  // `widths` measures the view's font; the widest line sets how far the
  // view scrolls sideways, since it never wraps.
  TextListModel(const TextList& lines, const Cp1252WidthTable& widths, int lineHeight,
                QObject* parent = nullptr);

  // After a command: resets the model when the list holds another text.
  void refresh();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  // What tells one content of the list from another without reading it all:
  // a new import hands the list a new buffer.
  struct Identity {
    std::size_t count = 0;
    const char* firstLine = nullptr;
    const char* lastLine = nullptr;
    std::size_t lastLength = 0;
    bool operator==(const Identity&) const = default;
  };
  Identity identityNow() const;
  int widestLine() const;

  const TextList& lines_;
  const Cp1252WidthTable& widths_;
  int lineHeight_;
  Identity shown_;
  int rows_ = 0;
  int widest_ = 0;
};

}  // namespace passerelle
