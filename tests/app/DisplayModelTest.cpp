// The on-screen texts of file names and the Qt model over the results list.
#include "DisplayText.h"
#include "ResultsModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace dirwise;

TEST(DisplayText, ValidUtf8ShowsAsItsCharacters) {
    EXPECT_EQ(DisplayText("plain.txt"), QStringLiteral("plain.txt"));
    EXPECT_EQ(DisplayText("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
              QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"));
    EXPECT_EQ(DisplayText(""), QString());
}

TEST(DisplayText, OddBytesAndControlsAreEscapedAsInTheReport) {
    EXPECT_EQ(DisplayText("a\tb\nc\rd"), QStringLiteral("a\\tb\\nc\\rd"));
    EXPECT_EQ(DisplayText("back\\slash"), QStringLiteral("back\\\\slash"));
    EXPECT_EQ(DisplayText("bell\x07"), QStringLiteral("bell\\x07"));
    // Latin-1 bytes, a lone continuation byte, a cut sequence, an overlong "/", a surrogate.
    EXPECT_EQ(DisplayText("caf\xe9"), QStringLiteral("caf\\xE9"));
    EXPECT_EQ(DisplayText("\x80x"), QStringLiteral("\\x80x"));
    EXPECT_EQ(DisplayText("\xe2\x82"), QStringLiteral("\\xE2\\x82"));
    EXPECT_EQ(DisplayText("\xc0\xaf"), QStringLiteral("\\xC0\\xAF"));
    EXPECT_EQ(DisplayText("\xed\xa0\x80"), QStringLiteral("\\xED\\xA0\\x80"));
    // A valid character right after an odd byte survives.
    EXPECT_EQ(DisplayText("\xff\xc3\xa9"), QString::fromUtf8("\\xFF\xc3\xa9"));
}

namespace {
void addRow(ResultsList &list, Result r, const std::string &name, std::int64_t size) {
    const std::size_t i = list.Add(r);
    list.SetSubItem(i, Column::ComparePath, std::string_view("/sub/"));
    list.SetSubItem(i, Column::FileName, name);
    list.SetSubItem(i, Column::MasterSize, size);
    list.SetSubItem(i, Column::MasterDate, std::int64_t{1000000000});
}
} // namespace

TEST(ResultsModel, ShowsOnlyAnnouncedRowsAndBatchesAppends) {
    ResultsList list;
    list.SetRoots("/m", "/c");
    ResultsModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    addRow(list, Result::Match, "a.txt", 1);
    addRow(list, Result::Size, "b\tname", 2);
    addRow(list, Result::NotFound, "c\xff", 3);
    EXPECT_EQ(model.rowCount(), 0) << "rows appear only at Sync";
    model.Sync();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(inserted.count(), 1) << "one batch for three rows";

    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Compare Path"));
    EXPECT_EQ(model.headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Compare Date"));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), QStringLiteral("Size"));
    EXPECT_EQ(model.data(model.index(1, 2), Qt::DisplayRole).toString(),
              QStringLiteral("b\\tname"));
    EXPECT_EQ(model.data(model.index(2, 2), Qt::DisplayRole).toString(), QStringLiteral("c\\xFF"));
    EXPECT_EQ(model.data(model.index(2, 0), Qt::DisplayRole).toString(),
              QStringLiteral("Not Found"));
    EXPECT_EQ(model.data(model.index(2, 4), Qt::DisplayRole).toString(), QString())
        << "a Not Found row has no compare size";
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(),
              QString::fromStdString(list.Text(0, Column::ComparePath)));

    // A run clears the list and appends again: the view is reset, never shown stale rows.
    list.Clear();
    addRow(list, Result::Match, "z.txt", 9);
    EXPECT_EQ(model.data(model.index(2, 2), Qt::DisplayRole), QVariant())
        << "a row the list no longer has reads as nothing";
    model.Sync();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 2), Qt::DisplayRole).toString(), QStringLiteral("z.txt"));
}

TEST(ResultsModel, IconsFollowTheRowsKey) {
    ResultsList list;
    ResultsModel model(list);
    QPixmap red(16, 16), green(16, 16), blue(16, 16);
    red.fill(Qt::red);
    green.fill(Qt::green);
    blue.fill(Qt::blue);
    model.SetIcons(QIcon(green), QIcon(red), QIcon(blue));
    addRow(list, Result::Match, "a", 1);
    addRow(list, Result::SizeAndDate, "b", 1);
    addRow(list, Result::NotFound, "c", 1);
    model.Sync();
    auto colour = [&](int row) {
        const QIcon icon = model.data(model.index(row, 0), Qt::DecorationRole).value<QIcon>();
        return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
    };
    EXPECT_EQ(colour(0), QColor(Qt::green));
    EXPECT_EQ(colour(1), QColor(Qt::red));
    EXPECT_EQ(colour(2), QColor(Qt::blue));
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::DecorationRole).isValid());
}

TEST(ResultsModel, SortKeepsSelectedRowsSelected) {
    ResultsList list;
    list.SetRoots("/m", "/c");
    ResultsModel model(list);
    QItemSelectionModel selection(&model);
    for (const char *name : {"b", "d", "a", "c"})
        addRow(list, Result::Match, name, 1);
    model.Sync();
    selection.select(model.index(1, 0),
                     QItemSelectionModel::Select | QItemSelectionModel::Rows);   // d
    selection.setCurrentIndex(model.index(3, 0), QItemSelectionModel::NoUpdate); // c
    model.Sort(Column::FileName, SortOrder::Ascending, &selection);
    ASSERT_EQ(list.Text(0, Column::FileName), "a");
    const QModelIndexList rows = selection.selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].row(), 3) << "d moved to the bottom and stays selected";
    EXPECT_EQ(selection.currentIndex().row(), 2) << "c stays current";
}
