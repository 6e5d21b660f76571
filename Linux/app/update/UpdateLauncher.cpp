#include <QPointer>
#include <QTimer>

#include <unistd.h>

#include <thread>

#include "system/KMSystem.h"
#include "app/main/KWMainApp.h"
#include "app/main/KWPelloryDlg.h"
#include "app/main/MainCommand.h"
#include "app/main/ToolWindows.h"
#include "app/update/UpdateFlow.h"
#include "config/DriveConfiguration.h"
#include "prefs/KXAppPrefs.h"
#include "util/SuiteVersion.h"

namespace halvex::app {

namespace {

UpdateActions ActionsFor(KWMainApp& app)
{
    UpdateActions actions;
    actions.handOff.bundlePath = app.Paths().BundlePath();
    actions.handOff.tempFolder = app.Paths().TempFolder();
    actions.handOff.pid = ::getpid();
    const DriveConfiguration configuration = DriveConfiguration::Load(app.Paths().ResourcesPath());
    actions.check.configuredBaseAddress = configuration.updateBaseUrl;
    actions.check.updateKeys = configuration.updatePublicKeys;
    actions.check.version = DriveSuiteVersionForUpdate(app.Paths().ProgramPath());
    actions.startProgram = [](const std::filesystem::path& program, const std::vector<std::string>& arguments) {
        return KMSystem::StartProgram(program, arguments).status();
    };
    actions.quit = [&app] {
        if (KWPelloryDlg* window = app.MainWindow())
            window->OnCommand(kCmdExit);
    };
    return actions;
}

// The start-up check in the background. It lives as a child of the main
// window: its end cancels a request still under way. An offer is asked
// about once no tool window is open, so an update never ends a sync.
class BackgroundUpdateCheck : public QObject {
public:
    BackgroundUpdateCheck(QWidget* owner, UpdateActions actions)
        : QObject(owner), m_owner(owner), m_actions(std::move(actions))
    {
        m_retry.setInterval(1000);
        connect(&m_retry, &QTimer::timeout, this, [this] { Offer(); });
        // The worker only queues the offer; the thread is joined before this
        // object goes, and a queued call to a destroyed object is dropped.
        m_thread = CheckUpdateAsync(m_actions.check, [this](const UpdateOffer& offer) {
            QMetaObject::invokeMethod(
                this,
                [this, offer] {
                    m_offer = offer;
                    Offer();
                },
                Qt::QueuedConnection);
        });
    }

private:
    void Offer()
    {
        auto* main = qobject_cast<KWPelloryDlg*>(m_owner.data());
        if (main && main->ToolWindowOpen()) {
            m_retry.start();
            return;
        }
        m_retry.stop();
        if (m_owner)
            OfferUpdate(m_owner, m_offer, m_actions);
    }

    QPointer<QWidget> m_owner;
    UpdateActions m_actions;
    UpdateOffer m_offer;
    QTimer m_retry;
    std::jthread m_thread;  // last: stopped and joined first
};

}  // namespace

void CheckForUpdates(QWidget* owner, KWMainApp& app)
{
    CheckForUpdatesInteractive(owner, ActionsFor(app));
}

void CheckForUpdatesInBackground(QWidget* owner, KWMainApp& app)
{
    if (!KXAppPrefs::Bool(halvex::prefkey::kCheckUpdate) || !owner)
        return;
    new BackgroundUpdateCheck(owner, ActionsFor(app));
}

}  // namespace halvex::app
