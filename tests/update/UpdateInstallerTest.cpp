#include "update/UpdateInstaller.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "UpdateTestSupport.h"
#include "../support/FatVolume.h"
#include "../support/ShellCommand.h"
#include "update/UpdateJournal.h"
#include "util/IgnoreResult.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::MakeZip;
using halvex::test::ReadFile;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

mode_t ModeOf(const fs::path& file)
{
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 0777;
}

void SameTime(const fs::path& from, const fs::path& to)
{
    fs::last_write_time(to, fs::last_write_time(from));
}

// An unpacked package in `unpack` and a drive folder holding the suite.
class InstallTest : public ::testing::Test {
protected:
    halvex::Status Install(const std::map<std::string, mode_t>& modes = {})
    {
        halvex::InstallCallbacks callbacks;
        callbacks.step = [this] { ++m_steps; };
        callbacks.log = [this](const std::string& line) { m_log.push_back(line); };
        return halvex::InstallUnpackedUpdate(m_unpack.path(), m_drive.path(), modes, callbacks);
    }

    TempFolder m_unpack, m_drive;
    int m_steps = 0;
    std::vector<std::string> m_log;
};

TEST_F(InstallTest, PlacesChangedAndNewFilesSkipsEqualAndHiddenOnes)
{
    const fs::path app = "HalvexDravane.app/Contents";
    WriteFile(m_drive / app / "same.txt", "same");
    WriteFile(m_unpack / app / "same.txt", "same");
    SameTime(m_drive / app / "same.txt", m_unpack / app / "same.txt");
    WriteFile(m_drive / app / "changed.txt", "old");
    WriteFile(m_unpack / app / "changed.txt", "new");
    // Same size; only the time differs.
    fs::last_write_time(m_unpack / app / "changed.txt",
                        fs::last_write_time(m_drive / app / "changed.txt") + std::chrono::seconds(10));
    WriteFile(m_unpack / app / "Resources/new/deep/file.txt", "added");
    WriteFile(m_unpack / ".hidden", "x");
    WriteFile(m_unpack / app / ".DS_Store", "x");
    WriteFile(m_unpack / "__MACOSX/.x/y.txt", "x");
    const auto newTime = fs::last_write_time(m_unpack / app / "changed.txt");
    const std::size_t entries = halvex::CountEntries(m_unpack.path());

    ASSERT_TRUE(Install());
    EXPECT_EQ(ReadFile(m_drive / app / "changed.txt"), "new");
    EXPECT_EQ(fs::last_write_time(m_drive / app / "changed.txt"), newTime);
    EXPECT_EQ(ReadFile(m_drive / app / "Resources/new/deep/file.txt"), "added");
    EXPECT_FALSE(fs::exists(m_drive / ".hidden"));
    EXPECT_FALSE(fs::exists(m_drive / app / ".DS_Store"));
    EXPECT_FALSE(fs::exists(m_drive / "__MACOSX/.x/y.txt"));
    // The equal file stays where it was (not moved out of the package).
    EXPECT_TRUE(fs::exists(m_unpack / app / "same.txt"));
    EXPECT_EQ(m_log.size(), 2u);
    for (const std::string& line : m_log)
        EXPECT_EQ(line.rfind("Updated: ", 0), 0u) << line;
    // Every entry advances the bar, skipped ones and folders included.
    EXPECT_EQ(static_cast<std::size_t>(m_steps), entries);
}

TEST_F(InstallTest, ExecutablesKeepTheirRunPermission)
{
    WriteFile(m_drive / "bin/Old", "old");
    fs::permissions(m_drive / "bin/Old", fs::perms(0755));
    WriteFile(m_unpack / "bin/Old", "new program");  // no mode in the archive: the old one's
    fs::permissions(m_unpack / "bin/Old", fs::perms(0644));
    WriteFile(m_unpack / "bin/New", "packaged with its mode");
    fs::permissions(m_unpack / "bin/New", fs::perms(0644));
    WriteFile(m_unpack / "bin/Plain", "new file, no mode anywhere");
    fs::permissions(m_unpack / "bin/Plain", fs::perms(0644));

    ASSERT_TRUE(Install({{"bin/New", 0755}}));
    EXPECT_EQ(ModeOf(m_drive / "bin/Old"), 0755u);
    EXPECT_EQ(ModeOf(m_drive / "bin/New"), 0755u);
    EXPECT_EQ(ModeOf(m_drive / "bin/Plain"), 0644u);
}

