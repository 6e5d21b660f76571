#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// A small text file in which this user records choices on this computer
// (trusted drives, confirmed folders): kept in the user's configuration
// folder, never on a drive, written whole and atomically and readable by its
// owner only, and read as hostile input within a bound. The format of the
// lines is the owner class's; the failures carry the keys it gives.
class RecordFile {
public:
    // $XDG_CONFIG_HOME/halvex-dravane/<name> (default ~/.config); empty
    // when there is no configuration folder.
    static std::filesystem::path DefaultPath(std::string_view name);

    RecordFile(std::filesystem::path file, std::size_t maxBytes, std::string damagedKey, std::string writeErrorKey);

    const std::filesystem::path& Path() const { return m_file; }

    // The whole text; nullopt when there is no such file. Fails with the
    // damaged key when no file is set, or the file is larger than the bound,
    // unreadable, a link or no regular file, or another user's: what this
    // user did not write records nothing.
    Result<std::optional<std::string>> Read() const;
    // Replaces the file with text (mode 0600, whatever the umask), making
    // its folder first; fails with the write error key.
    Status Write(std::string_view text) const;
    // Moves the file aside as "<name>.damaged", for a look by hand.
    void SetAside() const;

    // The fields of one line: exactly `count` fields separated by tabs, each
    // at most maxField bytes and without control characters; nullopt
    // otherwise.
    static std::optional<std::vector<std::string>> SplitLine(std::string_view line, std::size_t count,
                                                             std::size_t maxField);
    static bool HasControlCharacter(std::string_view text);

private:
    std::filesystem::path m_file;
    std::size_t m_maxBytes;
    std::string m_damagedKey;
    std::string m_writeErrorKey;
};

}  // namespace halvex
