#include "HttpRequest.h"

#include <algorithm>
#include <optional>

#include "util/HexDigit.h"
#include "util/ParseInteger.h"

namespace halvex::service {

namespace {

constexpr std::size_t kMaxHeaderLines = 64;

bool SameLetters(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool TokenCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool Token(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), TokenCharacter);
}

// A line of the head without its line end; a bare "\n" ends a line too.
std::string_view NextLine(std::string_view& rest)
{
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::optional<std::string> PercentDecoded(std::string_view text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0 || (high == 0 && low == 0))
                return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        decoded += c;
    }
    return decoded;
}

// Splits "a, b ,c" and tells whether `wanted` is among them.
bool ListHas(std::string_view list, std::string_view wanted)
{
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (SameLetters(Trimmed(list.substr(0, comma)), wanted))
            return true;
        list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    }
    return false;
}

bool ReadRequestLine(std::string_view line, HttpRequest& request, int& refusal)
{
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
        return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!Token(method) || target.empty() || target.front() != '/' ||
        !std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7f; }))
        return false;
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.')
        return false;
    request.method = method;
    request.target = target;
    const std::size_t mark = target.find('?');
    const std::optional<std::string> path = PercentDecoded(target.substr(0, mark));
    if (!path)
        return false;
    request.path = *path;
    if (mark != std::string_view::npos)
        request.query = target.substr(mark + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        refusal = 505;
    else if (method != "GET" && method != "HEAD")
        refusal = 405;
    request.keepAlive = version == "HTTP/1.1";
    return true;
}

}  // namespace

RequestHead ParseRequestHead(std::string_view head)
{
    RequestHead parsed;
    HttpRequest& request = parsed.request;
    if (head.size() > kMaxRequestHeadBytes) {
        parsed.refusal = 431;
        return parsed;
    }
    std::string_view rest = head;
    if (!ReadRequestLine(NextLine(rest), request, parsed.refusal)) {
        parsed.refusal = 400;
        return parsed;
    }
    const bool oldVersion = !request.keepAlive;
    int ranges = 0;
    for (std::size_t lines = 0;; ++lines) {
        if (rest.empty() || lines > kMaxHeaderLines) {
            parsed.refusal = 400;  // no empty line at the end, or too many lines
            return parsed;
        }
        const std::string_view line = NextLine(rest);
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        // A folded line (starting with white space) or a name with white
        // space before its colon is how requests are smuggled past proxies.
        if (colon == std::string_view::npos || !Token(line.substr(0, colon))) {
            parsed.refusal = 400;
            return parsed;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (SameLetters(name, "Connection")) {
            if (ListHas(value, "close"))
                request.keepAlive = false;
            else if (oldVersion && ListHas(value, "keep-alive"))
                request.keepAlive = true;
        } else if (SameLetters(name, "Range")) {
            ++ranges;
            request.range = value;
        } else if (SameLetters(name, "Content-Length") && !ParseInteger<std::uint64_t>(value)) {
            parsed.refusal = 400;
        } else if (SameLetters(name, "Transfer-Encoding") || (SameLetters(name, "Content-Length") && value != "0")) {
            // Nothing the service answers has a body, and reading one past
            // its head is how one request hides another.
            if (parsed.refusal == 0)
                parsed.refusal = 413;
        }
    }
    // Two Range headers are as many ranges: the whole file.
    if (ranges > 1)
        request.range.clear();
    return parsed;
}

ByteRange ChooseByteRange(std::string_view range, std::uint64_t fileSize)
{
    ByteRange whole{ByteRange::Kind::Whole, 0, fileSize};
    constexpr std::string_view unit = "bytes=";
    if (range.size() <= unit.size() || !SameLetters(range.substr(0, unit.size()), unit))
        return whole;
    const std::string_view spec = Trimmed(range.substr(unit.size()));
    const std::size_t dash = spec.find('-');
    if (spec.find(',') != std::string_view::npos || dash == std::string_view::npos)
        return whole;
    const std::string_view from = spec.substr(0, dash), to = spec.substr(dash + 1);
    const std::optional<std::uint64_t> first = ParseInteger<std::uint64_t>(from);
    const std::optional<std::uint64_t> last = ParseInteger<std::uint64_t>(to);
    if (from.empty()) {  // "-N": the last N bytes
        if (!last)
            return whole;
        if (*last == 0)
            return {ByteRange::Kind::Unsatisfiable, 0, 0};
        const std::uint64_t length = std::min(*last, fileSize);
        return fileSize == 0 ? ByteRange{ByteRange::Kind::Unsatisfiable, 0, 0}
                             : ByteRange{ByteRange::Kind::Part, fileSize - length, length};
    }
    if (!first || (!to.empty() && (!last || *last < *first)))
        return whole;
    if (*first >= fileSize)
        return {ByteRange::Kind::Unsatisfiable, 0, 0};
    const std::uint64_t end = to.empty() ? fileSize - 1 : std::min(*last, fileSize - 1);
    return {ByteRange::Kind::Part, *first, end - *first + 1};
}

}  // namespace halvex::service