TEST_F(InstallTest, StopsAtTheFirstFileThatCannotBePlacedAndKeepsTheOldOne)
{
    // A folder on the drive where the package has a file: it can be neither
    // replaced nor copied over, and what it holds stays.
    WriteFile(m_drive / "a/b.txt/kept.txt", "old");
    WriteFile(m_unpack / "a/b.txt", "new");
    const halvex::Status installed = Install();
    EXPECT_EQ(ReadFile(m_drive / "a/b.txt/kept.txt"), "old");
    EXPECT_EQ(installed.messageKey, "update_fail");
    EXPECT_EQ(installed.detail, (m_drive / "a/b.txt").string());
    EXPECT_TRUE(m_log.empty());
}

// Every file of a folder, hidden ones included, with its text.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(folder).generic_string()] = ReadFile(entry.path());
    return files;
}

// Version N on the drive, N+1 in the package: two changed files in two
// folders, one added in a new folder, one the same. The drive's launcher
// sits at its top, as make-drive.sh puts it.
const fs::path kLinux = "HalvexDravane.app/Contents/Linux";
const fs::path kResources = "HalvexDravane.app/Contents/Resources";

class AllOrNothingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_drive = std::make_unique<TempFolder>();
        if (!m_volume.empty()) {
            fs::remove_all(m_volume / "drive");
            fs::create_directory(m_volume / "drive");
        }
        WriteFile(Top() / kLinux / "dravane", "#!/bin/sh\necho N\n");
        WriteFile(Top() / kLinux / "lib/libcore.so", "core N");
        WriteFile(Top() / kResources / "same.txt", "same");
        WriteFile(Top() / "HalvexDravane.sh", ReadFile(fs::path(HALVEX_SOURCE_DIR) / "scripts/drive/HalvexDravane.sh"));
        m_old = Snapshot(Top());
    }

    fs::path Unpacked()
    {
        m_unpack = std::make_unique<TempFolder>();
        fs::path root = m_unpack->path();
        WriteFile(root / kLinux / "dravane", "#!/bin/sh\necho N+1\n");
        WriteFile(root / kLinux / "lib/libcore.so", "core N+1");
        WriteFile(root / kResources / "added/new.txt", "added in N+1");
        WriteFile(root / kResources / "same.txt", "same");
        SameTime(Top() / kResources / "same.txt", root / kResources / "same.txt");
        return root;
    }

    std::map<std::string, std::string> New() const
    {
        auto files = m_old;
        files[(kLinux / "dravane").string()] = "#!/bin/sh\necho N+1\n";
        files[(kLinux / "lib/libcore.so").string()] = "core N+1";
        files[(kResources / "added/new.txt").string()] = "added in N+1";
        return files;
    }

    // The drive's launcher, as a user starts the command line from it: it
    // settles the drive first, then runs the drive's "dravane".
    std::string Launch()
    {
        const halvex::test::ShellOutput run =
            halvex::test::RunShell("XDG_CACHE_HOME='" + m_unpack->path().string() + "/cache' sh '" +
                                   (Top() / "HalvexDravane.sh").string() + "' --cli");
        return run.status == 0 ? run.out : "failed";
    }

    // The drive's top: a temporary folder, or one on m_volume when set.
    fs::path Top() const { return m_volume.empty() ? m_drive->path() : m_volume / "drive"; }

    void StopEverywhere();

    std::unique_ptr<TempFolder> m_drive, m_unpack;
    fs::path m_volume;
    std::map<std::string, std::string> m_old;
};

// Journal, three stagings, journal, two set aside and three swapped; then
// the journal that says "done", and the tidying.
constexpr int kChangesBeforeDone = 11;

