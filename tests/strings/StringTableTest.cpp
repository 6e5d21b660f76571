#include "strings/StringTable.h"

#include <gtest/gtest.h>

using halvex::ParseStringTableLine;

TEST(StringTableLine, ReadsAPlainEntry)
{
    const auto entry = ParseStringTableLine("\"name\" = \"Name\";");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->key, "name");
    EXPECT_EQ(entry->value, "Name");
}
