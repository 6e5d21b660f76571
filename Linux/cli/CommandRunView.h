// The backup commands' progress and questions: the caller's view or the terminal, with answers preset by options.
#pragma once

#include <string>

#include "BackupCommandContext.h"
#include "TerminalRunView.h"

namespace halvex::cli {

// The progress and questions of a backup command: on the view the caller
// gave, or else on the terminal; a question of one kind may be answered
// beforehand by an option (--on-error skip, --overwrite no) and is then only
// shown with its answer.
class CommandRunView : public BackupRunView {
public:
    explicit CommandRunView(const BackupCommandContext& context);

    // `option` "ask" leaves the question to the user; `yes` answers it yes,
    // any other word no.
    void Preset(Question question, const std::string& option, const char* yes);

    void SetProgress(std::uint64_t position, std::uint64_t maximum) override;
    void SetStatusText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(Question question, const std::string& text) override;
    void EnableCancel() override;
    void Finish() override;

private:
    // What a question of one kind gets: the user's answer, or a preset one.
    enum class AnswerPolicy { Ask, Yes, No };

    TerminalRunView m_terminal;
    BackupRunView& m_inner;
    AnswerPolicy m_error = AnswerPolicy::Ask;
    AnswerPolicy m_overwrite = AnswerPolicy::Ask;
};

}  // namespace halvex::cli
