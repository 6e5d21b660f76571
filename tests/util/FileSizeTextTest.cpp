#include "util/FileSizeText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "TestFolder.h"

using halvex::FileSizeText;
using halvex::SizeText;

TEST(SizeText, RoundsUpInTheLargestUnitReached)
{
    constexpr std::uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 byte"},
        {1, "1 KB"},
        {1023, "1 KB"},
        {1024, "1 KB"},
        {1025, "2 KB"},
        {MiB - 1, "1024 KB"},
        {MiB, "1 MB"},
        {MiB + MiB / 2, "2 MB"},
        {GiB, "1 GB"},
        {GiB + 1, "2 GB"},
        {10 * GiB, "10 GB"},
        {TiB, "1 TB"},
        {TiB * 3 - 1, "3 TB"},
        // Beyond the table: still terabytes, never past the units.
        {TiB * 1024, "1024 TB"},
        {std::numeric_limits<std::uint64_t>::max(), "16777216 TB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(SizeText(c.bytes), c.text);
    }
}

using FileSizeTextTest = TestFolder;

TEST_F(FileSizeTextTest, ReadsTheSizeOfARealFile)
{
    const auto missing = FileSizeText(Root() / "missing");
    EXPECT_EQ(missing.messageKey(), "file_read_err");
    EXPECT_EQ(missing.systemError(), ENOENT);

    WriteFile(Root() / "empty", "");
    EXPECT_EQ(FileSizeText(Root() / "empty").ValueOr("failed"), "0 byte");

    // Sparse: a gibibyte without the disk space.
    const auto big = Root() / "big";
    const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 1073741824), 0);
    EXPECT_EQ(FileSizeText(big).ValueOr("failed"), "1 GB");
    ASSERT_EQ(::ftruncate(fd, 1073741825), 0);
    ::close(fd);
    EXPECT_EQ(FileSizeText(big).ValueOr("failed"), "2 GB");
}
