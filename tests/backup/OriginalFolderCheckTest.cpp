#include "backup/OriginalFolderCheck.h"

#include <gtest/gtest.h>

using namespace halvex;

TEST(OriginalFolderCheck, OnlyPlainFoldersOfTheHomeAreRestoredInto)
{
    const struct {
        const char* folder;
        const char* refusal;  // nullptr: allowed
    } table[] = {
        {"/home/ana/Documents/", nullptr},
        {"/home/ana/Documents", nullptr},
        {"/home/ana/", nullptr},
        {"/home/ana/Pictures/2024/Holiday", nullptr},
        {"/home/ana/my.files/x", nullptr},
        {"/tmp/victim/", kOriginalOutsideHomeKey},
        {"/home/anastasia/Documents", kOriginalOutsideHomeKey},
        {"/home/", kOriginalOutsideHomeKey},
        {"/", kOriginalOutsideHomeKey},
        {"/home/ana/.config/autostart/", kOriginalHiddenKey},
        {"/home/ana/Documents/.git/hooks", kOriginalHiddenKey},
        {"/home/ana/../bob/Documents", kOriginalNotAbsoluteKey},
        {"/home/ana/./Documents", kOriginalNotAbsoluteKey},
        {"Documents", kOriginalNotAbsoluteKey},
        {"", kOriginalNotAbsoluteKey},
    };
    for (const auto& row : table) {
        const Status status = CheckOriginalFolder(row.folder, "/home/ana");
        EXPECT_EQ(status.ok, row.refusal == nullptr) << row.folder;
        EXPECT_EQ(status.messageKey, row.refusal ? row.refusal : "") << row.folder;
    }
    EXPECT_FALSE(CheckOriginalFolder("/home/ana/Documents", "").ok) << "no home: nothing is inside it";
    EXPECT_TRUE(CheckOriginalFolder("/home/ana/Documents", "/home/ana/").ok);
}
