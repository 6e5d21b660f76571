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
    // RestoreDestination: restore into an original folder this user did not
    // back the set up from on this computer; never answered by a preset.
    enum class Question { ContinueAfterError, Overwrite, RestoreDestination };

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
