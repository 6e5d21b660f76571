#pragma once

// The one temporary folder, file writer and time setter of every test folder.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halvex::test {

// A fresh folder per test under `parent` (the temporary folder by default),
// removed with everything in it afterwards, read-only subfolders included.
// Its path is canonical, so tests may compare it with resolved paths.
class TempFolder {
public:
    explicit TempFolder(std::string_view tag = "test",
                        const std::filesystem::path& parent = std::filesystem::temp_directory_path())
    {
        std::string pattern = (parent / ("halvex-" + std::string(tag) + "-XXXXXX")).string();
        // A test that goes on without its folder would write elsewhere.
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder under " + parent.string());
        m_path = std::filesystem::canonical(pattern);
    }
    ~TempFolder()
    {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, error);
        for (auto it = fs::recursive_directory_iterator(m_path, error); !error && it != fs::end(it);
             it.increment(error)) {
            if (it->is_directory(error) && !it->is_symlink(error))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
        fs::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Sets a file's access and modification times to seconds since 1970 and
// the nanoseconds within, or the access time apart in whole seconds; a link
// itself, not what it points to.
inline void SetTime(const std::filesystem::path& file, std::int64_t seconds, long nanoseconds = 0,
                    std::optional<std::int64_t> accessSeconds = std::nullopt)
{
    const struct timespec time {
        static_cast<time_t>(seconds), nanoseconds
    };
    const struct timespec accessed {
        static_cast<time_t>(accessSeconds.value_or(seconds)), accessSeconds ? 0 : nanoseconds
    };
    const struct timespec times[2] = {accessed, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << file;
}

// Modification time in whole seconds, -1 when it cannot be read.
inline std::int64_t TimeOf(const std::filesystem::path& file)
{
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0)
        return -1;
    return info.st_mtim.tv_sec;
}

// A file with `content`, its folders created; with `seconds`, that
// modification time too.
inline void WriteFile(const std::filesystem::path& file, std::string_view content,
                      std::optional<std::int64_t> seconds = std::nullopt)
{
    std::filesystem::create_directories(file.parent_path());
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        ASSERT_TRUE(out.good()) << "cannot write " << file;
    }
    if (seconds)
        SetTime(file, *seconds);
}

inline std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

// Sets or clears an environment variable for one scope, then puts it back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name)
    {
        if (const char* current = std::getenv(name))
            m_previous = current;
        Set(value);
    }
    ScopedEnvironment(const char* name, const std::string& value) : ScopedEnvironment(name, value.c_str()) {}
    ~ScopedEnvironment() { Set(m_previous ? m_previous->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    void Set(const char* value) const
    {
        if (value != nullptr)
            ::setenv(m_name.c_str(), value, 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

}  // namespace halvex::test
