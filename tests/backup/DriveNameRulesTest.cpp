#include "backup/DriveNameRules.h"

#include <memory>
#include <set>

#include "../support/FatVolume.h"
#include "BackupTestSupport.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "zip/ZipArchive.h"

using namespace halvex;
using namespace halvex::test;

namespace {

namespace bm = backup_message;

enum class Drive { Temporary, ExFat };

// The backup's rules on the file system a drive carries, and on the
// computer's own (the temporary folder), which keeps every name apart.
// FAT32 through fusefat is left out: it refuses to set an archive's time.
class DriveNamesTest : public ::testing::TestWithParam<Drive> {
protected:
    void SetUp() override
    {
        if (GetParam() == Drive::Temporary) {
            m_drive = m_folder / "drive";
            std::filesystem::create_directories(m_drive);
            return;
        }
        m_volume = std::make_unique<FatVolume>(FatKind::ExFat);
        HALVEX_REQUIRE_FAT(*m_volume);
        m_drive = m_volume->path();
    }

    bool Folds() const { return GetParam() != Drive::Temporary; }
    std::filesystem::path source() const { return m_folder / "source"; }
    std::filesystem::path current() const { return m_drive / "Backup" / "Set" / "Current Backup"; }
    std::filesystem::path recent() const { return m_drive / "Backup" / "Set" / "Recent Backup"; }

    void Write(const std::string& name, const std::string& content, std::int64_t time)
    {
        WriteFile(source() / name, content);
        SetTime(source() / name, time);
    }

    RecordingCallback Run()
    {
        RecordingCallback callback;
        KWBackupManager engine(callback);
        engine.AddFilter("*", "all");
        engine.Backup(source(), m_drive / "Backup", "Set");
        m_stored = engine.GetStoredCount();
        m_failed = engine.GetFailedCount();
        return callback;
    }

    // The names a folder lists, in the case they were written in.
    static std::set<std::string> Listed(const std::filesystem::path& folder)
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }

    // The content of a one-file archive, extracted under its entry's name.
    std::string Stored(const std::filesystem::path& archive)
    {
        const auto out = m_folder / "extracted";
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        const std::string name = archive.filename().string();
        const auto target = out / name.substr(0, name.size() - 4);
        EXPECT_TRUE(CopyFileUnZip(target, archive).ok) << archive;
        return ReadFile(target);
    }

    static bool Mentions(const RecordingCallback& callback, int message, const std::string& path)
    {
        const std::string text = BackupStrings::BuiltIn().Message(message);
        for (const auto& error : callback.errors)
            if (error.find(text) != std::string::npos && error.find(path) != std::string::npos)
                return true;
        return false;
    }

    TempFolder m_folder;
    std::unique_ptr<FatVolume> m_volume;
    std::filesystem::path m_drive;
    std::uint32_t m_stored = 0, m_failed = 0;
};

}  // namespace

// `X.doc.zip` and `x.doc.zip` are one file on a drive that folds case: the
// second name fails every run, and never pushes the first one's copies down.
TEST_P(DriveNamesTest, NamesEqualButForCaseKeepTheirOwnGenerations)
{
    Write("X.doc", "upper 1", 1700000000);
    Write("x.doc", "lower 1", 1700000000);
    Write("Sub/f.txt", "upper folder", 1700000000);
    Write("sub/f.txt", "lower folder", 1700000000);
    auto first = Run();
    if (Folds()) {
        EXPECT_EQ(m_stored, 2u);
        EXPECT_EQ(m_failed, 2u);
        EXPECT_TRUE(Mentions(first, bm::kCaseClash, (source() / "x.doc").string()));
        EXPECT_TRUE(Mentions(first, bm::kCaseClash, (source() / "sub").string()));
        EXPECT_EQ(Listed(current()), (std::set<std::string>{"Sub", "X.doc.zip"}));
        EXPECT_EQ(Stored(current() / "Sub" / "f.txt.zip"), "upper folder");
    } else {
        EXPECT_EQ(m_stored, 4u);
        EXPECT_TRUE(first.errors.empty());
    }

    Write("X.doc", "upper 2", 1700000100);
    Write("x.doc", "lower 2", 1700000100);
    Run();
    EXPECT_EQ(Stored(current() / "X.doc.zip"), "upper 2");
    EXPECT_EQ(Stored(recent() / "X.doc.zip"), "upper 1");
    if (Folds()) {
        EXPECT_EQ(m_failed, 2u);
        EXPECT_EQ(Listed(current()), (std::set<std::string>{"Sub", "X.doc.zip"}));
        EXPECT_EQ(Listed(recent()), (std::set<std::string>{"X.doc.zip"}));
    } else {
        EXPECT_EQ(Stored(current() / "x.doc.zip"), "lower 2");
        EXPECT_EQ(Stored(recent() / "x.doc.zip"), "lower 1");
    }
}

// A file stored alone for a while, then joined by a name equal but for case
// that sorts first: the stored copies stay the first file's own.
TEST_P(DriveNamesTest, ANewcomerInOtherCaseDoesNotTakeOverStoredCopies)
{
    Write("report.doc", "lower 1", 1700000000);
    Run();
    Write("Report.doc", "upper 1", 1700000100);
    Write("report.doc", "lower 2", 1700000100);
    const auto second = Run();
    EXPECT_EQ(Stored(current() / "report.doc.zip"), "lower 2");
    EXPECT_EQ(Stored(recent() / "report.doc.zip"), "lower 1");
    if (Folds()) {
        EXPECT_TRUE(Mentions(second, bm::kCaseClash, (source() / "Report.doc").string()));
        EXPECT_EQ(Listed(current()), (std::set<std::string>{"report.doc.zip"}));
    } else {
        EXPECT_EQ(Stored(current() / "Report.doc.zip"), "upper 1");
    }
}

// The computer's file system holds these names; only the drive's is asked.
using FatDriveNamesTest = DriveNamesTest;

TEST_P(FatDriveNamesTest, NamesTheDriveCannotHoldFailAlone)
{
    const std::vector<std::string> refused = {"a:b.txt", "what?.txt", "pipe|.txt", std::string(251, 'n') + ".txt"};
    for (const auto& name : refused)
        Write(name, "x", 1700000000);
    Write("fine.txt", "fine", 1700000000);
    const auto callback = Run();
    EXPECT_EQ(m_stored, 1u);
    EXPECT_EQ(m_failed, refused.size());
    for (const auto& name : refused)
        EXPECT_TRUE(Mentions(callback, bm::kNameNotOnDrive, (source() / name).string())) << name;
    EXPECT_EQ(Stored(current() / "fine.txt.zip"), "fine");
}

INSTANTIATE_TEST_SUITE_P(FileSystems, DriveNamesTest, ::testing::Values(Drive::Temporary, Drive::ExFat),
                         [](const auto& info) { return info.param == Drive::Temporary ? "Temporary" : "ExFat"; });
INSTANTIATE_TEST_SUITE_P(FileSystems, FatDriveNamesTest, ::testing::Values(Drive::ExFat),
                         [](const auto&) { return "ExFat"; });
