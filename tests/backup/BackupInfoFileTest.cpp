#include "backup/BackupInfoFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "BackupTestSupport.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"

using namespace halvex;
using namespace halvex::test;

namespace {

// Files this process writes cannot grow past `bytes` while it lives: writes
// beyond fail with EFBIG, as on a full drive. Root ignores permissions, not this.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_signal);
    }

private:
    rlimit m_saved{};
    void (*m_signal)(int);
};

}  // namespace

TEST(BackupInfoFile, FailedWriteKeepsTheOldFileAndIsReported)
{
    TempFolder folder;
    const auto set = folder / "drive" / "Backup" / "Set";
    WriteFile(set / kInfoFileName, "/old/");
    WriteFile(folder / "source" / "a.txt", "a");
    RecordingCallback callback;
    {
        const FileSizeLimit limit(5);
        EXPECT_EQ(WriteInfoFile(set, "/home/someone/a/longer/folder/").systemError, EFBIG);
        KWBackupManager engine(callback);
        engine.AddFilter("*", "all");
        engine.Backup(folder / "source", folder / "drive" / "Backup", "Set");
    }
    EXPECT_EQ(ReadFile(set / kInfoFileName), "/old/");
    // Neither a temporary nor a numbered name was left behind.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(set))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Current Backup", "info.ini"}));
    const std::string reported = BackupStrings::BuiltIn().Message(backup_message::kInfoUnwritable);
    ASSERT_FALSE(callback.errors.empty());
    EXPECT_EQ(callback.errors.front().substr(0, reported.size()), reported);
    EXPECT_NE(callback.errors.front().find(std::strerror(EFBIG)), std::string::npos) << callback.errors.front();

    ASSERT_TRUE(WriteInfoFile(set, "/home/someone/"));
    EXPECT_EQ(ReadFile(set / kInfoFileName), "/home/someone/");
}

// The set on the drive may hold a link named info.ini: it is replaced, and
// the file it names on the computer stays as it was.
TEST(BackupInfoFile, LinkIsReplacedNotWrittenThrough)
{
    TempFolder folder;
    const auto set = folder / "Set";
    WriteFile(folder / "computer.txt", "mine");
    std::filesystem::create_directories(set);
    std::filesystem::create_symlink(folder / "computer.txt", set / kInfoFileName);
    ASSERT_TRUE(WriteInfoFile(set, "/home/someone/"));
    EXPECT_EQ(ReadFile(folder / "computer.txt"), "mine");
    EXPECT_FALSE(std::filesystem::is_symlink(set / kInfoFileName));
    EXPECT_EQ(ReadFile(set / kInfoFileName), "/home/someone/");
}
