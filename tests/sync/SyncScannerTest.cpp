#include "sync/SyncScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "SyncTestSupport.h"

using namespace synctest;
using halvex::Recursion;

namespace {

class SyncScannerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSyncStrings();
        options.recursion = Recursion::Into;
        fs::create_directories(computer);
        fs::create_directories(drive);
    }

    // "to-drive a/b" or "to-computer a/b" per row, in the list's order,
    // scanned with the fixture's options.
    std::vector<std::string> Scan()
    {
        halvex::SyncScanner scanner(callback, control, options);
        finished = scanner.Scan(computer, drive, rows);
        counters = scanner.Counters();
        std::vector<std::string> out;
        for (const ItemData& r : rows) {
            const fs::path root = r.sourceUsb ? drive : computer;
            const char* kind = !r.problem.empty() ? "problem " : r.sourceUsb ? "to-computer " : "to-drive ";
            out.push_back(kind + r.path.lexically_relative(root).string());
        }
        return out;
    }

    std::set<std::string> ScanSet()
    {
        auto v = Scan();
        return {v.begin(), v.end()};
    }

    TempFolder tmp;
    fs::path computer = tmp / "computer";
    fs::path drive = tmp / "drive";
    RecordingCallback callback;
    halvex::SyncControl control;
    halvex::SyncScanOptions options;  // recursion set in SetUp
    std::vector<ItemData> rows;
    halvex::ScanCounters counters;
    halvex::Status finished;
};

// One file on one or both sides: its times (0 = absent) and what is listed.
struct PairCase {
    const char* what;
    std::int64_t computerTime;  // 0: no such file
    std::int64_t driveTime;
    std::string computerContent;
    std::string driveContent;
    std::vector<std::string> expected;
};

const PairCase kPairCases[] = {
    {"same time", 1000, 1000, "a", "a", {}},
    {"2 seconds apart is the same", 1002, 1000, "a", "a", {}},
    {"3 seconds apart: the computer's is newer", 1003, 1000, "a", "a", {"to-drive f.txt"}},
    {"3 seconds apart: the drive's is newer", 1000, 1003, "a", "a", {"to-computer f.txt"}},
    {"same time, other size: not listed", 1000, 1000, "short", "much longer", {}},
    {"older but larger: the newer still wins", 5000, 1000, "a", "much larger", {"to-drive f.txt"}},
    {"only on the computer", 1000, 0, "a", "", {"to-drive f.txt"}},
    {"deleted from the computer: copied back", 0, 1000, "", "a", {"to-computer f.txt"}},
};

}  // namespace

TEST_F(SyncScannerTest, OneFileOnOneOrBothSides)
{
    for (const PairCase& c : kPairCases) {
        fs::remove_all(computer);
        fs::remove_all(drive);
        fs::create_directories(computer);
        fs::create_directories(drive);
        if (c.computerTime)
            WriteFile(computer / "f.txt", c.computerContent, c.computerTime);
        if (c.driveTime)
            WriteFile(drive / "f.txt", c.driveContent, c.driveTime);
        EXPECT_EQ(Scan(), c.expected) << c.what;
        EXPECT_TRUE(finished);
    }
}

