#include "strings/FormatText.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

using halvex::FormatArg;
using halvex::FormatText;
using halvex::FormatTextArgs;

namespace {

struct FormatCase {
    const char* format;
    std::vector<FormatArg> args;
    const char* expected;
};

// Text arguments are views; these live for the whole run.
const std::string kFolder = "/home/ana/Sync";
const std::string kJapanese = "\xE5\x90\x8C\xE6\x9C\x9F";  // 同期
const std::filesystem::path kPath = "/media/usb/a b";

const std::vector<FormatCase>& Cases()
{
    static const std::vector<FormatCase> cases = {
        // What the tables use.
        {"Copied %d of %d files.", {3, 10}, "Copied 3 of 10 files."},
        {"Sync folder: %s", {kFolder}, "Sync folder: /home/ana/Sync"},
        {"%s: %ld bytes", {"a.txt", 5000000000LL}, "a.txt: 5000000000 bytes"},
        {"Drive %c:", {'E'}, "Drive E:"},
        {"100%% done", {}, "100% done"},
        {"%s%%", {kJapanese}, "\xE5\x90\x8C\xE6\x9C\x9F%"},
        {"no placeholders", {1, "extra"}, "no placeholders"},
        {"", {1}, ""},
        // Tolerated variants.
        {"%u %lu %lld %llu %i %li", {7u, 8ul, -9ll, 10ull, -11, 12l}, "7 8 -9 10 -11 12"},
        {"%@ (%d)", {"a", 2}, "a (2)"},
        {"%d", {-2147483647 - 1}, "-2147483648"},
        {"%lld", {LLONG_MIN}, "-9223372036854775808"},
        {"%llu", {ULLONG_MAX}, "18446744073709551615"},
        {"%u", {-1}, "-1"},  // a negative number stays readable, not 4294967295
        {"[%5d][%-5d][%05d][%+d][% d][%3s][%-3s|]",
         {42, 42, -42, 7, 7, "a", "b"},
         "[   42][42   ][-0042][+7][ 7][  a][b  |]"},
        {"[%2d]", {12345}, "[12345]"},
        {"[%4s]", {kJapanese}, "[  \xE5\x90\x8C\xE6\x9C\x9F]"},  // two characters, six bytes
        // Wrong kinds print the argument as it is.
        {"%d files", {"many"}, "many files"},
        {"%s files", {12}, "12 files"},
        {"%c", {"text"}, "text"},
        {"%c%c", {65, 0x540C}, "A\xE5\x90\x8C"},
        {"%c", {-5}, "-5"},
        {"%c", {0x110000}, "1114112"},
        {"%d", {'A'}, "65"},
        {"%s", {kPath}, "/media/usb/a b"},
        {"%s", {static_cast<const char*>(nullptr)}, ""},
        // Missing arguments leave the placeholder as written.
        {"%s%s%s", {"one"}, "one%s%s"},
        {"%d of %d", {}, "%d of %d"},
        {"%s and %d", {"x"}, "x and %d"},
        // Unknown or unsafe conversions are copied and take no argument.
        {"%n%s", {"x"}, "%nx"},
        {"%x %s", {"x"}, "%x x"},
        {"%f %p %e %g %S %ls %hd", {1}, "%f %p %e %g %S %ls %hd"},
        {"%*d|%s", {5, "x"}, "%*d|5"},
        {"%.3s|%s", {"abcdef"}, "%.3s|abcdef"},
        {"%lllld|%d", {1}, "%lllld|1"},
        {"%999999d|%d", {1}, "%999999d|1"},
        {"%65d|", {1}, "%65d|"},
        {"%1$s", {"x"}, "%1$s"},
        {"%", {1}, "%"},
        {"end %", {1}, "end %"},
        {"end %l", {1}, "end %l"},
        {"%-", {1}, "%-"},
        {"%%%", {1}, "%%"},
        {"%%d", {1}, "%d"},
        {"% %s", {"x"}, "% x"},
    };
    return cases;
}

}  // namespace

TEST(FormatText, FillsOrKeepsEveryPlaceholderReadably)
{
    for (const auto& c : Cases())
        EXPECT_EQ(FormatTextArgs(c.format, c.args), c.expected) << "format: " << c.format;
}

TEST(FormatText, MaximumWidthIsHonouredAndBounded)
{
    EXPECT_EQ(FormatText("%64d", 1).size(), 64u);
    // However hostile the format, the result stays within a small multiple of it.
    std::string hostile;
    for (int i = 0; i < 1000; ++i)
        hostile += "%64s%999999999999d%";
    EXPECT_LT(FormatText(hostile, "a", 1).size(), hostile.size() + std::size_t{2} * 64);
}

TEST(FormatText, VariadicAndListFormsAgree)
{
    const std::string name = "Backup";
    const std::size_t count = 3;
    EXPECT_EQ(FormatText("%s: %d", name, count), "Backup: 3");
    EXPECT_EQ(FormatText("%s: %d", {name, count}), "Backup: 3");
    EXPECT_EQ(FormatText("plain %%"), "plain %");
}
