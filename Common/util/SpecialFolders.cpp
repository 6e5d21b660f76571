#include "util/SpecialFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "util/BoundedRead.h"

namespace halvex {

namespace {

constexpr std::size_t kUserDirsLimit = std::size_t{64} * 1024;

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

// The shell word of a user-dirs value: double-quoted with backslash escapes,
// or bare up to the first blank. False for an unterminated quote.
bool ReadValue(std::string_view text, std::string& value)
{
    value.clear();
    if (text.empty() || text.front() != '"') {
        const std::size_t end = text.find_first_of(" \t#");
        value = std::string(text.substr(0, end));
        return true;
    }
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            return true;
        if (c == '\\' && i + 1 < text.size())
            value += text[++i];
        else
            value += c;
    }
    return false;
}

std::filesystem::path ResolveValue(const std::string& value, const std::filesystem::path& home)
{
    if (value.find('\0') != std::string::npos)
        return {};
    for (const std::string_view prefix : {std::string_view("$HOME"), std::string_view("${HOME}")}) {
        if (value.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string_view rest = std::string_view(value).substr(prefix.size());
        if (!rest.empty() && rest.front() != '/')
            continue;  // "$HOMEWORK" is not the home
        while (!rest.empty() && rest.front() == '/')
            rest.remove_prefix(1);
        if (home.empty())
            return {};
        return rest.empty() ? home : home / rest;
    }
    if (!value.empty() && value.front() == '/')
        return value;
    return {};  // relative paths are not allowed in the file
}

std::filesystem::path HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::filesystem::path XdgFolder(std::string_view key, std::string_view fallback)
{
    const std::filesystem::path home = UserBaseFolder();
    if (home.empty())
        return {};
    std::filesystem::path folder = UserDirFromFile(UserConfigFolder() / "user-dirs.dirs", key, home);
    return folder.empty() ? home / fallback : folder;
}

}  // namespace

std::filesystem::path UserConfigFolder()
{
    // A relative value is to be ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return config;
    const std::filesystem::path home = UserBaseFolder();
    return home.empty() ? std::filesystem::path() : home / ".config";
}

std::filesystem::path UserDirFromText(std::string_view text, std::string_view key, const std::filesystem::path& home)
{
    std::filesystem::path result;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = TrimLeft(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.substr(0, key.size()) != key || line.size() <= key.size() || line[key.size()] != '=')
            continue;
        std::string value;
        if (!ReadValue(line.substr(key.size() + 1), value))
            continue;
        // Like the shell that reads this file, a later line wins.
        if (std::filesystem::path resolved = ResolveValue(value, home); !resolved.empty())
            result = std::move(resolved);
    }
    return result;
}

std::filesystem::path UserDirFromFile(const std::filesystem::path& file, std::string_view key,
                                      const std::filesystem::path& home)
{
    const Result<std::string> text = ReadBoundedFile(file, kUserDirsLimit);
    if (!text)
        return {};
    return UserDirFromText(text.value(), key, home);
}

std::filesystem::path UserBaseFolder()
{
    return HomeFolder();
}

std::filesystem::path DesktopFolder()
{
    return XdgFolder("XDG_DESKTOP_DIR", "Desktop");
}

std::filesystem::path DocumentsFolder()
{
    return XdgFolder("XDG_DOCUMENTS_DIR", "Documents");
}

}  // namespace halvex
