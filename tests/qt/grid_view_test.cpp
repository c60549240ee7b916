#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

#include "app/qt/grid_model.h"
#include "app/qt/grid_view.h"
#include "app/qt/main_window.h"
#include "app/qt/text_list_model.h"
#include "app/qt/text_width.h"
#include "test_suites.h"
#include "typing.h"

namespace passerelle::testing {

class GridViewTest : public QObject {
  Q_OBJECT

 private slots:
  void fixedCellsAreHeaderStyledAndOutOfReach() {
    Grid grid(5, 5, 1, 1);
    grid.setCell(0, 3, "3");
    grid.setCell(2, 3, "H\xE9l\xE8ne");
    GridView view(grid, /*editable=*/false);
    GridModel& model = view.gridModel();
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.index(3, 2).data().toString(), QStringLiteral("H\u00E9l\u00E8ne"));
    for (const auto& [row, col] : {std::pair{0, 0}, std::pair{0, 3}, std::pair{3, 0}}) {
      const QModelIndex fixedCell = model.index(row, col);
      QVERIFY(model.isFixed(fixedCell));
      QVERIFY(fixedCell.data(Qt::BackgroundRole).isValid());
      QCOMPARE(model.flags(fixedCell), Qt::NoItemFlags);
    }
    const QModelIndex ordinary = model.index(3, 2);
    QVERIFY(!ordinary.data(Qt::BackgroundRole).isValid());
    QVERIFY(model.flags(ordinary) & Qt::ItemIsSelectable);
    QVERIFY(!(model.flags(ordinary) & Qt::ItemIsEditable));

