#pragma once

#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>

namespace halvex::cli {

// dravane's side of the engines' progress and question callbacks. Results
// go to standard output, messages and progress to standard error, so a
// script can read the results. Progress is drawn (one line, redrawn at most
// ten times a second) only when standard error is a terminal. Progress may
// be reported from an engine's worker thread.
class Console {
public:
    struct Terminal {
        bool errorIsTerminal = false;  // draw progress
        bool inputIsTerminal = false;  // ask questions interactively
    };

    Console(std::ostream& out, std::ostream& err, std::istream& in, Terminal terminal);

    std::ostream& out() { return m_out; }
    // Messages: clears a progress line first.
    void message(std::string_view text);
    void error(std::string_view text);

    // "text  42% (420 of 1000)"; total 0 draws just the text.
    void progress(std::string_view text, std::uint64_t done, std::uint64_t total);
    void endProgress();

    // --yes answers every question with yes. Otherwise a terminal is asked
    // (y/yes, n/no or an empty line for no); without a terminal the answer is
    // no, so a script never does something it was not told to.
    bool askYesNo(std::string_view question);
    void setAssumeYes(bool yes) { m_assumeYes = yes; }
    bool assumeYes() const { return m_assumeYes; }

    // What standard error and input are, for the real program.
    static Terminal DetectTerminal();

private:
    void clearProgressLocked();

    std::ostream& m_out;
    std::ostream& m_err;
    std::istream& m_in;
    Terminal m_terminal;
    bool m_assumeYes = false;
    std::mutex m_mutex;
    std::size_t m_progressWidth = 0;  // characters of the drawn progress line
    std::int64_t m_lastDrawMs = 0;
};

}  // namespace halvex::cli
