#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include "sync/SyncCallback.h"

namespace halvex::app {

// The engine's messages and questions as message boxes over a window. Safe to
// call from a worker: the box is then shown on the window's thread while the
// worker waits for the answer.
class SyncUiCallback : public SyncCallback {
public:
    explicit SyncUiCallback(QWidget* owner) : m_owner(owner) {}

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    Answer Ask(const std::string& text, MessageIcon icon, bool defaultYes) override;
    std::optional<std::filesystem::path> ChooseFolder() override;

    // The folder chooser, when this callback may run it.
    void SetChooser(std::function<std::optional<std::filesystem::path>()> chooser) { m_fnChooser = std::move(chooser); }

    static int IconOf(MessageIcon icon);

protected:
    QPointer<QWidget> m_owner;

private:
    std::function<std::optional<std::filesystem::path>()> m_fnChooser;
};

}  // namespace halvex::app
