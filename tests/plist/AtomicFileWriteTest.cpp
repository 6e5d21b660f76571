#include "plist/AtomicFileWrite.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "FileSizeLimit.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

using halvex::test::ReadFile;
using halvex::test::WriteFile;

class AtomicFileWriteTest : public ::testing::Test {
protected:
    halvex::test::TempFolder m_folder{"plist"};
};

int EntryCount(const fs::path& folder)
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

}  // namespace

// A write refused in the middle of the file, as on a full drive. The reason
// reported is the write's own, not that of a cleanup step after it.
TEST_F(AtomicFileWriteTest, AFailedWriteNamesTheFileAndTheReasonAndKeepsTheOldFile)
{
    const fs::path target = m_folder / "prefs.plist";
    WriteFile(target, "old");
    EXPECT_TRUE(halvex::test::HoldsWithFileSizeLimit(16, [&] {
        const halvex::Status written = halvex::WriteFileAtomic(target, std::string(4096, 'x'));
        return !written && written.messageKey == "file_save_err" &&
               written.detail == target.string() + ": " + std::strerror(EFBIG);
    })) << "expected file_save_err with the file and EFBIG";
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(EntryCount(m_folder.path()), 1) << "a temporary file was left";
}

TEST_F(AtomicFileWriteTest, AFolderInTheWayIsRefusedWithItsName)
{
    fs::create_directory(m_folder / "prefs.plist");
    const halvex::Status written = halvex::WriteFileAtomic(m_folder / "prefs.plist", "<plist/>");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.messageKey, "file_save_err");
    EXPECT_EQ(written.detail, (m_folder / "prefs.plist").string() + ": not a regular file");
}