    // The grid starts on its first ordinary cell; clicking a fixed cell does
    // not move it there.
    view.resize(400, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.currentIndex(), model.index(1, 1));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.visualRect(model.index(0, 2)).center());
    QCOMPARE(grid.currentCol(), 1);
    QCOMPARE(grid.currentRow(), 1);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.visualRect(model.index(2, 3)).center());
    QCOMPARE(grid.currentCol(), 3);
    QCOMPARE(grid.currentRow(), 2);
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(grid.currentRow(), 3);

    // The fixed row and column are the headers: they stay in sight however
    // far the cells scroll, and their cells are not drawn twice.
    grid.setCell(2, 0, "Nom");
    grid.setRowCount(400);
    grid.setCell(0, 399, "399");
    view.refresh();
    QVERIFY(view.horizontalHeader()->isVisible());
    QVERIFY(view.verticalHeader()->isVisible());
    QVERIFY(view.isRowHidden(0));
    QVERIFY(view.isColumnHidden(0));
    view.scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(view.horizontalHeader()->isVisible());
    QCOMPARE(view.horizontalHeader()->y(),
             view.viewport()->y() - view.horizontalHeader()->height());
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Nom"));
    QCOMPARE(model.headerData(399, Qt::Vertical).toString(), QStringLiteral("399"));

    // A grid without fixed cells has no headers.
    Grid plain(8, 2);
    GridView plainView(plain, /*editable=*/true);
    QVERIFY(plainView.horizontalHeader()->isHidden());
    QVERIFY(plainView.verticalHeader()->isHidden());
    QVERIFY(!plainView.isRowHidden(0));
  }

  void editsAreStoredAsWindows1252_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("accents") << QStringLiteral("H\u00E9l\u00E8ne") << QByteArray("H\xE9l\xE8ne");
    QTest::newRow("euro and oe") << QStringLiteral("\u20AC \u0153uvre")
                                 << QByteArray("\x80 \x9Cuvre");
    QTest::newRow("question mark") << QStringLiteral("Qui ?") << QByteArray("Qui ?");
    // Characters the files cannot hold are refused, never stored as "?":
    // the cell keeps its text.
    QTest::newRow("CJK") << QStringLiteral("Li \u6F22") << QByteArray("ancien");
    // One character outside the plane, two UTF-16 units.
    QTest::newRow("emoji") << QStringLiteral("a\U0001F600b") << QByteArray("ancien");
    QTest::newRow("emptied") << QString() << QByteArray();
  }

  void editsAreStoredAsWindows1252() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, stored);
    Grid grid(8, 2);
    grid.setCell(4, 1, "ancien");
    GridView view(grid, /*editable=*/true);
    QSignalSpy refusals(&view, &GridView::textRefused);
    const QModelIndex cell = view.gridModel().index(1, 4);
    QVERIFY(view.gridModel().flags(cell) & Qt::ItemIsEditable);
    const bool refused = stored == "ancien";
    QCOMPARE(view.gridModel().setData(cell, typed), !refused);
    QCOMPARE(refusals.size(), refused ? 1 : 0);
    QCOMPARE(QByteArray(grid.cell(4, 1).data(), qsizetype(grid.cell(4, 1).size())), stored);
  }

  void editingThroughTheEditor() {
    Grid grid(8, 2);
    GridView view(grid, /*editable=*/true);
    QSignalSpy refusals(&view, &GridView::textRefused);
    view.resize(600, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QModelIndex cell = view.gridModel().index(1, 2);
    view.setCurrentIndex(cell);
    view.edit(cell);
    auto* editor = view.viewport()->findChild<QLineEdit*>();
    QVERIFY(editor != nullptr);
    // A character the files cannot hold is refused as it is typed.
    TypeText(editor, QStringLiteral("Ana\u00EFs "));
    TypeText(editor, QStringLiteral("\u6F22"));
    QCOMPARE(editor->text(), QStringLiteral("Ana\u00EFs "));
    QVERIFY(!refusals.isEmpty());
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits on Return through a queued call.
    QTRY_COMPARE(QByteArray::fromStdString(std::string(grid.cell(2, 1))), QByteArray("Ana\xEFs "));

    // An edit left open is kept when a command runs.
    view.setCurrentIndex(view.gridModel().index(0, 0));
    view.edit(view.gridModel().index(0, 0));
    editor = view.viewport()->findChild<QLineEdit*>();
    QVERIFY(editor != nullptr);
    editor->setText(QStringLiteral("MARTIN"));
    view.commitEdit();
    QCOMPARE(QByteArray::fromStdString(std::string(grid.cell(0, 0))), QByteArray("MARTIN"));

    // The read-only grid opens no editor and refuses edits.
    Grid importGrid(5, 5, 1, 1);
    GridModel readOnly(importGrid, /*editable=*/false);
    QVERIFY(!readOnly.setData(readOnly.index(2, 2), QStringLiteral("x")));
    QVERIFY(importGrid.cell(2, 2).empty());
  }

  // Delete empties the selected cells; Ctrl+V lays tab-separated text out
  // from the current cell on, cut at the grid's edges, refusing a cell the
  // files could not hold.
  void teacherTableKeepsSpreadsheetHabits() {
    Grid grid(8, 3);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 8; ++c)
        grid.setCell(c, r, "x");
    }
    GridView view(grid, /*editable=*/true);
    view.resize(700, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const GridModel& model = view.gridModel();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.visualRect(model.index(0, 1)).center());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      view.visualRect(model.index(1, 2)).center());
    QTest::keyClick(&view, Qt::Key_Delete);
    QVERIFY(view.viewport()->findChild<QLineEdit*>() == nullptr);
    QCOMPARE(grid.rowTexts(0), (std::vector<std::string>{"x", "", "", "x", "x", "x", "x", "x"}));
    QCOMPARE(grid.rowTexts(1), (std::vector<std::string>{"x", "", "", "x", "x", "x", "x", "x"}));

    QSignalSpy refusals(&view, &GridView::textRefused);
    view.setCurrentIndex(model.index(1, 6));
    QGuiApplication::clipboard()->setText(
        QStringLiteral("a\tb\tc\r\nH\u00E9l\u00E8ne\t\u6F22\r\nd\r\ne\r\n"));
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(grid.rowTexts(1), (std::vector<std::string>{"x", "", "", "x", "x", "x", "a", "b"}));
    QCOMPARE(grid.rowTexts(2),
             (std::vector<std::string>{"x", "x", "x", "x", "x", "x", "H\xE9l\xE8ne", "x"}));
    QCOMPARE(grid.rowCount(), 3);
    QCOMPARE(refusals.size(), 1);
  }

  void teacherTableSelectsRanges() {
    Grid grid(8, 4);
    GridView editable(grid, true);
    GridView readOnly(grid, false);
    QCOMPARE(editable.selectionMode(), QAbstractItemView::ContiguousSelection);
    QCOMPARE(readOnly.selectionMode(), QAbstractItemView::SingleSelection);
    editable.resize(600, 200);
    editable.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editable));
    const GridModel& model = editable.gridModel();
    QTest::mouseClick(editable.viewport(), Qt::LeftButton, {},
                      editable.visualRect(model.index(0, 0)).center());
    QTest::mouseClick(editable.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      editable.visualRect(model.index(2, 3)).center());
    QCOMPARE(editable.selectionModel()->selectedIndexes().size(), 12);
  }

  void refreshFollowsTheGrid() {
    Grid grid(5, 5, 1, 1);
    GridView view(grid, false);
    GridModel& model = view.gridModel();
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    // Until refreshed, the view keeps the shape it was told of, whatever a
    // command is doing to the grid.
    grid.setRowCount(1);
    grid.setColCount(3);
    QCOMPARE(model.rowCount(), 5);
    QVERIFY(model.index(4, 4).data().toString().isEmpty());

    view.refresh();
    QCOMPARE(resets.size(), 1);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 3);
    // The one remaining row is no longer fixed.
    QVERIFY(!model.isFixed(model.index(0, 1)));

    grid.setCell(2, 0, "neuf");
    view.refresh();
    QCOMPARE(resets.size(), 1);
    QVERIFY(changes.size() >= 1);
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("neuf"));
  }

  void columnWidthsComeFromTheGrid() {
    // Many columns of one width and a few of others, as a line full of
    // separators gives.
    Grid grid(20000, 3, 1, 0);
    for (int c = 0; c < grid.colCount(); ++c)
      grid.setColWidth(c, 7);
    grid.setColWidth(0, 30);
    grid.setColWidth(5, 120);
    GridView view(grid, false);
    view.refresh();
    // Column 0 is fixed: the side header stands for it, at its width.
    QCOMPARE(view.verticalHeader()->width(), grid.colWidth(0));
    for (const int c : {1, 5, 19999}) {
      QCOMPARE(view.columnWidth(c), grid.colWidth(c));
    }
    grid.setColWidth(5, 40);
    view.refresh();
    QCOMPARE(view.columnWidth(5), 40);
    // A reset keeps the widths too.
    grid.setRowCount(10);
    view.refresh();
    QCOMPARE(view.verticalHeader()->width(), 30);
    QCOMPARE(view.columnWidth(5), 40);
    QCOMPARE(view.columnWidth(7), 7);
  }

  void aMillionRowsScroll() {
    Grid grid(3, 1'000'000, 1, 0);
    grid.setCell(1, 999'999, "dernier");
    GridView view(grid, false);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    view.scrollToBottom();
    QCoreApplication::processEvents();
    const QModelIndex bottom = view.indexAt(QPoint(70, view.viewport()->height() - 5));
    QCOMPARE(bottom.row(), 999'999);
    QCOMPARE(view.gridModel().index(999'999, 1).data().toString(), QStringLiteral("dernier"));
  }

  // The grids sum the font's table themselves when it is exact; they must
  // then find the very widths the toolkit's own measure gives, every byte
  // and long mixed texts alike.
  void fontTableMeasuresLikeTheToolkitSum() {
    const Cp1252WidthTable widths(FormFont());
    const CharWidths* table = widths.charWidths();
    if (table == nullptr)
      QSKIP("this font's advances are not whole 64ths of a pixel");
    QCOMPARE(table->maxCharWidth(), widths.maxCharWidth());
    std::string every;
    for (int byte = 1; byte < 256; ++byte) {
      const std::string one(1, static_cast<char>(byte));
      QCOMPARE(table->width(one), widths.width(one));
      every += one;
    }
    for (std::size_t length = 1; length <= every.size(); length += 17) {
      const std::string text = every.substr(every.size() - length) + every.substr(0, length);
      QCOMPARE(table->width(text), widths.width(text));
    }
  }

  void rawTextShowsLinesWithoutCopyingThem() {
    TextList lines{"Memo1"};
    const Cp1252WidthTable widths(FormFont());
    TextListModel model(lines, widths, 16);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0).data().toString(), QStringLiteral("Memo1"));

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    std::string text = "NOM;PR\xC9NOM\r\n";
    text += std::string(300, 'W') + "\r\nfin\r\n";
    lines.loadText(text);
    model.refresh();
    QCOMPARE(resets.size(), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.index(0).data().toString(), QStringLiteral("NOM;PR\u00C9NOM"));
    // The widest line sets how far the view scrolls: nothing is wrapped or
    // cut.
    const int widest = model.index(2).data(Qt::SizeHintRole).toSize().width();
    QVERIFY(widest >= widths.width(std::string(300, 'W')));
    model.refresh();
    QCOMPARE(resets.size(), 1);
  }
};

int RunGridViewTests(int argc, char** argv) {
  GridViewTest suite;
  return QTest::qExec(&suite, argc, argv);
}

}  // namespace passerelle::testing

#include "grid_view_test.moc"
