#include <gtest/gtest.h>

#include <algorithm>

#include "ResourceFiles.h"
#include "strings/FormatText.h"
#include "strings/StringTable.h"

using namespace halvex::test;

// The suite's own loader must see every table exactly as the line rules say:
// the same keys and the same raw values as the independent reader of these tests.
TEST(StringTablesWithTheSuitesLoader, ReadTheSameEntries)
{
    for (const auto& folder : kLanguageFolders) {
        SCOPED_TRACE(folder);
        const auto path = LanguageDir(folder) / "Localizable.strings";
        const auto text = ReadWholeFile(path);
        ASSERT_TRUE(text.has_value());
        halvex::StringTable table;
        ASSERT_TRUE(table.Load(path));
        const StringTable expected = ParseStringTable(*text);
        ASSERT_EQ(table.Size(), expected.entries.size());
        for (const auto& [key, entry] : expected.entries) {
            ASSERT_TRUE(table.Contains(key)) << key;
            EXPECT_EQ(table.Entries().find(key)->second, entry.value) << key;
        }
    }
}

// Each text filled the way the code fills it (the English placeholders give
// the kinds of the arguments) leaves no directive unfilled: a placeholder the
// formatter does not take would show up raw in a window.
TEST(StringTablesWithTheSuitesLoader, EveryTextFillsCompletely)
{
    if (halvex::FormatText("%d", 1) != "1")
        GTEST_SKIP() << "the formatter does not fill placeholders yet";
    const auto englishText = ReadWholeFile(LanguageDir("English") / "Localizable.strings");
    ASSERT_TRUE(englishText.has_value());
    const StringTable english = ParseStringTable(*englishText);
    for (const auto& folder : kLanguageFolders) {
        SCOPED_TRACE(folder);
        halvex::StringTable table;
        ASSERT_TRUE(table.Load(LanguageDir(folder) / "Localizable.strings"));
        for (const auto& [key, entry] : english.entries) {
            std::vector<halvex::FormatArg> args;
            for (const auto& placeholder : Placeholders(entry.value)) {
                switch (placeholder.back()) {
                case 's': args.emplace_back("text"); break;
                case 'c': args.emplace_back('X'); break;
                case '%': break;
                default: args.emplace_back(7); break;
                }
            }
            const std::string value = table.Get(key);
            const std::string filled = halvex::FormatTextArgs(value, args);
            const auto percents = std::count(filled.begin(), filled.end(), '%');
            const auto directives = Placeholders(value);
            const auto literal = std::count(directives.begin(), directives.end(), "%%");
            EXPECT_EQ(percents, literal) << key << " -> " << filled;
        }
    }
}
