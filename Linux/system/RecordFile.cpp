#include "system/RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "plist/AtomicFileWrite.h"
#include "util/BoundedRead.h"
#include "util/SpecialFolders.h"

namespace fs = std::filesystem;

namespace halvex {

fs::path RecordFile::DefaultPath(std::string_view name)
{
    const fs::path config = UserConfigFolder();
    return config.empty() ? fs::path() : config / "halvex-dravane" / name;
}

RecordFile::RecordFile(fs::path file, std::size_t maxBytes, std::string damagedKey, std::string writeErrorKey)
    : m_file(std::move(file)),
      m_maxBytes(maxBytes),
      m_damagedKey(std::move(damagedKey)),
      m_writeErrorKey(std::move(writeErrorKey))
{}

Result<std::optional<std::string>> RecordFile::Read() const
{
    using Text = Result<std::optional<std::string>>;
    if (m_file.empty())
        return Text::Fail(m_damagedKey, "no configuration folder");
    // O_NOFOLLOW: a link put in its place does not lend this file another's
    // contents; O_NONBLOCK: a FIFO does not hang the reader.
    const int fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT)
        return Text::Ok(std::nullopt);
    if (fd < 0)
        return Text::Fail(m_damagedKey, errno == ELOOP ? "a link" : std::strerror(errno));
    struct stat st {};
    std::string refused;
    if (::fstat(fd, &st) != 0)
        refused = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        refused = "not a regular file";
    else if (st.st_uid != ::geteuid())
        refused = "another user's file";
    if (!refused.empty()) {
        ::close(fd);
        return Text::Fail(m_damagedKey, refused);
    }
    Result<std::string> text = ReadBoundedFrom(fd, m_file, m_maxBytes);
    ::close(fd);
    if (!text)
        return Text::Fail(m_damagedKey, "unreadable or larger than " + std::to_string(m_maxBytes) + " bytes");
    return Text::Ok(std::move(text).value());
}

Status RecordFile::Write(std::string_view text) const
{
    std::error_code error;
    const fs::path folder = m_file.parent_path();
    if (m_file.empty() || (!fs::is_directory(folder, error) && !fs::create_directories(folder, error)))
        return Status::Fail(m_writeErrorKey, error ? error.message() : "no configuration folder");
    if (Status written = WriteFileAtomic(m_file, text, fs::perms::owner_read | fs::perms::owner_write); !written)
        return written.As(m_writeErrorKey);
    return Status::Ok();
}

void RecordFile::SetAside() const
{
    std::error_code error;
    fs::rename(m_file, fs::path(m_file).concat(".damaged"), error);
}

bool RecordFile::HasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::optional<std::vector<std::string>> RecordFile::SplitLine(std::string_view line, std::size_t count,
                                                              std::size_t maxField)
{
    std::vector<std::string> fields;
    fields.reserve(count);
    for (;;) {
        const std::size_t tab = line.find('\t');
        const std::string_view field = line.substr(0, tab);
        if (fields.size() == count || field.size() > maxField || HasControlCharacter(field))
            return std::nullopt;
        fields.emplace_back(field);
        if (tab == std::string_view::npos)
            break;
        line.remove_prefix(tab + 1);
    }
    if (fields.size() != count)
        return std::nullopt;
    return fields;
}

}  // namespace halvex
