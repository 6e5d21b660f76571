#include "plist/AtomicFileWrite.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "PlistTestSupport.h"

namespace fs = std::filesystem;

namespace {

using AtomicFileWriteTest = halvex::test::TempFolderTest;

int EntryCount(const fs::path& folder)
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

}  // namespace

// RLIMIT_FSIZE makes the kernel refuse a write past a size: the failure of a
// full drive, in a child so the limit stays there. The reason reported is the
// write's own, not that of a cleanup step after it.
TEST_F(AtomicFileWriteTest, AFailedWriteNamesTheFileAndTheReasonAndKeepsTheOldFile)
{
    const fs::path target = Path("prefs.plist");
    WriteFile(target, "old");
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        const halvex::Status written = halvex::WriteFileAtomic(target, std::string(4096, 'x'));
        const bool expected = !written && written.messageKey == "file_save_err" &&
                              written.detail == target.string() + ": " + std::strerror(EFBIG);
        _exit(expected ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "expected file_save_err with the file and EFBIG";
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(EntryCount(m_folder), 1) << "a temporary file was left";
}

TEST_F(AtomicFileWriteTest, AFolderInTheWayIsRefusedWithItsName)
{
    fs::create_directory(Path("prefs.plist"));
    const halvex::Status written = halvex::WriteFileAtomic(Path("prefs.plist"), "<plist/>");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.messageKey, "file_save_err");
    EXPECT_EQ(written.detail, Path("prefs.plist").string() + ": not a regular file");
}
