#include "strings/RtfToHtml.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using halvex::RtfToHtml;

namespace {

struct Case {
    const char* name;
    const char* rtf;
    const char* contains;     // must appear in the HTML
    const char* notContains;  // must not appear (may be empty)
};

const Case kCases[] = {
    {"paragraphs", R"({\rtf1 one\par two\par})", "<p><span>one</span></p>\n<p><span>two</span></p>", ""},
    {"bold group ends with its brace", R"({\rtf1 {\b Title}\par plain})", "font-weight:bold;\">Title</span>",
     "font-weight:bold;\">plain"},
    {"bold switched off", R"({\rtf1 \b on\b0 off})", "<span>off</span>", ""},
    {"unicode with fallback", R"({\rtf1\uc1 the \u8220?Software\u8221?})", "the \xE2\x80\x9CSoftware\xE2\x80\x9D", "?"},
    {"negative unicode", R"({\rtf1 \u-3913?})", "\xEF\x82\xB7", "?"},
    {"cp1252 escape", R"({\rtf1 caf\'e9 \'93q\'94})", "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D", ""},
    {"escaped specials", R"({\rtf1 a\{b\}c\\d})", "a{b}c\\d", ""},
    {"html is escaped", R"({\rtf1 <script>&})", "&lt;script&gt;&amp;", "<script>"},
    {"font table skipped", R"({\rtf1{\fonttbl{\f0 Arial;}}text})", "text", "Arial"},
    {"starred destination skipped", R"({\rtf1{\*\generator Writer;}body})", "body", "Writer"},
    {"font size", R"({\rtf1 {\fs24 big}})", "font-size:12pt", ""},
    {"hyperlink field", R"({\rtf1 {\field{\*\fldinst HYPERLINK "https://halvex.example/"}{\fldrslt site}}})",
     "<p><a href=\"https://halvex.example/\"><span>site</span></a>", "HYPERLINK"},
    {"line break", R"({\rtf1 a\line b})", "a<br/>b", ""},
};

TEST(RtfToHtmlTest, ConvertsTheLicenceSubset)
{
    for (const Case& c : kCases) {
        const std::string html = RtfToHtml(c.rtf);
        EXPECT_NE(html.find(c.contains), std::string::npos) << c.name << ": " << html;
        if (*c.notContains) {
            EXPECT_EQ(html.find(c.notContains), std::string::npos) << c.name << ": " << html;
        }
    }
}

TEST(RtfToHtmlTest, DamagedInputEndsWithoutHarm)
{
    // Unbalanced braces, a lone backslash, a cut escape and a deep nesting.
    for (const std::string& rtf :
         {std::string("{\\rtf1 {{{{ text"), std::string("}}}} text\\"), std::string("{\\rtf1 \\'"), std::string("{\\u"),
          std::string(100000, '{') + "deep" + std::string(100000, '}')}) {
        const std::string html = RtfToHtml(rtf);
        EXPECT_LT(html.size(), 1024u * 1024u);
    }
    EXPECT_NE(RtfToHtml("{\\rtf1 {{{{ text").find("text"), std::string::npos);
}

TEST(RtfToHtmlTest, EveryLanguageLicenceConverts)
{
    const std::filesystem::path resources = std::filesystem::path(HALVEX_SOURCE_DIR) / "Resources";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(resources)) {
        const auto licence = entry.path() / "License.rtf";
        if (!std::filesystem::exists(licence))
            continue;
        ++seen;
        const std::string html = halvex::RtfFileToHtml(licence);
        EXPECT_GT(html.size(), 200u) << licence;
        EXPECT_EQ(html.find('\\'), std::string::npos) << licence << ": a control word leaked";
        EXPECT_EQ(html.find("fonttbl"), std::string::npos) << licence;
    }
    EXPECT_GT(seen, 0);
    EXPECT_TRUE(halvex::RtfFileToHtml("/nonexistent/License.rtf").empty());
}

}  // namespace
