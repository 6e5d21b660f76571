#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "ResourceFiles.h"

using namespace halvex::test;

namespace {

struct LoadedTable {
    std::string folder;
    std::string text;
    StringTable table;
};

// Every language folder of the table that exists; a missing one is reported by
// its own test so that one gap does not hide the others.
const std::vector<LoadedTable>& Tables()
{
    static const std::vector<LoadedTable> tables = [] {
        std::vector<LoadedTable> loaded;
        for (const auto& folder : kLanguageFolders) {
            if (auto text = ReadWholeFile(LanguageDir(folder) / "Localizable.strings"))
                loaded.push_back({folder, *text, ParseStringTable(*text)});
        }
        return loaded;
    }();
    return tables;
}

const LoadedTable* Find(const std::string& folder)
{
    for (const auto& table : Tables())
        if (table.folder == folder)
            return &table;
    return nullptr;
}

}  // namespace

TEST(StringTableParser, FollowsTheLoadersLineRules)
{
    const std::string text =
        "/* comment */\n"
        "  \t\"padded\" = \"kept\";\t \n"
        "\"inner\" = \"a \" = \" b\";\n"
        "\"no_separator\"=\"x\";\n"
        "\"unfinished\" = \"x\n"
        "stray text\n"
        "\"twice\" = \"1\";\n"
        "\"twice\" = \"2\";\n"
        "\"bad_escape\" = \"a\\qb\";\n";
    const StringTable table = ParseStringTable(text);
    EXPECT_EQ(table.entries.at("padded").value, "kept");
    // The first separator splits: the rest, quotes and all, is the value.
    EXPECT_EQ(table.entries.at("inner").value, "a \" = \" b");
    EXPECT_EQ(table.entries.count("no_separator"), 0u);
    EXPECT_EQ(table.entries.count("unfinished"), 0u);
    EXPECT_EQ(table.entries.at("twice").value, "2");
    // no_separator, unfinished, stray text, twice, the inner quote, bad_escape
    EXPECT_EQ(table.problems.size(), 6u);
}

TEST(StringTableParser, ByteOrderMarkSpoilsTheFirstLine)
{
    const StringTable table = ParseStringTable("\xEF\xBB\xBF\"first\" = \"x\";\n\"second\" = \"y\";\n");
    EXPECT_EQ(table.entries.count("first"), 0u);
    EXPECT_EQ(table.entries.count("second"), 1u);
    EXPECT_FALSE(table.problems.empty());
}

TEST(StringTableParser, PlaceholdersInOrderAndUnknownOnesMarked)
{
    EXPECT_EQ(Placeholders("%s of %d, %02d:%ld %c 100%%"),
              (std::vector<std::string>{"%s", "%d", "%02d", "%ld", "%c", "%%"}));
    EXPECT_EQ(Placeholders("%.1f MB"), (std::vector<std::string>{"?%.1f"}));
    EXPECT_EQ(Placeholders("ends with %"), (std::vector<std::string>{"?%"}));
}

TEST(StringTablesOnDisk, EnglishIsPresentAndNotEmpty)
{
    const LoadedTable* english = Find("English");
    ASSERT_NE(english, nullptr) << LanguageDir("English");
    EXPECT_GT(english->table.entries.size(), 50u);
}

TEST(StringTablesOnDisk, UtfEightWithoutByteOrderMark)
{
    for (const auto& table : Tables()) {
        EXPECT_FALSE(table.text.starts_with("\xEF\xBB\xBF")) << table.folder << " starts with a byte-order mark";
        const auto bad = FirstInvalidUtf8(table.text);
        EXPECT_FALSE(bad.has_value()) << table.folder << ": invalid UTF-8 at byte " << bad.value_or(0);
        EXPECT_EQ(table.text.find('\0'), std::string::npos) << table.folder;
    }
}

TEST(StringTablesOnDisk, EveryLineParses)
{
    for (const auto& table : Tables())
        for (const auto& problem : table.table.problems)
            ADD_FAILURE() << table.folder << " " << problem;
}

TEST(StringTablesOnDisk, EveryTableHasEveryKey)
{
    std::set<std::string> all;
    for (const auto& table : Tables())
        for (const auto& [key, entry] : table.table.entries)
            all.insert(key);
    for (const auto& table : Tables())
        for (const auto& key : all)
            EXPECT_EQ(table.table.entries.count(key), 1u) << table.folder << " lacks \"" << key << "\"";
}

