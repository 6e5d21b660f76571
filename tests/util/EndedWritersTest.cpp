#include "util/EndedWriters.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

TEST(WriterPid, ReadsOnlyTheExactShape)
{
    struct Case {
        const char* text;
        int groups;
        pid_t expected;
    };
    const Case cases[] = {
        {"4242-7", 2, 4242},     {"4242-7-123456", 3, 4242}, {"4242-7", 3, 0},  // a group short
        {"4242-7-1", 2, 0},                                                     // a group too many
        {"4242--1", 3, 0},                                                      // an empty group
        {"4242-", 2, 0},         {"-4242-7", 2, 0},                             // no sign
        {"0-7", 2, 0},                                                          // no process 0
        {"99999999999-7", 2, 0},                                                // past any process id
        {"42x-7", 2, 0},         {"4242-7x", 2, 0},          {"", 2, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(halvex::WriterPid(c.text, c.groups), c.expected) << c.text;
}

// Process 1 runs as long as the system does; this process is never ended.
TEST(WriterEnded, OnlyProcessesThatAreGone)
{
    EXPECT_FALSE(halvex::WriterEnded(::getpid()));
    EXPECT_FALSE(halvex::WriterEnded(1));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(halvex::WriterEnded(child));
}

}  // namespace
