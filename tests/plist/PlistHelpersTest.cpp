#include <gtest/gtest.h>

#include <tinyxml.h>

#include "plist/SafeXmlParse.h"
#include "plist/Utf8Limit.h"
#include "plist/XmlNesting.h"
#include "util/IgnoreResult.h"

namespace {

TEST(CutUtf8, NeverSplitsACharacter)
{
    struct Case {
        std::string text;
        std::size_t limit;
        std::string expected;
    };
    const Case cases[] = {
        {"abc", 3, "abc"},
        {"abcd", 3, "abc"},
        {"a\xC3\xA9", 2, "a"},  // 2-byte character across the cut
        {"a\xC3\xA9", 3, "a\xC3\xA9"},
        {"ab\xE2\x82\xAC", 4, "ab"},     // 3-byte character
        {"a\xF0\x9F\x98\x80z", 4, "a"},  // 4-byte character
        {"a\xF0\x9F\x98\x80z", 5, "a\xF0\x9F\x98\x80"},
        {"ab\x80\x80\x80\x80", 4, "ab\x80\x80"},  // stray continuation bytes: plain bytes
        {"ab\xC3x", 3, "ab\xC3"},                 // a broken sequence is not a character
        {std::string("a\0b", 3), 9, "a"},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(halvex::CutUtf8(c.text, c.limit), c.expected);
    }
}

TEST(XmlNesting, CountsOnlyWhatTheParserNests)
{
    struct Case {
        std::string xml;
        std::size_t limit;
        bool within;
    };
    const auto repeat = [](const std::string& piece, int count) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += piece;
        return out;
    };
    const Case cases[] = {
        {"<a><b><c/></b></a>", 2, true},
        {"<a><b><c></c></b></a>", 2, false},
        {repeat("<a></a>", 1000), 1, true},
        {"<!--" + repeat("<a>", 50) + "-->", 1, true},
        {"<![CDATA[" + repeat("<a>", 50) + "]]>", 1, true},
        {"<a x=\"<b><c>\" y='/>'>", 1, true},
        {"<a x=\"/>\"><b>", 1, false},  // a quoted "/>" does not close the tag
        {"<!DOCTYPE plist PUBLIC \"x\"><a><b>", 2, true},
        {"<?xml version=\"></a></a>\"?><a><b><c>", 2, false},  // closers hidden in a quoted version
        {"<?xml foo=\"x\" ?><a><b><c>", 2, false},
        {repeat("<a>", 5) + repeat("</a>", 5) + repeat("<a>", 5), 5, true},
        {"<\xC3\xA9><\xC3\xA9>", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml.substr(0, 80));
        EXPECT_EQ(halvex::XmlNestingWithin(c.xml, c.limit), c.within);
    }
}

TEST(ValidUtf8, ReplacesEachIllFormedByte)
{
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"a\xFF\xFE", "a" + r + r},
        {"\xCC\xFF&lt;", r + r + "&lt;"},  // a lead byte must not take the next one
        {"\x80x", r + "x"},                // stray continuation byte
        {"\xE2\x82", r + r},               // truncated at the end
        {"\xC0\xAF", r + r},               // overlong "/"
        {"\xE0\x80\xAF", r + r + r},
        {"\xED\xA0\x80", r + r + r},          // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(halvex::ValidUtf8(text), expected) << text;
}

TEST(ParseXmlSafely, RefusesDeepNestingAndStopsAtTheEnd)
{
    TiXmlDocument document;
    EXPECT_TRUE(halvex::ParseXmlSafely(document, "<plist><dict><key>a</key><string>\xc3\xa9</string></dict></plist>"));
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "<a>";
    for (int i = 0; i < 200; ++i)
        deep += "</a>";
    TiXmlDocument nested;
    EXPECT_FALSE(halvex::ParseXmlSafely(nested, deep));
    EXPECT_TRUE(halvex::ParseXmlSafely(nested, deep, 256));
    // A lead byte as the last byte announces bytes past the end. The parser
    // may accept or refuse these; under the sanitizers it read past the text
    // before the padding.
    for (const char* text :
         {"<a>\xe3", "<a b=\"\xf0", "<a>x</a><?x\xe3", "<!--\xe3", "<html><bodyk\xff=\"1\xd1\xe3<?x\xe3m"}) {
        TiXmlDocument truncated;
        halvex::IgnoreResult(halvex::ParseXmlSafely(truncated, text),
                             "either answer is right; reading past the text is the fault");
    }
}

}  // namespace
