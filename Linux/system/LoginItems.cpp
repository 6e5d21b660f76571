#include "system/LoginItems.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "plist/AtomicFileWrite.h"
#include "util/BoundedRead.h"
#include "util/SpecialFolders.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

constexpr std::string_view kPrefix = "halvex-";
constexpr std::size_t kMaxEntryBytes = std::size_t{64} * 1024;
constexpr std::size_t kMaxEntries = 4096;

// Desktop-entry string escapes: \s \n \t \r \\.
std::string UnescapeValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out.push_back(next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next);
            continue;
        }
        out.push_back(value[i]);
    }
    return out;
}

// "name-12.desktop" -> 12, "name.desktop" -> 1: the order of adding.
long SequenceOf(const fs::path& file)
{
    const std::string stem = file.stem().string();
    const std::size_t dash = stem.rfind('-');
    if (dash == std::string::npos || dash + 1 == stem.size() ||
        stem.find_first_not_of("0123456789", dash + 1) != std::string::npos || stem.size() - dash > 9)
        return 1;
    return std::atol(stem.c_str() + dash + 1);
}

std::string BaseName(const fs::path& program)
{
    std::string name = program.filename().string();
    for (char& c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_'))
            c = '_';
    return name.empty() ? std::string("item") : name;
}

bool ReadItem(const fs::path& file, LoginItems::Item& item)
{
    const Result<std::string> text = ReadBoundedFile(file, kMaxEntryBytes);
    if (!text)
        return false;
    std::istringstream lines(text.value());
    std::string line;
    bool inEntry = false;
    bool haveExec = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        if (line.rfind("Exec=", 0) == 0) {
            item.program = LoginItems::ProgramOfExec(std::string_view(line).substr(5));
            haveExec = !item.program.empty();
        } else if (line.rfind("X-Halvex-Hidden=", 0) == 0) {
            item.hidden = line.substr(16) == "true";
        }
    }
    item.file = file;
    return haveExec;
}

}  // namespace

fs::path LoginItems::DefaultFolder()
{
    return UserConfigFolder() / "autostart";
}

std::string LoginItems::ProgramOfExec(std::string_view exec)
{
    const std::string value = UnescapeValue(exec);
    std::string program;
    std::size_t i = value.find_first_not_of(' ');
    if (i == std::string::npos)
        return {};
    if (value[i] == '"') {
        // Inside quotes a backslash escapes ", `, $ and itself.
        for (++i; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            program.push_back(value[i]);
        }
        if (i >= value.size())
            return {};  // unterminated quote
    } else {
        const std::size_t end = value.find(' ', i);
        program = value.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
    // Field codes are written doubled: %% is one percent sign.
    std::string plain;
    for (std::size_t k = 0; k < program.size(); ++k) {
        plain.push_back(program[k]);
        if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%')
            ++k;
    }
    return plain;
}

std::string LoginItems::ExecForProgram(const fs::path& program)
{
    std::string quoted = "\"";
    for (char c : program.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted.push_back('\\');
        if (c == '%')
            quoted.push_back('%');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    // The whole value is a desktop-entry string: its backslashes are escaped again.
    std::string value;
    for (char c : quoted) {
        if (c == '\\')
            value.push_back('\\');
        if (c == '\n') {
            value += "\\n";
            continue;
        }
        value.push_back(c);
    }
    return value;
}

std::vector<LoginItems::Item> LoginItems::items() const
{
    std::vector<Item> found;
    std::error_code error;
    fs::directory_iterator it(m_folder, error);
    for (std::size_t seen = 0; !error && it != fs::directory_iterator() && seen < kMaxEntries;
         it.increment(error), ++seen) {
        if (it->path().extension() != ".desktop")
            continue;
        Item item;
        if (ReadItem(it->path(), item))
            found.push_back(std::move(item));
    }
    std::sort(found.begin(), found.end(), [](const Item& a, const Item& b) {
        const long sa = SequenceOf(a.file), sb = SequenceOf(b.file);
        return sa != sb ? sa < sb : a.file < b.file;
    });
    return found;
}

Status LoginItems::add(const fs::path& program, bool hidden) const
{
    std::error_code error;
    if (fs::create_directories(m_folder, error); error)
        return Status::FailErrno(kSaveErrorKey, m_folder, error.value());
    const std::string base = std::string(kPrefix) + BaseName(program);
    fs::path file = m_folder / (base + ".desktop");
    for (long n = 2; fs::exists(file, error) || fs::is_symlink(file, error); ++n) {
        if (n > static_cast<long>(kMaxEntries))
            return Status::FailErrno(kSaveErrorKey, m_folder, EMLINK);
        file = m_folder / (base + "-" + std::to_string(n) + ".desktop");
    }
    std::string name = program.filename().string();
    std::replace(name.begin(), name.end(), '\n', ' ');
    const std::string text = "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + ExecForProgram(program) +
                             "\nX-Halvex-Hidden=" + (hidden ? "true" : "false") +
                             "\nX-GNOME-Autostart-enabled=true\nTerminal=false\n";
    // Written beside and renamed: a session starting meanwhile never sees half a file.
    return WriteFileAtomic(file, text);
}

Status LoginItems::remove(const fs::path& program) const
{
    const std::vector<Item> all = items();
    const auto first = std::find_if(all.begin(), all.end(), [&](const Item& item) { return item.program == program; });
    if (first == all.end())
        return Status::Ok();
    const bool hidden = first->hidden;
    // Every equal entry is tried; the first that stays is the one reported.
    Status removed = Status::Ok();
    for (const Item& item : all) {
        if (item.program != program || item.hidden != hidden)
            continue;
        std::error_code error;
        if (!fs::remove(item.file, error) && error && removed)
            removed = Status::FailErrno(kSaveErrorKey, item.file, error.value());
    }
    return removed;
}

bool LoginItems::exists(const fs::path& program) const
{
    const std::vector<Item> all = items();
    return std::any_of(all.begin(), all.end(), [&](const Item& item) { return item.program == program; });
}

}  // namespace halvex
