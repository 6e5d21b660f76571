#include "strings/StringTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cerrno>
#include <fstream>
#include <optional>
#include <string>

#include "TestFiles.h"

namespace fs = std::filesystem;
using halvex::ParseStringTableLine;
using halvex::StringTable;

namespace {

struct LineCase {
    const char* line;
    std::optional<std::pair<std::string, std::string>> entry;  // nothing: not an entry
};

const LineCase kLineCases[] = {
    {R"("name" = "Name";)", {{"name", "Name"}}},
    {" \t\"name\" = \"Name\";\t  ", {{"name", "Name"}}},
    {"\"name\" = \"Name\";\r", {{"name", "Name"}}},  // Windows line end
    {R"("" = "";)", {{"", ""}}},
    {R"("k" = "";)", {{"k", ""}}},
    // The first separator ends the key; the value keeps the rest, quotes and all.
    {R"("k" = "a" = "b";)", {{"k", "a\" = \"b"}}},
    {R"("k" = "say "hi"";)", {{"k", "say \"hi\""}}},
    // No escape is decoded while reading.
    {R"("k" = "a\"b\tc\\d\n";)", {{"k", R"(a\"b\tc\\d\n)"}}},
    {R"("k" = "100%% of %s";)", {{"k", "100%% of %s"}}},
    // Not entries.
    {R"("name";)", std::nullopt},
    {R"("name" "Name";)", std::nullopt},
    {R"("name"="Name";)", std::nullopt},
    {R"("name" = "Name")", std::nullopt},
    {R"("name" = "Name"; // note)", std::nullopt},
    {R"(name" = "Name";)", std::nullopt},
    {R"(/* "name" = "Name"; */)", std::nullopt},
    {R"(// "name" = "Name";)", std::nullopt},
    {R"("name" = ";)", std::nullopt},
    {R"(";)", std::nullopt},
    {R"(")", std::nullopt},
    {"", std::nullopt},
    {"   \t ", std::nullopt},
    {"\xEF\xBB\xBF\"name\" = \"Name\";", std::nullopt},  // a byte-order mark spoils the line
};

class StringTableLine : public testing::TestWithParam<LineCase> {};

}  // namespace

TEST_P(StringTableLine, ReadsEntriesByTheFirstSeparator)
{
    const auto& c = GetParam();
    const auto entry = ParseStringTableLine(c.line);
    ASSERT_EQ(entry.has_value(), c.entry.has_value()) << c.line;
    if (entry) {
        EXPECT_EQ(entry->key, c.entry->first) << c.line;
        EXPECT_EQ(entry->value, c.entry->second) << c.line;
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, StringTableLine, testing::ValuesIn(kLineCases));

TEST(StringTableLookup, TurnsBackslashNIntoLineBreaksOnly)
{
    StringTable table;
    ASSERT_TRUE(
        table.LoadText("\"two\" = \"first\\nsecond\";\n"
                       "\"edge\" = \"\\n\\\\n\\\";\n"
                       "\"tab\" = \"a\\tb\";\n"));
    EXPECT_EQ(table.Get("two"), "first\nsecond");
    // A backslash before the pair stays, and a trailing backslash is kept.
    EXPECT_EQ(table.Get("edge"), "\n\\\n\\");
    EXPECT_EQ(table.Get("tab"), "a\\tb");
    EXPECT_EQ(table.Entries().at("two"), "first\\nsecond");  // stored raw
}

TEST(StringTableLookup, MissingKeyIsEmptyText)
{
    StringTable table;
    EXPECT_EQ(table.Get("name"), "");
    ASSERT_TRUE(table.LoadText("\"name\" = \"Name\";"));
    EXPECT_EQ(table.Get("Name"), "");  // keys are case-sensitive
    EXPECT_EQ(table.Get(""), "");
    EXPECT_FALSE(table.Contains("size"));
}

TEST(StringTableLoad, LaterDuplicateReplacesEarlierAndLoadStartsEmpty)
{
    StringTable table;
    ASSERT_TRUE(table.LoadText("\"old\" = \"x\";\n\"k\" = \"one\";\n\"k\" = \"two\";\n"));
    EXPECT_EQ(table.Get("k"), "two");
    ASSERT_TRUE(table.LoadText("\"k\" = \"three\";"));
    EXPECT_EQ(table.Get("k"), "three");
    EXPECT_FALSE(table.Contains("old"));
    EXPECT_EQ(table.Size(), 1u);
}

TEST(StringTableLoad, TableWithoutEntriesIsAFailure)
{
    StringTable table;
    EXPECT_FALSE(table.LoadText(""));
    EXPECT_FALSE(table.LoadText("/* only a comment */\n\n\"split\" =\n\"value\";\n"));
    EXPECT_EQ(table.Size(), 0u);
}

class StringTableFile : public testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& content)
    {
        auto path = m_dir / name;
        halvex::test::WriteFile(path, content);
        return path;
    }

    halvex::test::TempFolder m_temp{"strings"};
    fs::path m_dir = m_temp.path();
};

TEST_F(StringTableFile, ByteOrderMarkSpoilsOnlyTheFirstLine)
{
    StringTable table;
    ASSERT_TRUE(table.Load(Write("bom.strings", "\xEF\xBB\xBF\"first\" = \"1\";\r\n\"second\" = \"2\";\r\n")));
    EXPECT_FALSE(table.Contains("first"));
    EXPECT_EQ(table.Get("second"), "2");
}

TEST_F(StringTableFile, LongJapaneseLineIsReadWhole)
{
    // 60 characters of three bytes each: well past any 128-byte line buffer.
    std::string value;
    for (int i = 0; i < 20; ++i)
        value += "\xE5\x90\x8C\xE6\x9C\x9F\xE4\xB8\xAD";  // 同期中
    ASSERT_GT(value.size(), 128u);
    const std::string longKey(5000, 'k');
    StringTable table;
    ASSERT_TRUE(table.Load(Write("ja.strings", "\"sync_wait_msg\" = \"" + value + "\";\n\"" + longKey + "\" = \"" +
                                                   value + "\";\n\"after\" = \"ok\";\n")));
    EXPECT_EQ(table.Get("sync_wait_msg"), value);
    EXPECT_EQ(table.Get(longKey), value);
    EXPECT_EQ(table.Get("after"), "ok");
}

TEST_F(StringTableFile, LastLineWithoutLineBreakIsRead)
{
    StringTable table;
    ASSERT_TRUE(table.Load(Write("t.strings", "\"a\" = \"1\";\n\"b\" = \"2\";")));
    EXPECT_EQ(table.Get("b"), "2");
}

TEST_F(StringTableFile, MissingOrOversizedFileIsRefusedAndLeavesTheTableEmpty)
{
    StringTable table;
    ASSERT_TRUE(table.LoadText("\"k\" = \"v\";"));
    const halvex::Status absent = table.Load(m_dir / "absent.strings");
    EXPECT_EQ(absent.systemError, ENOENT);
    EXPECT_NE(absent.detail.find("absent.strings"), std::string::npos) << absent.detail;
    EXPECT_EQ(table.Size(), 0u);

    ASSERT_TRUE(table.LoadText("\"k\" = \"v\";"));
    EXPECT_FALSE(table.Load(m_dir));  // a folder is no table
    EXPECT_EQ(table.Size(), 0u);

    const auto big = m_dir / "big.strings";
    {
        std::ofstream out(big, std::ios::binary);
        out << "\"k\" = \"v\";\n";
        out << std::string(StringTable::kMaxFileSize, '#');
    }
    EXPECT_FALSE(table.Load(big));
    EXPECT_EQ(table.Size(), 0u);
}
