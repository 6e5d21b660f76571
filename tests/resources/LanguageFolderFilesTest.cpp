#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>

#include "ResourceFiles.h"

using namespace halvex::test;

namespace {

// The readable text of an RTF file, as a reader that knows the few controls
// our licence files use would show it: groups and control words dropped,
// \uN? turned into the character (its "?" fallback skipped), \par into a line
// break. Sets `error` on anything a reader would choke on.
std::u32string RtfText(const std::string& rtf, std::string& error)
{
    std::u32string text;
    int depth = 0;
    char32_t highSurrogate = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            error = "a byte above 127 at " + std::to_string(i) + " (RTF is 7-bit; use \\uN?)";
            return text;
        }
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth < 0) {
                error = "a closing brace without its opening one at " + std::to_string(i);
                return text;
            }
            if (depth == 0 && rtf.find_first_not_of(" \r\n", i + 1) != std::string::npos) {
                error = "text after the document's closing brace";
                return text;
            }
        } else if (c == '\\') {
            if (i + 1 >= rtf.size()) {
                error = "a backslash at the end";
                return text;
            }
            const char next = rtf[i + 1];
            if (next == '\\' || next == '{' || next == '}') {
                text += static_cast<char32_t>(next);
                ++i;
                continue;
            }
            size_t end = i + 1;
            while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end])))
                ++end;
            const std::string word = rtf.substr(i + 1, end - i - 1);
            size_t numberEnd = end;
            if (numberEnd < rtf.size() && rtf[numberEnd] == '-')
                ++numberEnd;
            while (numberEnd < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[numberEnd])))
                ++numberEnd;
            const std::string number = rtf.substr(end, numberEnd - end);
            i = numberEnd;
            if (i < rtf.size() && rtf[i] != ' ')
                --i;  // a delimiter other than a blank belongs to the text
            if (word == "u") {
                if (number.empty() || number == "-") {
                    error = "\\u without a number";
                    return text;
                }
                const long value = std::stol(number);
                const char32_t code = static_cast<char32_t>(value < 0 ? value + 65536 : value);
                if (i + 1 < rtf.size() && rtf[i + 1] == '?')
                    ++i;  // the fallback of \uc1
                if (code >= 0xD800 && code <= 0xDBFF) {
                    highSurrogate = code;
                    continue;
                }
                if (code >= 0xDC00 && code <= 0xDFFF) {
                    if (!highSurrogate) {
                        error = "a low surrogate alone";
                        return text;
                    }
                    text += static_cast<char32_t>(0x10000 + ((highSurrogate - 0xD800) << 10) + (code - 0xDC00));
                    highSurrogate = 0;
                    continue;
                }
                text += code;
            } else if (word == "par") {
                text += U'\n';
            }
            continue;
        } else if (c != '\r' && c != '\n' && depth > 0) {
            text += static_cast<char32_t>(c);
        }
        if (highSurrogate) {
            error = "a high surrogate alone";
            return text;
        }
    }
    if (depth != 0)
        error = "braces do not balance (depth " + std::to_string(depth) + " at the end)";
    return text;
}

// Tags must nest; a help page with a lost closing tag renders half the page
// as a heading or a list item.
std::string FirstNestingFault(const std::string& html)
{
    static const std::set<std::string> voidElements = {"meta", "br", "img", "hr", "link", "input"};
    static const std::regex tag("<(/?)([a-zA-Z][a-zA-Z0-9]*)\\b[^>]*>");
    std::vector<std::string> open;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), tag); it != std::sregex_iterator(); ++it) {
        std::string name = (*it)[2].str();
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (voidElements.count(name))
            continue;
        if ((*it)[1].length() == 0) {
            open.push_back(name);
        } else if (open.empty() || open.back() != name) {
            return "</" + name + "> closes " + (open.empty() ? "nothing" : "<" + open.back() + ">");
        } else {
            open.pop_back();
        }
    }
    return open.empty() ? "" : "<" + open.back() + "> is never closed";
}

}  // namespace

