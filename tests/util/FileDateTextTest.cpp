#include "util/FileDateText.h"

#include <sys/time.h>

#include <cstdlib>
#include <optional>

#include "TestFolder.h"

using halvex::FileDateText;
using halvex::FormatFileDate;
using halvex::TimeFormatWithoutSeconds;

TEST(TimeFormatWithoutSeconds, DropsTheSecondsAndWhatBelongsToThem)
{
    const struct {
        const char* format;
        const char* without;
    } cases[] = {
        {"%H:%M:%S", "%H:%M"},
        {"%I:%M:%S %p", "%I:%M %p"},
        {"%r", "%I:%M %p"},
        {"%T", "%H:%M"},
        {"%H.%M.%S", "%H.%M"},
        {"%H\xE6\x99\x82%M\xE5\x88\x86%S\xE7\xA7\x92", "%H\xE6\x99\x82%M\xE5\x88\x86"},
        {"%p %I:%M:%S", "%p %I:%M"},
        {"%H:%M", "%H:%M"},
        {"%%S %H:%M", "%%S %H:%M"},
        {"", ""},
        {"%", "%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(TimeFormatWithoutSeconds(c.format), c.without);
    }
}

class FileDateTextTest : public TestFolder {
protected:
    void SetUp() override
    {
        TestFolder::SetUp();
        ::tzset();
    }
    void TearDown() override
    {
        m_tz.reset();
        ::tzset();
        TestFolder::TearDown();
    }

private:
    std::optional<ScopedEnvironment> m_tz{std::in_place, "TZ", "UTC"};
};

TEST_F(FileDateTextTest, DateAndTimeInTheGivenFormats)
{
    // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(FormatFileDate(1700000000, "%m/%d/%y", "%H:%M"), "11/14/23 22:13");
    EXPECT_EQ(FormatFileDate(1700000000, "%d.%m.%Y", TimeFormatWithoutSeconds("%r")), "14.11.2023 10:13 PM");
}

TEST_F(FileDateTextTest, LastWriteTimeInTheUserFormatsWithoutSeconds)
{
    // The test program keeps the C locale: "%m/%d/%y" and "%H:%M:%S".
    const auto file = Root() / "file";
    WriteFile(file, "x");
    const timeval times[2] = {{1700000000, 0}, {1700000039, 0}};
    ASSERT_EQ(::utimes(file.c_str(), times), 0);
    EXPECT_EQ(FileDateText(file), "11/14/23 22:13");
    EXPECT_EQ(FileDateText(Root() / "missing"), "");
}
