#include "copy/CopyBuffer.h"

#include <gtest/gtest.h>

using namespace halvex;

TEST(CopyBuffer, SizeFollowsTheSlowerVolume)
{
    struct Case {
        VolumeSpeed source, destination;
        std::size_t expected;
    } cases[] = {
        {{false, 0}, {false, 0}, 262144},                   // nothing known
        {{true, 100000000}, {false, 0}, 262144},            // a server's speed is not trusted
        {{false, 4000000}, {false, 4000000}, 999936},       // a quarter, whole 512-byte blocks
        {{false, 4000000}, {false, 0}, 262144},             // unknown counts as 256 KiB
        {{false, 4000000}, {false, 2000000}, 499712},       // the smaller side wins
        {{false, 100000000}, {false, 100000000}, 2097152},  // at most 2 MiB
        {{false, 1000}, {false, 0}, 1024},                  // at least 1 KiB
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseCopyBufferSize(c.source, c.destination), c.expected)
            << c.source.bytesPerSecond << " / " << c.destination.bytesPerSecond;
}

TEST(CopyBuffer, CallersOwnSizeStaysWithinTheLimits)
{
    EXPECT_EQ(ClampCopyBufferSize(0), 262144u);
    EXPECT_EQ(ClampCopyBufferSize(1), 1024u);
    EXPECT_EQ(ClampCopyBufferSize(5000), 4608u);
    EXPECT_EQ(ClampCopyBufferSize(100u << 20), 2097152u);
}
