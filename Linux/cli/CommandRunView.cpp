#include "CommandRunView.h"

namespace halvex::cli {

CommandRunView::CommandRunView(const BackupCommandContext& context)
    : m_terminal(*context.out, *context.in, context.terminal),
      m_inner(context.view ? *context.view : static_cast<BackupRunView&>(m_terminal))
{}

void CommandRunView::Preset(Question question, const std::string& option, const char* yes)
{
    if (option == "ask")
        return;
    (question == Question::Overwrite ? m_overwrite : m_error) = option == yes ? AnswerPolicy::Yes : AnswerPolicy::No;
}

void CommandRunView::SetProgress(std::uint64_t position, std::uint64_t maximum)
{
    m_inner.SetProgress(position, maximum);
}

void CommandRunView::SetStatusText(const std::string& text)
{
    m_inner.SetStatusText(text);
}

void CommandRunView::ShowMessage(const std::string& text)
{
    m_inner.ShowMessage(text);
}

bool CommandRunView::AskYesNo(Question question, const std::string& text)
{
    if (question == Question::RestoreDestination)
        return m_inner.AskYesNo(question, text);
    const AnswerPolicy answer = question == Question::Overwrite ? m_overwrite : m_error;
    if (answer == AnswerPolicy::Ask)
        return m_inner.AskYesNo(question, text);
    m_inner.ShowMessage(text + (answer == AnswerPolicy::Yes ? " yes" : " no"));
    return answer == AnswerPolicy::Yes;
}

void CommandRunView::EnableCancel()
{
    m_inner.EnableCancel();
}

void CommandRunView::Finish()
{
    m_inner.Finish();
}

}  // namespace halvex::cli