TEST(StringTablesOnDisk, NoValueIsEmpty)
{
    for (const auto& table : Tables())
        for (const auto& [key, entry] : table.table.entries)
            EXPECT_FALSE(entry.value.empty()) << table.folder << " \"" << key << "\"";
}

TEST(StringTablesOnDisk, SentencesEndWithOneFullStop)
{
    for (const auto& table : Tables())
        for (const auto& [key, entry] : table.table.entries) {
            const std::string& text = entry.value;
            EXPECT_FALSE(text.ends_with("..") && !text.ends_with("...")) << table.folder << " \"" << key << "\"";
        }
}

TEST(StringTablesOnDisk, PlaceholdersAgreeWithEnglish)
{
    const LoadedTable* english = Find("English");
    ASSERT_NE(english, nullptr);
    for (const auto& [key, entry] : english->table.entries) {
        const auto expected = Placeholders(entry.value);
        for (const auto& placeholder : expected)
            EXPECT_NE(placeholder.front(), '?') << "English \"" << key << "\" has " << placeholder;
        for (const auto& table : Tables()) {
            const auto it = table.table.entries.find(key);
            if (it != table.table.entries.end()) {
                EXPECT_EQ(Placeholders(it->second.value), expected)
                    << table.folder << " \"" << key << "\" (line " << it->second.line << ")";
            }
        }
    }
}

// The sync folder on the drive is named by this text, in every language: it
// must be one plain file name on FAT, exFAT and the computer's file systems.
TEST(StringTablesOnDisk, SyncFolderNameIsAPlainFileName)
{
    for (const auto& table : Tables()) {
        const auto it = table.table.entries.find("sync_folder_usb");
        ASSERT_NE(it, table.table.entries.end()) << table.folder;
        const std::string& name = it->second.value;
        EXPECT_FALSE(name.empty()) << table.folder;
        EXPECT_EQ(name.find_first_of("/\\:*?\"<>|%"), std::string::npos) << table.folder << ": " << name;
        EXPECT_TRUE(std::none_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; })) << table.folder;
        EXPECT_NE(name.front(), ' ') << table.folder;
        EXPECT_NE(name.back(), ' ') << table.folder;
        EXPECT_NE(name.back(), '.') << table.folder;
        EXPECT_LE(name.size(), 200u) << table.folder;
    }
}

// The head of the English table lists every key with its use; the list must
// name exactly the keys of the table, or translators work from a stale list.
TEST(StringTablesOnDisk, EnglishKeyListMatchesItsEntries)
{
    const LoadedTable* english = Find("English");
    ASSERT_NE(english, nullptr);
    std::set<std::string> listed;
    std::istringstream in(english->text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with("/*   "))
            continue;
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            listed.insert(line.substr(5, colon - 5));
    }
    std::set<std::string> keys;
    for (const auto& [key, entry] : english->table.entries)
        keys.insert(key);
    EXPECT_EQ(listed, keys);
}

TEST(StringTablesOnDisk, EveryLanguageOfTheTableHasOne)
{
    for (const auto& folder : kLanguageFolders)
        EXPECT_NE(Find(folder), nullptr) << folder << ".lproj/Localizable.strings is missing";
}

// A table that is mostly English is a copy left behind, not a translation. The
// names and numbers that stay the same in every language are few.
TEST(StringTablesOnDisk, TranslationsAreNotEnglishCopies)
{
    const LoadedTable* english = Find("English");
    ASSERT_NE(english, nullptr);
    for (const auto& table : Tables()) {
        if (table.folder == "English")
            continue;
        size_t same = 0;
        for (const auto& [key, entry] : table.table.entries) {
            const auto it = english->table.entries.find(key);
            if (it != english->table.entries.end() && it->second.value == entry.value)
                ++same;
        }
        const size_t total = table.table.entries.size();
        // British English shares most words with the English table, but not all.
        const size_t limit = table.folder == "en_GB" ? total * 9 / 10 : total / 10;
        EXPECT_LE(same, limit) << table.folder << ": " << same << " of " << total << " values are the English ones";
    }
}
