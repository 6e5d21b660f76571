#include "app/sync/SyncRowModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "strings/KXStrings.h"
#include "sync/SyncSort.h"
#include "util/FileDateText.h"
#include "util/FileSizeText.h"

using halvex::app::SyncRowModel;

namespace {

ItemData Row(const std::string& name, bool fromDrive, std::uint64_t size = 0)
{
    ItemData row;
    row.name = name;
    row.path = "/src/" + name;
    row.dstPath = "/dst/" + name;
    row.sourceUsb = fromDrive;
    row.size = size;
    row.sizeText = std::to_string(size);
    return row;
}

std::string Names(const SyncRowModel& model)
{
    std::string names;
    for (const ItemData& row : model.Rows())
        names += row.name;
    return names;
}

TEST(SyncRowModelTest, TakeRunResultRemovesTheSyncedRowsAndKeepsTheRestWithTheirChecks)
{
    SyncRowModel model;
    model.Append({Row("a", false), Row("b", true), Row("c", false), Row("d", true), Row("e", false)});
    model.SetChecked(1, false);
    std::vector<ItemData> ran = model.Rows();
    for (std::size_t i : {0u, 2u, 3u})
        ran[i].synced = true;
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.TakeRunResult(ran);
    EXPECT_EQ(Names(model), "be");
    EXPECT_FALSE(model.Row(0).check);
    EXPECT_TRUE(model.Row(1).check);
    EXPECT_EQ(removed.count(), 2) << "neighbouring synced rows go in one removal";
    EXPECT_EQ(model.CheckedFromDrive(), 0u);
    EXPECT_EQ(model.CheckedFromComputer(), 1u);
}

TEST(SyncRowModelTest, ABatchIsOneInsertionAndTheUsersCheckIsReported)
{
    SyncRowModel model;
    std::vector<ItemData> batch;
    batch.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        batch.push_back(Row("f" + std::to_string(i), i % 2 == 0, static_cast<std::uint64_t>(i)));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.Append(std::move(batch));
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(model.rowCount(), 100000);

    QSignalSpy checks(&model, &SyncRowModel::checksChanged);
    EXPECT_TRUE(model.setData(model.index(5, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(model.index(5, 1), Qt::Checked, Qt::CheckStateRole)) << "only the name has a box";
    EXPECT_EQ(checks.count(), 1);
    EXPECT_EQ(model.data(model.index(5, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 2)) & Qt::ItemIsUserCheckable);

    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(model.Row(0).name, "f99999");
    EXPECT_EQ(model.data(model.index(0, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
}

// Rows the scanner makes are held compactly and come back as they went in;
// rows that do not fit that form are kept whole. Either way each column
// sorts exactly as the engine's SortRows orders the same rows.
TEST(SyncRowModelTest, CompactRowsComeBackWholeAndSortAsTheEngineSorts)
{
    const std::string computer = "/home/me/Files/";
    const std::string drive = "/media/me/STICK/Sync Folder/";
    auto scanned = [&](const std::string& relative, bool fromDrive, std::uint64_t size, std::int64_t date,
                       bool readable = true) {
        ItemData row;
        row.path = (fromDrive ? drive : computer) + relative;
        row.dstPath = (fromDrive ? computer : drive) + relative;
        row.name = row.path.filename().string();
        row.sourceUsb = fromDrive;
        row.readable = readable;
        if (readable) {
            row.size = size;
            row.date = date;
            row.sizeText = halvex::SizeText(size);
            row.dateText =
                halvex::FormatFileDate(date, halvex::UserShortDateFormat(), halvex::UserTimeFormatWithoutSeconds());
        }
        return row;
    };
    std::vector<ItemData> rows = {
        scanned("b/Zeta.txt", false, 5000, 1700000000),
        scanned("alpha.jpg", true, 10, 1600000000),
        scanned("c/d/\xC3\xA9t\xC3\xA9.pdf", false, 5000, 1650000000),
        scanned("locked.doc", true, 0, 0, false),
        scanned("b/zeta.TXT", true, 1 << 20, 1700000000),
        Row("outside.txt", false, 7),  // not below the roots
        scanned("Beta", false, 1, 1750000000),
    };
    rows[1].check = false;
    // What the run checks again before it replaces a destination.
    rows[0].dstScanned = rows[0].dstExists = true;
    rows[0].dstSize = 4321;
    rows[0].dstTimeNs = 1'690'000'000'123'456'789;
    rows[6].dstScanned = true;

    SyncRowModel model;
    model.SetRoots(computer, drive);
    model.Append(std::vector<ItemData>(rows));
    ASSERT_EQ(model.rowCount(), static_cast<int>(rows.size()));
    for (int i = 0; i < model.rowCount(); ++i) {
        const ItemData back = model.Row(i);
        const ItemData& in = rows[static_cast<std::size_t>(i)];
        EXPECT_EQ(back.path, in.path);
        EXPECT_EQ(back.dstPath, in.dstPath);
        EXPECT_EQ(back.name, in.name);
        EXPECT_EQ(back.sizeText, in.sizeText) << in.name;
        EXPECT_EQ(back.dateText, in.dateText) << in.name;
        EXPECT_EQ(std::tie(back.size, back.date, back.sourceUsb, back.check, back.readable, back.dstScanned,
                           back.dstExists, back.dstSize, back.dstTimeNs),
                  std::tie(in.size, in.date, in.sourceUsb, in.check, in.readable, in.dstScanned, in.dstExists,
                           in.dstSize, in.dstTimeNs))
            << in.name;
        EXPECT_EQ(model.data(model.index(i, 0), Qt::DisplayRole).toString().toStdString(), in.name);
        EXPECT_EQ(model.data(model.index(i, 1), Qt::DisplayRole).toString().toStdString(), in.sizeText);
        EXPECT_EQ(model.SourcePath(i), in.path.string());
    }
    EXPECT_EQ(model.CheckedFromDrive(), 2u);
    EXPECT_EQ(model.CheckedFromComputer(), 4u);

    for (int column = 0; column < 4; ++column) {
        for (const auto order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            std::vector<ItemData> expected = model.Rows();
            halvex::SortRows(
                expected, static_cast<halvex::SyncColumn>(column),
                order == Qt::AscendingOrder ? halvex::SortOrder::Ascending : halvex::SortOrder::Descending);
            model.sort(column, order);
            std::string want;
            for (const ItemData& row : expected)
                want += row.path.string() + "|";
            std::string got;
            for (const ItemData& row : model.Rows())
                got += row.path.string() + "|";
            EXPECT_EQ(got, want) << "column " << column << " order " << order;
        }
    }
    // Other roots are another pair: the list starts again.
    model.SetRoots("/elsewhere", drive);
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace

// A row the run will not copy says why, and is no copy in the arrows' counts.
TEST(SyncRowModelTest, AProblemRowSaysWhyAndIsNotCountedAsACopy)
{
    ASSERT_TRUE(KXStrings::LoadStringTable(std::filesystem::path(HALVEX_TEST_DATA) / "sync" / "Localizable.strings"));
    SyncRowModel model;
    ItemData clash = Row("Report.txt", false);
    clash.problem = "sync_name_clash";
    clash.problemDetail = "report.txt";
    model.Append({clash, Row("b", false)});
    EXPECT_EQ(model.CheckedFromComputer(), 1u);
    const QString tip = model.data(model.index(0, 2), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith("/src/Report.txt")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("Report.txt and report.txt differ only in upper and lower case")) << tip.toStdString();
    EXPECT_EQ(model.data(model.index(0, 3), Qt::DisplayRole).toString(), "Not synchronized");
}