void AllOrNothingTest::StopEverywhere()
{
    enum class Next { Recovery, Launcher, SecondTry };
    for (const Next next : {Next::Recovery, Next::Launcher, Next::SecondTry}) {
        int points = 0;
        for (int stopAt = 0;; ++stopAt) {
            SCOPED_TRACE(testing::Message() << "next " << static_cast<int>(next) << ", stopped at " << stopAt);
            SetUp();
            int changes = 0;
            halvex::InstallCallbacks callbacks;
            callbacks.stopBeforeChange = [&] { return changes++ == stopAt; };
            const halvex::Status installed = halvex::InstallUnpackedUpdate(Unpacked(), Top(), {}, callbacks);
            if (installed) {
                ASSERT_EQ(Snapshot(Top()), New());
                break;
            }
            ASSERT_TRUE(installed.cancelled()) << installed.detail;
            ++points;
            // The next start settles the drive: back to N, nothing left
            // over, or once the journal said every file is in place, N+1.
            const bool newer = stopAt >= kChangesBeforeDone;
            if (next == Next::Recovery) {
                ASSERT_TRUE(halvex::RecoverInterruptedUpdate(Top()));
            }
            if (next == Next::Launcher) {
                ASSERT_EQ(Launch(), newer ? "N+1\n" : "N\n");
            }
            if (next != Next::SecondTry) {
                ASSERT_EQ(Snapshot(Top()), newer ? New() : m_old);
            }
            // The Updater's next run settles it on its own and installs.
            ASSERT_TRUE(halvex::InstallUnpackedUpdate(Unpacked(), Top(), {}, {}));
            ASSERT_EQ(Snapshot(Top()), New());
        }
        EXPECT_EQ(points, kChangesBeforeDone + 1);
    }
}

TEST_F(AllOrNothingTest, StoppedAtEveryPointTheDriveIsOneVersionAndASecondTrySucceeds)
{
    StopEverywhere();
}

// Flash drives carry FAT file systems: no permission bits, 2 s times, their
// own rename rules.
TEST_F(AllOrNothingTest, StoppedAtEveryPointOnFatVolumesToo)
{
    for (const halvex::test::FatKind kind : {halvex::test::FatKind::ExFat, halvex::test::FatKind::Fat32}) {
        SCOPED_TRACE(halvex::test::FatKindName(kind));
        halvex::test::FatVolume volume(kind);
        if (!volume.mounted()) {
            std::printf("%s skipped: %s\n", halvex::test::FatKindName(kind), volume.skipReason().c_str());
            continue;
        }
        m_volume = volume.path();
        StopEverywhere();
        m_volume.clear();
        if (HasFatalFailure())
            return;
    }
}

TEST_F(AllOrNothingTest, AFileThatCannotBeReplacedPutsEveryOldFileBack)
{
    // An immutable file can be neither renamed nor replaced, even by root.
    const fs::path locked = Top() / kLinux / "lib/libcore.so";
    if (halvex::test::RunShell("chattr +i '" + locked.string() + "' 2>/dev/null").status != 0)
        GTEST_SKIP() << "no immutable files here";
    const halvex::Status installed = halvex::InstallUnpackedUpdate(Unpacked(), Top(), {}, {});
    halvex::IgnoreResult(halvex::test::RunShell("chattr -i '" + locked.string() + "'"),
                         "it was set by this test, so it clears; the folder's removal would show otherwise");
    EXPECT_FALSE(installed);
    EXPECT_EQ(Snapshot(Top()), m_old);
    EXPECT_EQ(installed.detail.rfind(locked.string() + ": ", 0), 0u) << installed.detail;

    EXPECT_TRUE(halvex::InstallUnpackedUpdate(Unpacked(), Top(), {}, {}));
    EXPECT_EQ(Snapshot(Top()), New());
}

// One flush of the drive with every new file staged and no target swapped,
// one with every target swapped before the journal says done, none a file;
// a flush that fails at either point puts every old file back.
TEST_F(AllOrNothingTest, FlushedOnceBeforeTheSwapsAndOnceBeforeDone)
{
    std::vector<std::map<std::string, std::string>> atFlush;
    halvex::InstallCallbacks callbacks;
    callbacks.flush = [&](int) {
        atFlush.push_back(Snapshot(Top()));
        return 0;
    };
    ASSERT_TRUE(halvex::InstallUnpackedUpdate(Unpacked(), Top(), {}, callbacks));
    ASSERT_EQ(atFlush.size(), 2u);
    const std::string staged = (kLinux / (std::string(halvex::kStagedPrefix) + "dravane")).string();
    EXPECT_EQ(atFlush[0][(kLinux / "dravane").string()], m_old[(kLinux / "dravane").string()]);
    EXPECT_EQ(atFlush[0][staged], "#!/bin/sh\necho N+1\n");
    for (const auto& [file, text] : New())
        EXPECT_EQ(atFlush[1][file], text) << file;

    for (const int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        SetUp();
        int flushes = 0;
        callbacks.flush = [&](int) { return ++flushes == failing ? EIO : 0; };
        const halvex::Status installed = halvex::InstallUnpackedUpdate(Unpacked(), Top(), {}, callbacks);
        EXPECT_FALSE(installed);
        EXPECT_EQ(installed.systemError, EIO);
        EXPECT_EQ(Snapshot(Top()), m_old);
    }
}

