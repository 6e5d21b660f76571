#include "util/BoundedRead.h"

#include <sys/stat.h>

#include "TestFolder.h"

using halvex::ReadBoundedFile;

using BoundedReadTest = TestFolder;

TEST_F(BoundedReadTest, ReadsUpToTheLimitAndRefusesMoreWithTheReason)
{
    WriteFile(Root() / "f", "12345");
    const auto whole = ReadBoundedFile(Root() / "f", 5);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole.value(), "12345");

    const auto tooLarge = ReadBoundedFile(Root() / "f", 4);
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.messageKey(), "file_read_err");
    EXPECT_EQ(tooLarge.detail(), (Root() / "f").string() + ": larger than 4 bytes");

    const auto missing = ReadBoundedFile(Root() / "missing", 4);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.detail(), (Root() / "missing").string() + ": No such file or directory");
    EXPECT_FALSE(ReadBoundedFile(Root(), 4));  // a folder opens but does not read
}

TEST_F(BoundedReadTest, FifoDoesNotHang)
{
    ASSERT_EQ(::mkfifo((Root() / "fifo").c_str(), 0600), 0);
    const auto text = ReadBoundedFile(Root() / "fifo", 4);  // no writer: empty
    ASSERT_TRUE(text);
    EXPECT_EQ(text.value(), "");
}
