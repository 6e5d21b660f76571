#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace halvex::test {

// What a shell command printed on its standard output, and how it ended:
// its exit status, or -1 when it could not be started or ended by a signal.
struct ShellOutput {
    int status = -1;
    std::string out;
};

// `text` as one word for /bin/sh, whatever quotes or spaces it holds.
inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// Runs `command` with /bin/sh and collects its whole standard output.
inline ShellOutput RunShell(const std::string& command)
{
    ShellOutput result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.out.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace halvex::test
