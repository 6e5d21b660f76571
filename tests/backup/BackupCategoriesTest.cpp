#include "backup/BackupCategories.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "backup/FileRecords.h"

using namespace halvex;

TEST(BackupCategories, CombinedListAndSplitting)
{
    std::array<std::string, 5> lists{"*", "doc:", "avi:", "mp3:", "jpg:"};
    std::vector<UserCategory> users{{"A", "x:y:", true}, {"B", "z:", false}};
    EXPECT_EQ(CombinedExtensionList({false, true, false, true, false}, lists, users), "doc:mp3:x:y:");
    EXPECT_EQ(CombinedExtensionList({true, true, false, false, false}, lists, users), "*");
    EXPECT_EQ(CombinedExtensionList({}, lists, {}), "");
    EXPECT_EQ(SplitExtensionList("doc::rtf:txt"), (std::vector<std::string>{"doc", "rtf", "txt"}));
    EXPECT_TRUE(SplitExtensionList(":::").empty());
}

TEST(BackupCategories, NameAndTypeRules)
{
    const std::vector<std::pair<std::string, bool>> names = {
        {"My files", true}, {"a:b", true},   {"a\"b", false}, {"a<b", false}, {"a>b", false},
        {"a|b", false},     {"a\\b", false}, {"a/b", false},  {"a*b", false}, {"a?b", false},
    };
    for (const auto& [name, valid] : names)
        EXPECT_EQ(IsValidCategoryName(name), valid) << name;
    const std::vector<std::pair<std::string, bool>> sets = {
        {"Work", true}, {"a:b", false}, {"", false}, {"..", false}, {"a/b", false}, {std::string(256, 'x'), false},
    };
    for (const auto& [name, valid] : sets)
        EXPECT_EQ(IsValidSetName(name), valid) << name;
    EXPECT_TRUE(IsValidTypeList("doc:RTF:mp3"));
    EXPECT_FALSE(IsValidTypeList("doc;rtf"));
    EXPECT_FALSE(IsValidTypeList("d.oc"));
    EXPECT_EQ(WithTrailingColon("doc:rtf"), "doc:rtf:");
    EXPECT_EQ(WithTrailingColon("doc:"), "doc:");
    EXPECT_TRUE(HasDuplicateType("doc:rtf:doc:"));
    EXPECT_FALSE(HasDuplicateType("doc:DOC:"));
}

TEST(FileRecords, SizeTextAndSortOrders)
{
    const std::vector<std::pair<std::uint64_t, std::string>> sizes = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {2047, "1 KB"},
        {5ull * 1024 * 1024 * 1024, "5242880 KB"},
    };
    for (const auto& [size, text] : sizes)
        EXPECT_EQ(ListSizeText(size), text) << size;

    std::vector<FileDescrItemCat> rows{
        {"b", "", "Music", 10, ""}, {"B", "", "Pictures", 30, ""}, {"a", "", "", 20, ""}};
    std::sort(rows.begin(), rows.end(), GreatestFirst<&FileDescrItemCat::name, FileDescrItemCat>);
    EXPECT_EQ(rows.front().name, "b");  // greatest first; upper case sorts before lower
    EXPECT_EQ(rows.back().name, "B");
    std::sort(rows.begin(), rows.end(), GreatestFirst<&FileDescrItemCat::size, FileDescrItemCat>);
    EXPECT_EQ(rows.front().size, 30u);
    std::vector<FileDescrItem> restore{{"x", "Text", 1, 100, ""}, {"y", "Image", 2, 300, ""}};
    std::sort(restore.begin(), restore.end(), GreatestFirst<&FileDescrItem::modified, FileDescrItem>);
    EXPECT_EQ(restore.front().name, "y");
    std::sort(restore.begin(), restore.end(), GreatestFirst<&FileDescrItem::description, FileDescrItem>);
    EXPECT_EQ(restore.front().description, "Text");
}
