#include "strings/FormatText.h"
#include "strings/KXStrings.h"

#include <gtest/gtest.h>

TEST(FormatText, AcceptsEveryArgumentKind)
{
    const std::string text = "b";
    const std::size_t count = 3;
    (void)halvex::FormatText("%s", 1, "a", text, count, 'c', -2L, std::filesystem::path("/x"));
    (void)halvex::FormatText("%s", {1, "a", text});
    (void)KXStrings::Format("key", 1, text);
    (void)halvex::FormatText("plain");
}
