#include "Console.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <istream>
#include <ostream>

namespace halvex::cli {

namespace {

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

Console::Console(std::ostream& out, std::ostream& err, std::istream& in, Terminal terminal)
    : m_out(out), m_err(err), m_in(in), m_terminal(terminal)
{}

Console::Terminal Console::DetectTerminal()
{
    return Terminal{::isatty(STDERR_FILENO) == 1, ::isatty(STDIN_FILENO) == 1};
}

void Console::clearProgressLocked()
{
    if (m_progressWidth == 0)
        return;
    m_err << '\r' << std::string(m_progressWidth, ' ') << '\r' << std::flush;
    m_progressWidth = 0;
}

void Console::message(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    clearProgressLocked();
    m_err << text << '\n' << std::flush;
}

void Console::error(std::string_view text)
{
    message(text);
}

void Console::progress(std::string_view text, std::uint64_t done, std::uint64_t total)
{
    if (!m_terminal.errorIsTerminal)
        return;
    std::lock_guard lock(m_mutex);
    const std::int64_t now = NowMs();
    if (m_progressWidth != 0 && now - m_lastDrawMs < 100 && done < total)
        return;
    m_lastDrawMs = now;
    std::string line(text.substr(0, 60));
    if (total > 0) {
        const std::uint64_t part = std::min(done, total);
        const std::uint64_t percent = total > UINT64_MAX / 100 ? part / (total / 100) : part * 100 / total;
        line += "  " + std::to_string(percent) + "% (" + std::to_string(done) + " of " + std::to_string(total) + ")";
    }
    const std::size_t width = line.size();
    if (width < m_progressWidth)
        line += std::string(m_progressWidth - width, ' ');
    m_err << '\r' << line << std::flush;
    m_progressWidth = std::max(width, m_progressWidth);
}

void Console::endProgress()
{
    std::lock_guard lock(m_mutex);
    clearProgressLocked();
}

bool Console::askYesNo(std::string_view question)
{
    std::lock_guard lock(m_mutex);
    clearProgressLocked();
    if (m_assumeYes) {
        m_err << question << " [y/N] yes (--yes)\n" << std::flush;
        return true;
    }
    if (!m_terminal.inputIsTerminal) {
        m_err << question << " [y/N] no (not a terminal; --yes answers yes)\n" << std::flush;
        return false;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_err << question << " [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(m_in, answer))
            return false;
        answer = Lower(answer);
        answer.erase(0, answer.find_first_not_of(" \t"));
        answer.erase(answer.find_last_not_of(" \t\r") + 1);
        if (answer == "y" || answer == "yes")
            return true;
        if (answer.empty() || answer == "n" || answer == "no")
            return false;
    }
    return false;
}

}  // namespace halvex::cli
