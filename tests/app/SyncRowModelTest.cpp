#include "SyncRowModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "strings/KXStrings.h"

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
