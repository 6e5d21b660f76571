#include "backup/BackupCallbacks.h"

#include <algorithm>

#include "backup/BackupStrings.h"

using halvex::BackupRunView;
namespace bm = halvex::backup_message;

namespace {

// Asks whether to go on after an error: Yes goes on without this file, No
// stops the run. True when the run is to stop.
bool AskToStop(BackupRunView& view, const halvex::BackupStrings& strings, const std::string& text)
{
    return !view.AskYesNo(BackupRunView::Question::ContinueAfterError, text + "\n" + strings.Message(bm::kContinue));
}

}  // namespace

KWCallbackBackup::KWCallbackBackup(BackupRunView& view, const halvex::BackupStrings& strings,
                                   const std::atomic<bool>& cancelRequested)
    : m_view(view), m_strings(strings), m_bCancelRequested(cancelRequested)
{}

bool KWCallbackBackup::CountFile(const std::string& status)
{
    ++m_nDone;
    m_view.SetProgress(std::min(m_nDone, m_nMaximum), m_nMaximum);
    m_view.SetStatusText(status);
    m_view.EnableCancel();
    if (m_bCancelRequested.load()) {
        m_view.ShowMessage(m_strings.Message(bm::kCancelled));
        return false;
    }
    return true;
}

void KWCallbackBackup::FatalError(const std::string&) {}

bool KWCallbackBackup::ErrorOccurred(const std::string& text)
{
    return AskToStop(m_view, m_strings, text);
}

bool KWCallbackBackup::OverwriteFile(const std::string&, const std::string&)
{
    return true;
}

bool KWCallbackBackup::NotifyCopyingFile(const std::string& folder, const std::string& name)
{
    return CountFile("Copying file \"" + name + "\" from \"" + folder + "\"\n");
}

void KWCallbackRestore::FatalError(const std::string& text)
{
    m_view.ShowMessage(text);
}

bool KWCallbackRestore::OverwriteFile(const std::string& folder, const std::string& name)
{
    return m_view.AskYesNo(
        BackupRunView::Question::Overwrite,
        "''" + folder + name + "'' " + m_strings.Message(bm::kIsNewer) + "\n" + m_strings.Message(bm::kOverwrite));
}

bool KWCallbackRestore::NotifyCopyingFile(const std::string&, const std::string& name)
{
    return CountFile("Copying file \"" + name + "\"\n");
}

KWCallbackDetails::KWCallbackDetails(BackupRunView& view, const halvex::BackupStrings& strings)
    : m_view(view), m_strings(strings)
{}

void KWCallbackDetails::FatalError(const std::string&) {}

bool KWCallbackDetails::ErrorOccurred(const std::string& text)
{
    return AskToStop(m_view, m_strings, text);
}

bool KWCallbackDetails::OverwriteFile(const std::string&, const std::string&)
{
    return false;
}

bool KWCallbackDetails::NotifyCopyingFile(const std::string&, const std::string&)
{
    return true;
}
