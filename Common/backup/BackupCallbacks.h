#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "backup/KWCallback.h"

namespace halvex {
class BackupStrings;

// What the callbacks need from the window (or terminal) that owns the run.
// Called on the engine's thread: a window turns these into queued signals and
// blocks the worker on a question until its thread answers.
class BackupRunView {
public:
    enum class Question { ContinueAfterError, Overwrite };

    virtual ~BackupRunView() = default;
    virtual void SetProgress(std::uint64_t position, std::uint64_t maximum) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    // True for Yes.
    virtual bool AskYesNo(Question question, const std::string& text) = 0;
    virtual void EnableCancel() {}
    // The run is over: end a progress line.
    virtual void Finish() {}
};

// Answers the questions of one kind by a fixed policy (command-line options
// such as --on-error skip) and passes everything else through.
class PolicyRunView : public BackupRunView {
public:
    enum class Answer { Ask, Yes, No };

    explicit PolicyRunView(BackupRunView& inner) : m_inner(inner) {}
    void SetAnswer(Question question, Answer answer)
    {
        (question == Question::Overwrite ? m_overwrite : m_error) = answer;
    }

    void SetProgress(std::uint64_t position, std::uint64_t maximum) override
    {
        m_inner.SetProgress(position, maximum);
    }
    void SetStatusText(const std::string& text) override { m_inner.SetStatusText(text); }
    void ShowMessage(const std::string& text) override { m_inner.ShowMessage(text); }
    bool AskYesNo(Question question, const std::string& text) override
    {
        const Answer answer = question == Question::Overwrite ? m_overwrite : m_error;
        if (answer == Answer::Ask)
            return m_inner.AskYesNo(question, text);
        m_inner.ShowMessage(text + (answer == Answer::Yes ? " yes" : " no"));
        return answer == Answer::Yes;
    }
    void EnableCancel() override { m_inner.EnableCancel(); }
    void Finish() override { m_inner.Finish(); }

private:
    BackupRunView& m_inner;
    Answer m_error = Answer::Ask;
    Answer m_overwrite = Answer::Ask;
};
}  // namespace halvex

// The callback of a backup run: counts files onto the progress bar, reads the
// window's cancel request once per file, and asks whether to go on after an
// error (Yes skips the file).
class KWCallbackBackup : public KWCallback {
public:
    KWCallbackBackup(halvex::BackupRunView& view, const halvex::BackupStrings& strings,
                     const std::atomic<bool>& cancelRequested);
    void SetMaximum(std::uint64_t maximum) { m_nMaximum = maximum; }
    std::uint64_t FilesDone() const { return m_nDone; }

    void FatalError(const std::string& text) override;
    bool ErrorOccurred(const std::string& text) override;
    bool OverwriteFile(const std::string& folder, const std::string& name) override;
    bool NotifyCopyingFile(const std::string& folder, const std::string& name) override;

protected:
    bool CountFile(const std::string& status);

    halvex::BackupRunView& m_view;
    const halvex::BackupStrings& m_strings;
    const std::atomic<bool>& m_bCancelRequested;
    std::uint64_t m_nMaximum = 0;
    std::uint64_t m_nDone = 0;
};

// The callback of a restore run: asks before a newer file is replaced, and
// shows the information-file errors that end the run.
class KWCallbackRestore : public KWCallbackBackup {
public:
    using KWCallbackBackup::KWCallbackBackup;
    void FatalError(const std::string& text) override;
    bool OverwriteFile(const std::string& folder, const std::string& name) override;
    bool NotifyCopyingFile(const std::string& folder, const std::string& name) override;
};

// The callback of the configuration window's file-list refresh.
class KWCallbackDetails : public KWCallback {
public:
    KWCallbackDetails(halvex::BackupRunView& view, const halvex::BackupStrings& strings);
    void FatalError(const std::string& text) override;
    bool ErrorOccurred(const std::string& text) override;
    bool OverwriteFile(const std::string& folder, const std::string& name) override;
    bool NotifyCopyingFile(const std::string& folder, const std::string& name) override;

private:
    halvex::BackupRunView& m_view;
    const halvex::BackupStrings& m_strings;
};
