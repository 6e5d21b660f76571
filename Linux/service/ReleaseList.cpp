#include "ReleaseList.h"

#include <algorithm>
#include <cctype>

#include "util/SplitFields.h"

namespace halvex::service {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool UsableId(std::string_view id)
{
    return !id.empty() && id.size() <= 16 &&
           std::all_of(id.begin(), id.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

bool UsableVersion(std::string_view version)
{
    int numbers = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= version.size(); ++i) {
        if (i == version.size() || version[i] == '.') {
            if (digits == 0 || ++numbers > 4)
                return false;
            digits = 0;
        } else if (!IsDigit(version[i]) || ++digits > 9) {
            return false;
        }
    }
    return true;
}

bool UsablePackagePath(std::string_view path)
{
    if (path.empty() || path.size() > 200 || path.front() == '/' || path.back() == '/')
        return false;
    bool partStart = true;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '/') {
            if (partStart)
                return false;
            partStart = true;
            continue;
        }
        if (partStart && c == '.')
            return false;
        partStart = false;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            return false;
    }
    return true;
}

bool UsableDigest(std::string_view digest)
{
    return digest.size() == 64 && std::all_of(digest.begin(), digest.end(),
                                              [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool UsableSignature(std::string_view signature)
{
    const std::size_t padding = signature.ends_with("==") ? 2 : signature.ends_with('=') ? 1 : 0;
    return !signature.empty() && signature.size() <= 128 && signature.size() % 4 == 0 &&
           std::all_of(signature.begin(), signature.end() - static_cast<std::ptrdiff_t>(padding),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/'; });
}

int CompareVersions(std::string_view a, std::string_view b)
{
    // Numbers of at most nine digits, so each fits a long long.
    const auto next = [](std::string_view& text) {
        long long number = 0;
        std::size_t i = 0;
        for (; i < text.size() && text[i] != '.'; ++i)
            number = number * 10 + (text[i] - '0');
        text.remove_prefix(std::min(i + 1, text.size()));
        return number;
    };
    while (!a.empty() || !b.empty()) {
        const long long x = next(a);
        const long long y = next(b);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

ReleaseList ParseReleaseList(std::string_view text)
{
    ReleaseList list;
    if (text.size() > kMaxReleaseListBytes) {
        list.refusedLines = 1;
        return list;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        // Six asked for: a sixth field makes the line wrong.
        const std::vector<std::string_view> fields = SplitFields(line, 6);
        if (fields.size() < 4 || fields.size() > 5 || !UsableId(fields[0]) || !UsableVersion(fields[1]) ||
            !UsablePackagePath(fields[2]) || !UsableDigest(fields[3]) ||
            (fields.size() == 5 && !UsableSignature(fields[4]))) {
            ++list.refusedLines;
            continue;
        }
        list.releases.push_back({std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                                 std::string(fields[3]), fields.size() == 5 ? std::string(fields[4]) : std::string()});
    }
    return list;
}

const Release* NewestRelease(const ReleaseList& list, std::string_view id)
{
    const Release* newest = nullptr;
    for (const Release& release : list.releases)
        if (release.id == id && (!newest || CompareVersions(release.version, newest->version) > 0))
            newest = &release;
    return newest;
}

}  // namespace halvex::service