TEST(UpdateJournal, OnlyAWellFormedJournalNamesFilesToTouch)
{
    halvex::UpdateJournal journal;
    journal.pid = 42;
    journal.state = halvex::JournalState::Replacing;
    journal.entries = {{"app/Linux/dravane", true}, {"app/new file.txt", false}};
    const auto parsed = halvex::ParseJournal(halvex::JournalText(journal));
    ASSERT_TRUE(parsed) << parsed.detail();
    const halvex::UpdateJournal& read = parsed.value();
    EXPECT_EQ(read.pid, 42);
    EXPECT_EQ(read.state, halvex::JournalState::Replacing);
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.entries[1].relative, "app/new file.txt");
    EXPECT_FALSE(read.entries[1].existed);

    const std::string head = "halvex-update 1\npid 7\nstate done\n";
    for (const std::string& bad :
         std::vector<std::string>{head + "E ../outside\n", head + "E /etc/passwd\n", head + "A a/./b\n",
                                  head + "A a//b\n", head + "E a\x01b\n", head + "E " + std::string(250, 'x') + "\n",
                                  head + "X a\n", head.substr(0, head.size() - 1),
                                  "halvex-update 2\npid 7\nstate done\n", std::string("halvex-update 1\nstate done\n"),
                                  head + "state staging\n", std::string("halvex-update 1\npid -1\nstate done\n")}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(halvex::ParseJournal(bad).messageKey(), "update_fail");
    }
}

TEST(ArchiveModes, OnlyUnixEntriesWithBits)
{
    TempFolder folder;
    WriteFile(folder / "f", "x");
    const std::string f = (folder / "f").string();
    ASSERT_TRUE(MakeZip(folder / "p.zip", {"a/run=" + f + ":755", "a/doc=" + f + ":644", "a/dos=" + f}));
    const auto modes = halvex::ReadArchiveModes(folder / "p.zip");
    EXPECT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes.at("a/run"), 0755u);
    EXPECT_EQ(modes.at("a/doc"), 0644u);
    EXPECT_TRUE(halvex::ReadArchiveModes(folder / "missing.zip").empty());
}

TEST(FileNeedsUpdate, SizeAndTimeDecide)
{
    TempFolder folder;
    WriteFile(folder / "a", "1234");
    WriteFile(folder / "b", "abcd");
    SameTime(folder / "a", folder / "b");
    EXPECT_FALSE(halvex::FileNeedsUpdate(folder / "a", folder / "b"));  // same size and time, content aside
    WriteFile(folder / "c", "12345");
    SameTime(folder / "a", folder / "c");
    EXPECT_TRUE(halvex::FileNeedsUpdate(folder / "a", folder / "c"));
    fs::last_write_time(folder / "b", fs::last_write_time(folder / "a") - std::chrono::seconds(5));
    EXPECT_TRUE(halvex::FileNeedsUpdate(folder / "a", folder / "b"));
    EXPECT_TRUE(halvex::FileNeedsUpdate(folder / "a", folder / "missing"));
}

TEST(UpdatePercent, Table)
{
    struct Case {
        long long value, minimum, maximum;
        const char* text;
    } cases[] = {
        {0, 0, 10, "0%"},  {5, 0, 10, "50%"}, {10, 0, 10, "100%"}, {15, 0, 10, "50%"}, {3, 5, 10, "0%"},
        {7, 5, 10, "40%"}, {1, 0, 0, "100%"}, {2, 0, 0, "0%"},     {3, 0, -4, "0%"},   {1, 0, 3, "33%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(halvex::UpdatePercentText(c.value, c.minimum, c.maximum), c.text);
    }
}

}  // namespace
