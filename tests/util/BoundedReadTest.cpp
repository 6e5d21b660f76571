#include "util/BoundedRead.h"

#include <sys/stat.h>

#include "TestFolder.h"

using halvex::ReadBoundedFile;

using BoundedReadTest = TestFolder;

TEST_F(BoundedReadTest, ReadsUpToTheLimitAndRefusesMore)
{
    WriteFile(Root() / "f", "12345");
    std::string text = "old";
    ASSERT_TRUE(ReadBoundedFile(Root() / "f", 5, text));
    EXPECT_EQ(text, "12345");
    EXPECT_FALSE(ReadBoundedFile(Root() / "f", 4, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(ReadBoundedFile(Root() / "missing", 4, text));
    EXPECT_FALSE(ReadBoundedFile(Root(), 4, text));
}

TEST_F(BoundedReadTest, FifoDoesNotHang)
{
    ASSERT_EQ(::mkfifo((Root() / "fifo").c_str(), 0600), 0);
    std::string text;
    EXPECT_TRUE(ReadBoundedFile(Root() / "fifo", 4, text));  // no writer: empty
    EXPECT_EQ(text, "");
}
