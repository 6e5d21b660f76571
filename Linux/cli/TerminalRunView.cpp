#include "TerminalRunView.h"

#include <istream>
#include <ostream>

namespace halvex::cli {

TerminalRunView::TerminalRunView(std::ostream& out, std::istream& in, bool terminal)
    : m_out(out), m_in(in), m_bTerminal(terminal)
{}

void TerminalRunView::Finish()
{
    if (m_bLineOpen)
        m_out << "\n";
    m_bLineOpen = false;
    m_out.flush();
}

void TerminalRunView::SetProgress(std::uint64_t position, std::uint64_t maximum)
{
    m_nPosition = position;
    m_nMaximum = maximum;
}

void TerminalRunView::SetStatusText(const std::string& text)
{
    if (text.empty())
        return;
    std::string line = text;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (m_bTerminal) {
        // One line that rewrites itself: "[ 12/340] Copying file ...".
        m_out << "\r\033[K[" << m_nPosition << "/" << m_nMaximum << "] " << line;
        m_bLineOpen = true;
        m_out.flush();
    } else if (line.rfind("Copying file", 0) != 0) {
        m_out << line << "\n";
    }
}

void TerminalRunView::ShowMessage(const std::string& text)
{
    Finish();
    m_out << text << "\n";
}

bool TerminalRunView::AskYesNo(Question, const std::string& text)
{
    Finish();
    m_out << text << "\n";
    if (!m_bTerminal)
        return false;
    m_out << "[y/n] " << std::flush;
    std::string reply;
    if (!std::getline(m_in, reply))
        return false;
    return !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
}

}  // namespace halvex::cli
