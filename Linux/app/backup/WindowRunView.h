#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "backup/BackupCallbacks.h"

class QWidget;

namespace halvex::app {

// The engine's callbacks seen from a window: progress and texts are posted to
// the window's thread; messages and questions block the worker until the box
// on the window's thread is answered. Never touches a widget itself.
class WindowRunView : public BackupRunView {
public:
    explicit WindowRunView(QWidget* window) : m_window(window) {}
    std::function<void(std::uint64_t, std::uint64_t)> onProgress;
    std::function<void(const QString&)> onStatus;
    std::function<void()> onEnableCancel;

    void SetProgress(std::uint64_t position, std::uint64_t maximum) override;
    void SetStatusText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(Question question, const std::string& text) override;
    void EnableCancel() override;

private:
    QWidget* m_window;
};

}  // namespace halvex::app
