#include "util/WriteAll.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "FileSizeLimit.h"
#include "TestFiles.h"

namespace {

// Callers that write a line and then its end rely on the count of a write
// that failed partway: the log ends a half-written line before the next one.
TEST(WriteAll, AFailurePartwaySaysHowMuchWentOut)
{
    halvex::test::TempFolder folder;
    const std::filesystem::path file = folder / "out";
    const std::string data(3000, 'x');
    EXPECT_TRUE(halvex::test::HoldsWithFileSizeLimit(1000, [&] {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::size_t written = 0;
        const int error = halvex::WriteAll(fd, data.data(), data.size(), &written);
        ::close(fd);
        return error == EFBIG && written == 1000;
    })) << "expected EFBIG after 1000 bytes";

    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    std::size_t written = 0;
    EXPECT_EQ(halvex::WriteAll(fd, data.data(), data.size(), &written), 0);
    EXPECT_EQ(written, data.size());
    ::close(fd);
    EXPECT_EQ(halvex::test::ReadFile(file), data);
    EXPECT_EQ(halvex::WriteAll(fd, "x", 1), EBADF);
}

}  // namespace
