#pragma once

// Small helpers shared by the copy engine's and forkcopy's tests: patterned
// data, leftover counts, and a child process in its own mount namespace for
// volumes a test needs to make (a full disk, a volume without extended
// attributes).

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

#include "TestFiles.h"

namespace halvex::testing {

// The shared folder and file helpers, under the names these tests use.
using halvex::test::ReadFile;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

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
inline int RunWithPrivateMount(const std::filesystem::path& mountPoint, const char* type, const char* data,
                               const std::function<int()>& body)
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
