// The backup callbacks' owner on plain streams, for the backup commands without a view of their own.
#pragma once

#include <iosfwd>
#include <string>

#include "backup/BackupCallbacks.h"

namespace halvex::cli {

// The backup callbacks' owner on a plain stream: a progress line on a
// terminal, messages as lines, questions read from the input (without a
// terminal the answer is no).
class TerminalRunView : public BackupRunView {
public:
    TerminalRunView(std::ostream& out, std::istream& in, bool terminal);
    void Finish() override;

    void SetProgress(std::uint64_t position, std::uint64_t maximum) override;
    void SetStatusText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(Question question, const std::string& text) override;

private:
    std::ostream& m_out;
    std::istream& m_in;
    bool m_bTerminal;
    bool m_bLineOpen = false;
    std::uint64_t m_nPosition = 0;
    std::uint64_t m_nMaximum = 0;
};

}  // namespace halvex::cli
