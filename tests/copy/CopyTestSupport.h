#pragma once

// Small helpers shared by the copy engine's and forkcopy's tests: a fresh
// folder per test, whole-file reads and writes, and a child process in its
// own mount namespace for volumes a test needs to make (a full disk, a
// volume without extended attributes).

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

namespace halvex::testing {

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("halvex-copy-test-" + std::to_string(getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        // Folders a test made read-only must become writable to go away.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_path, std::filesystem::directory_options::skip_permission_denied, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Bytes that differ from position to position, so a misplaced chunk shows.
inline std::string PatternData(std::size_t size, unsigned seed = 1)
{
    std::string data(size, '\0');
    std::minstd_rand generator(seed);
    for (char& c : data)
        c = static_cast<char>(generator() & 0xFF);
    return data;
}

// Names in a folder that a copy left under its hidden temporary prefix.
inline int CountTemporaryFiles(const std::filesystem::path& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".halvex-part-"))
            ++count;
    return count;
}

inline bool CanMountPrivately()
{
    return geteuid() == 0;
}

// Runs body in a forked child that has its own mount namespace with a fresh
// volume of the given type mounted on mountPoint. Answers the child's exit
// status: body's result, or 100+ for set-up failures.
inline int RunWithPrivateMount(const std::filesystem::path& mountPoint, const char* type,
                               const char* data, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0)
            _exit(101);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(102);
        if (mount(type, mountPoint.c_str(), type, 0, data) != 0)
            _exit(103);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

}  // namespace halvex::testing