TEST(LicenceText, EveryLanguageHasAReadableRtf)
{
    std::u32string english;
    for (const auto& folder : kLanguageFolders) {
        SCOPED_TRACE(folder);
        const auto rtf = ReadWholeFile(LanguageDir(folder) / "License.rtf");
        ASSERT_TRUE(rtf.has_value()) << "License.rtf is missing";
        EXPECT_TRUE(rtf->starts_with("{\\rtf1"));
        std::string error;
        const std::u32string text = RtfText(*rtf, error);
        EXPECT_EQ(error, "");
        EXPECT_NE(text.find(U"Halvex Dravane"), std::u32string::npos);
        EXPECT_GT(text.size(), 400u) << "too short to be a licence";
        if (folder == "English")
            english = text;
        else
            EXPECT_NE(text, english) << "an English copy";
    }
}

TEST(RtfReader, CatchesWhatWouldSpoilTheLicence)
{
    std::string error;
    EXPECT_EQ(RtfText("{\\rtf1 caf\\u233?}", error), U"caf\u00e9");
    EXPECT_EQ(error, "");
    RtfText("{\\rtf1 {\\b open}", error);
    EXPECT_NE(error, "");
    error.clear();
    RtfText("{\\rtf1 caf\xC3\xA9}", error);
    EXPECT_NE(error, "");
    error.clear();
    RtfText("{\\rtf1 \\u-10179?}", error);  // a high surrogate with nothing after it
    EXPECT_NE(error, "");
}

TEST(HelpPage, EveryLanguageHasAWellFormedPage)
{
    static const std::regex link("href=\"#([^\"]+)\"");
    static const std::regex anchor("id=\"([^\"]+)\"");
    static const std::regex fileLink("(?:href|src)=\"([^\"#:]+)\"");
    for (const auto& folder : kLanguageFolders) {
        SCOPED_TRACE(folder);
        const auto html = ReadWholeFile(LanguageDir(folder) / "Help" / "index.html");
        ASSERT_TRUE(html.has_value()) << "Help/index.html is missing";
        EXPECT_FALSE(html->starts_with("\xEF\xBB\xBF"));
        EXPECT_FALSE(FirstInvalidUtf8(*html).has_value());
        EXPECT_NE(html->find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_EQ(FirstNestingFault(*html), "");
        std::set<std::string> ids;
        for (auto it = std::sregex_iterator(html->begin(), html->end(), anchor); it != std::sregex_iterator(); ++it)
            ids.insert((*it)[1].str());
        for (auto it = std::sregex_iterator(html->begin(), html->end(), link); it != std::sregex_iterator(); ++it)
            EXPECT_EQ(ids.count((*it)[1].str()), 1u) << "link to a missing section #" << (*it)[1].str();
        // The page is opened as a file: a relative link (the shared style
        // sheet) must name a file of the resources, not leave them.
        for (auto it = std::sregex_iterator(html->begin(), html->end(), fileLink); it != std::sregex_iterator(); ++it) {
            const auto target = (LanguageDir(folder) / "Help" / (*it)[1].str()).lexically_normal();
            EXPECT_TRUE(std::filesystem::is_regular_file(target)) << (*it)[1].str();
            const auto inside = target.lexically_relative(ResourcesDir());
            EXPECT_FALSE(inside.empty() || *inside.begin() == "..") << (*it)[1].str();
        }
    }
}

TEST(HelpPageChecks, NestingFaultsAreFound)
{
    EXPECT_EQ(FirstNestingFault("<p>a<br>b</p><ul><li>x</li></ul>"), "");
    EXPECT_NE(FirstNestingFault("<h2>title<p>text</p>"), "");
    EXPECT_NE(FirstNestingFault("<ul><li>x</ul></li>"), "");
}