TEST_F(SyncScannerTest, RowCarriesPathsSizeDateAndDirection)
{
    WriteFile(computer / "sub" / "report.doc", std::string(1500, 'x'), 1'600'000'000);
    ASSERT_EQ(Scan(), std::vector<std::string>{"to-drive sub/report.doc"});
    const ItemData& r = rows[0];
    EXPECT_EQ(r.path, computer / "sub" / "report.doc");
    EXPECT_EQ(r.dstPath, drive / "sub" / "report.doc");
    EXPECT_EQ(r.name, "report.doc");
    EXPECT_EQ(r.size, 1500u);
    EXPECT_EQ(r.sizeText, "2 KB");
    EXPECT_EQ(r.date, 1'600'000'000);
    EXPECT_FALSE(r.dateText.empty());
    EXPECT_FALSE(r.sourceUsb);
    EXPECT_TRUE(r.check);
    EXPECT_FALSE(r.synced);
    EXPECT_FALSE(fs::exists(drive / "sub")) << "the scan creates nothing";
}

TEST_F(SyncScannerTest, SubfoldersOnlyWhenAsked)
{
    WriteFile(computer / "top.txt", "a");
    WriteFile(computer / "inner" / "deep.txt", "a");
    WriteFile(drive / "other" / "far.txt", "a");
    options.recursion = Recursion::TopOnly;
    EXPECT_EQ(ScanSet(), (std::set<std::string>{"to-drive top.txt"}));
    EXPECT_EQ(counters.foldersScanned, 0u);
    EXPECT_EQ(counters.filesScanned, 1u);
    EXPECT_EQ(callback.scanMessages.back(), "Comparing files...\n1 files checked");

    options.recursion = Recursion::Into;
    EXPECT_EQ(ScanSet(),
              (std::set<std::string>{"to-drive top.txt", "to-drive inner/deep.txt", "to-computer other/far.txt"}));
    EXPECT_EQ(counters.foldersScanned, 2u);
    EXPECT_EQ(counters.filesScanned, 3u);
    EXPECT_EQ(counters.toDrive, 2u);
    EXPECT_EQ(counters.toComputer, 1u);
    EXPECT_EQ(callback.scanMessages.back(), "Comparing files...\n2 folders and 3 files checked");
}

TEST_F(SyncScannerTest, MissingSubfolderListsEveryFileInIt)
{
    for (int i = 0; i < 5; ++i)
        WriteFile(computer / "photos" / "2024" / ("p" + std::to_string(i)), "x");
    WriteFile(drive / "photos" / "keep", "x");
    const auto listed = ScanSet();
    EXPECT_EQ(listed.size(), 6u);
    EXPECT_TRUE(listed.count("to-drive photos/2024/p4"));
    EXPECT_TRUE(listed.count("to-computer photos/keep"));
}

TEST_F(SyncScannerTest, HiddenLinksAndShortcutsAreNeverListed)
{
    WriteFile(computer / ".hidden", "x");
    WriteFile(computer / ".hiddenfolder" / "inside.txt", "x");
    WriteFile(computer / "Shortcut.LNK", "x");
    WriteFile(computer / "other.lnk", "x");
    WriteFile(drive / "visible.txt", "x");
    fs::create_symlink(drive / "visible.txt", computer / "link.txt");
    fs::create_directory_symlink(drive, computer / "linkedfolder");
    EXPECT_EQ(Scan(), std::vector<std::string>{"to-computer visible.txt"});
    EXPECT_EQ(counters.filesScanned, 1u) << "skipped entries are not counted";
}

TEST_F(SyncScannerTest, LinkOnTheOtherSideIsReportedNotReplaced)
{
    WriteFile(computer / "notes.txt", "new", 9000);
    WriteFile(tmp / "elsewhere.txt", "old", 1000);
    fs::create_symlink(tmp / "elsewhere.txt", drive / "notes.txt");
    EXPECT_EQ(Scan(), std::vector<std::string>{"problem notes.txt"});
    EXPECT_EQ(rows[0].problem, "sync_link_skipped");
    EXPECT_TRUE(rows[0].sourceUsb) << "the link is the drive's";
    EXPECT_EQ(counters.toDrive + counters.toComputer, 0u);
}

TEST_F(SyncScannerTest, UnreadableFilesAndFoldersForAnOrdinaryUser)
{
    WriteFile(computer / "secret.txt", "x");
    WriteFile(computer / "open.txt", "x");
    WriteFile(computer / "closed" / "a.txt", "x");
    fs::permissions(computer / "secret.txt", fs::perms::none);
    OpenToOthers(tmp.path());
    fs::permissions(computer / "closed", fs::perms::none);
    const auto report = AsOrdinaryUser([&] {
        std::string text;
        // One line per row: the listing, readable or not, and the texts.
        std::vector<std::string> listed = Scan();
        for (std::size_t i = 0; i < rows.size(); ++i)
            text += listed[i] + (rows[i].readable ? " readable '" : " unreadable '") + rows[i].sizeText + "' '" +
                    rows[i].dateText + "'\n";
        text += finished ? "finished" : "cancelled";
        text += callback.messages.empty() ? "" : " with a message";
        return text;
    });
    if (!report)
        GTEST_SKIP() << "cannot become an ordinary user here";
    std::istringstream in(*report);
    std::set<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.insert(line.rfind("to-drive open.txt readable", 0) == 0 ? "to-drive open.txt readable" : line);
    // The folder that cannot be opened is a failure, not a folder without files.
    EXPECT_EQ(lines, (std::set<std::string>{"to-drive open.txt readable", "to-drive secret.txt unreadable '' ''",
                                            "problem closed unreadable '' ''", "finished"}))
        << *report;
}

// A drive folder that cannot be read hides files that may be newer than the
// computer's: nothing below it goes either way, and the row says why.
TEST_F(SyncScannerTest, UnreadableDriveFolderLeavesItsTwinAlone)
{
    WriteFile(computer / "shared" / "old.txt", "computer", 1000);
    WriteFile(drive / "shared" / "old.txt", "drive", 9000);
    WriteFile(drive / "shared" / "only-on-drive.txt", "drive", 9000);
    OpenToOthers(tmp.path());
    fs::permissions(drive / "shared", fs::perms::none);
    const auto report = AsOrdinaryUser([&] {
        std::string text;
        for (const std::string& row : Scan())
            text += row + "|";
        return text + rows.front().problem;
    });
    if (!report)
        GTEST_SKIP() << "cannot become an ordinary user here";
    EXPECT_EQ(*report, "problem shared|sync_folder_unreadable");
}

TEST_F(SyncScannerTest, MissingFolderOfThePairYieldsNoRows)
{
    WriteFile(drive / "a.txt", "x");
    fs::remove_all(computer);
    // Pass 1 reads nothing; pass 2 lists the drive's file for a folder that
    // the run will create.
    EXPECT_EQ(Scan(), std::vector<std::string>{"to-computer a.txt"});
}

TEST_F(SyncScannerTest, PassOneRowsComeFirstAndFolderFilesWhereTheFolderIsMet)
{
    WriteFile(computer / "a" / "1", "x");
    WriteFile(computer / "a" / "2", "x");
    WriteFile(computer / "b", "x");
    WriteFile(drive / "c", "x");
    const auto listed = Scan();
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed.back(), "to-computer c");
    // The two files of folder a are next to each other, wherever a was met.
    const auto first = std::find(listed.begin(), listed.end(), "to-drive a/1");
    const auto second = std::find(listed.begin(), listed.end(), "to-drive a/2");
    ASSERT_NE(first, listed.end());
    ASSERT_NE(second, listed.end());
    EXPECT_EQ(std::abs(first - second), 1);
}

TEST_F(SyncScannerTest, CancelDuringPassOneKeepsOnlyRowsFoundSoFar)
{
    for (int i = 0; i < 20; ++i)
        WriteFile(computer / ("c" + std::to_string(i)), "x");
    WriteFile(drive / "d", "x");
    callback.onRow = [&](const ItemData&) {
        if (callback.rowsAdded.size() == 3)
            control.cancel() = true;
    };
    const auto listed = Scan();
    EXPECT_TRUE(finished.cancelled());
    EXPECT_EQ(listed.size(), 3u);
    for (const ItemData& r : rows)
        EXPECT_FALSE(r.sourceUsb);
}

TEST_F(SyncScannerTest, RescanStartsFromEmptyRowsAndCounters)
{
    WriteFile(computer / "a", "x");
    Scan();
    Scan();
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(counters.filesScanned, 1u);
    EXPECT_EQ(counters.toDrive, 1u);
}

// A list that keeps rows its own way gets every row through the callback,
// in the same order, while the scanner keeps none of them.
TEST_F(SyncScannerTest, RowsHandedOnlyToTheCallbackComeInTheListsOrder)
{
    WriteFile(computer / "a" / "1", "x");
    WriteFile(computer / "b", "x");
    WriteFile(drive / "c", "x");
    Scan();
    std::vector<std::string> names;
    for (const ItemData& row : rows)
        names.push_back(row.name);
    callback.rowsAdded.clear();

    options.rowKeeping = halvex::RowKeeping::CallbackOnly;
    EXPECT_TRUE(Scan().empty());
    EXPECT_TRUE(finished);
    EXPECT_EQ(callback.rowsAdded, names);
    EXPECT_EQ(counters.toComputer, 1u);
    EXPECT_EQ(counters.toDrive, 2u);
}

// Folders on both sides are entered in the computer's order, yet their
// drive-to-computer rows follow the drive folder's own order, each folder's
// files together, with every row whole (paths, size, target seen).
TEST_F(SyncScannerTest, DriveRowsFollowTheDrivesOrderWhateverTheComputersOrder)
{
    for (int i = 0; i < 8; ++i) {
        const std::string folder = "f" + std::to_string(i);
        WriteFile(computer / folder / "x", "old", 1000);
        WriteFile(computer / folder / "y", "new", 9000);
    }
    for (int i = 7; i >= 0; --i) {
        const std::string folder = "f" + std::to_string(i);
        WriteFile(drive / folder / "x", "newer", 9000);
        WriteFile(drive / folder / "z", "only here", 9000);
        WriteFile(drive / folder / "y", "old", 1000);
    }
    std::vector<std::string> expected;
    for (const auto& folder : fs::directory_iterator(drive))
        for (const auto& file : fs::directory_iterator(folder.path()))
            if (file.path().filename() != "y")
                expected.push_back("to-computer " + file.path().lexically_relative(drive).string());
    const auto listed = Scan();
    ASSERT_EQ(listed.size(), 24u);
    EXPECT_EQ(std::vector<std::string>(listed.begin() + 8, listed.end()), expected);
    for (const ItemData& row : rows) {
        if (!row.sourceUsb)
            continue;
        const fs::path relative = row.path.lexically_relative(drive);
        EXPECT_EQ(row.dstPath, computer / relative);
        EXPECT_EQ(row.name, relative.filename().string());
        EXPECT_EQ(row.size, relative.filename() == "x" ? 5u : 9u);
        EXPECT_EQ(row.dateText.empty(), false);
        EXPECT_TRUE(row.dstScanned);
        EXPECT_EQ(row.dstExists, relative.filename() == "x");
        EXPECT_EQ(row.dstSize, relative.filename() == "x" ? 3u : 0u);
    }
}
