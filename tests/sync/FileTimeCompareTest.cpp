#include "sync/FileTimeCompare.h"

#include <gtest/gtest.h>

#include <limits>

#include "SyncTestSupport.h"

using halvex::CompareTimes;

namespace {

struct TimeCase {
    const char* what;
    bool sourceKnown;
    std::int64_t source;
    bool targetKnown;
    std::int64_t target;
    int expected;
};

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

const TimeCase kTimeCases[] = {
    {"equal", true, 1000, true, 1000, 0},
    {"source 1 s later", true, 1001, true, 1000, 0},
    {"source 2 s later is within the tolerance", true, 1002, true, 1000, 0},
    {"source 3 s later", true, 1003, true, 1000, 1},
    {"target 2 s later", true, 1000, true, 1002, 0},
    {"target 3 s later", true, 1000, true, 1003, -1},
    {"only the source readable", true, 5, false, 0, 1},
    {"only the target readable", false, 0, true, 5, -1},
    {"neither readable", false, 0, false, 0, 0},
    {"before the epoch", true, -10, true, -20, 1},
    {"extremes do not overflow", true, kMax, true, kMin, 1},
    {"extremes do not overflow the other way", true, kMin, true, kMax, -1},
};

}  // namespace

TEST(FileTimeCompare, TableOfTimes)
{
    for (const TimeCase& c : kTimeCases)
        EXPECT_EQ(CompareTimes(c.sourceKnown, c.source, c.targetKnown, c.target), c.expected) << c.what;
}

TEST(FileTimeCompare, FilesAreComparedAtWholeSeconds)
{
    synctest::TempFolder dir;
    synctest::WriteFile(dir / "a", "x", 0);
    synctest::WriteFile(dir / "b", "x", 0);
    // 2.9 s apart in nanoseconds but 2 s apart in whole seconds: the same.
    synctest::SetTime(dir / "a", 1000);
    synctest::SetTime(dir / "b", 1002, 900'000'000);
    EXPECT_EQ(halvex::CompareFileTimes(dir / "a", dir / "b"), 0);
    EXPECT_EQ(halvex::CompareFileTimes(dir / "a", dir / "missing"), 1);
    EXPECT_EQ(halvex::CompareFileTimes(dir / "missing", dir / "b"), -1);
}

TEST(TimeZoneShift, WholeQuarterHoursUpToFourteenHoursWithinTheTolerance)
{
    const struct {
        std::int64_t apart;
        bool shift;
    } cases[] = {
        {0, false},
        {3, false},
        {15L * 60, true},
        {15 * 60 + 2, true},
        {15 * 60 - 2, true},
        {15 * 60 + 3, false},
        {30L * 60, true},
        {45 * 60 - 1, true},
        {3600, true},
        {3600 + 60, false},
        {5 * 3600 + 1800, true},
        {13L * 3600, true},
        {14 * 3600 + 2, true},
        {14 * 3600 + 900, false},
        {24L * 3600, false},
        {7L * 60, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(halvex::IsTimeZoneShift(1'700'000'000 + c.apart, 1'700'000'000), c.shift) << c.apart;
        EXPECT_EQ(halvex::IsTimeZoneShift(1'700'000'000, 1'700'000'000 + c.apart), c.shift) << -c.apart;
    }
    EXPECT_FALSE(halvex::IsTimeZoneShift(kMax, kMin)) << "extremes do not overflow";
}
