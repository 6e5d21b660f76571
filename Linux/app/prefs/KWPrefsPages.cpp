#include "app/prefs/KWPrefsPages.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "app/sync/SyncFolderSupport.h"
#include "app/sync/SyncUiCallback.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"
#include "toolkit/PathText.h"
#include "toolkit/ScreenReader.h"

using namespace halvex;

namespace {

QLabel* Hint(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setContentsMargins(24, 0, 0, 4);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

QVBoxLayout* PageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    return layout;
}

}  // namespace

KWPrefsGeneral::KWPrefsGeneral()
    : m_showMain(new QCheckBox(TextOr("prefs_show_main"))), m_checkUpdate(new QCheckBox(TextOr("prefs_check_update")))
{
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(m_showMain);
    layout->addWidget(Hint(TextOr("prefs_show_main_hint")));
    layout->addWidget(m_checkUpdate);
    layout->addWidget(Hint(TextOr("prefs_check_update_hint")));
    layout->addStretch(1);
    m_showMain->setChecked(KXAppPrefs::Bool(prefkey::kShowMain));
    m_checkUpdate->setChecked(KXAppPrefs::Bool(prefkey::kCheckUpdate));
}

bool KWPrefsGeneral::Save()
{
    bool changed = KXAppPrefs::Set(prefkey::kShowMain, m_showMain->isChecked());
    changed = KXAppPrefs::Set(prefkey::kCheckUpdate, m_checkUpdate->isChecked()) || changed;
    return changed;
}

KWPrefsSync::KWPrefsSync(const PrefsContext& context)
    : m_context(context),
      m_syncLog(new QCheckBox(TextOr("prefs_sync_log"))),
      m_subfolders(new QCheckBox(TextOr("prefs_subfolders"))),
      m_folder(new QLineEdit),
      m_browse(new QPushButton(TextOr("browse")))
{
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(m_syncLog);
    layout->addWidget(Hint(TextOr("prefs_sync_log_hint")));
    layout->addWidget(m_subfolders);
    layout->addWidget(Hint(TextOr("sync_subfolders_note")));

    auto* group = new QGroupBox(TextOr("prefs_sync_folder"));
    m_folder->setAccessibleName(TextOr("access_sync_folder_path"));
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    const QPixmap folderImage = DWSkin::ContentImage("Folder.png");
    if (!folderImage.isNull())
        icon->setPixmap(folderImage.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    row->addWidget(icon);
    row->addWidget(m_folder, 1);
    row->addWidget(m_browse);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(row);
    groupLayout->addWidget(new QLabel(TextFormat("prefs_sync_folder_pair", SyncUsbFolderName())));
    layout->addSpacing(8);
    layout->addWidget(group);
    layout->addStretch(1);

    m_syncLog->setChecked(KXAppPrefs::Bool(prefkey::kSyncLog));
    m_subfolders->setChecked(KXAppPrefs::Bool(prefkey::kSyncSubfolders));
    m_strStored = ReadComputerFolder(SyncIndexPath(m_context.sync.dataPath), m_context.sync.computerKey);
    m_folder->setText(PathText(m_strStored));
    m_folder->setReadOnly(true);
    m_folder->setPlaceholderText(TextOr("prefs_no_folder"));
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (!m_context.browse)
            return;
        const std::filesystem::path start =
            m_folder->text().isEmpty() ? std::filesystem::path{} : PathOfText(m_folder->text());
        if (const auto picked = m_context.browse(this, start))
            m_folder->setText(PathText(*picked));
    });
}

bool KWPrefsSync::Save()
{
    bool changed = KXAppPrefs::Set(prefkey::kSyncLog, m_syncLog->isChecked());
    const std::string folder = m_folder->text().toStdString();
    if (!folder.empty() && folder != m_strStored) {
        app::SyncUiCallback callback(window());
        if (SetSyncFolder(m_context.sync, folder, callback) == FolderChange::Stored) {
            m_strStored = folder;
            if (m_context.recordSyncChoice)
                m_context.recordSyncChoice(folder);
        }
    }
    changed = KXAppPrefs::Set(prefkey::kSyncSubfolders, m_subfolders->isChecked()) || changed;
    return changed;
}

KWPrefsAdvanced::KWPrefsAdvanced(const PrefsContext& context)
    : m_context(context),
      m_autoRun(new QCheckBox(TextOr("prefs_autorun"))),
      m_ask(new QCheckBox(TextOr("prefs_ask_autorun"))),
      m_trusted(new QListWidget),
      m_forget(new QPushButton(TextOr("prefs_forget_drive"))),
      m_bAdministrator(context.autoRun.isAdministrator && context.autoRun.isAdministrator())
{
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(m_autoRun);
    layout->addWidget(Hint(TextOr("prefs_autorun_hint")));
    if (!m_bAdministrator)
        layout->addWidget(Hint(TextOr("autorun_no_admin")));
    layout->addWidget(m_ask);
    layout->addSpacing(6);
    auto* trustedLabel = new QLabel(TextOr("prefs_trusted_drives"));
    NameByLabel(trustedLabel, m_trusted);
    layout->addWidget(trustedLabel);
    auto* row = new QHBoxLayout;
    row->addWidget(m_trusted, 1);
    row->addWidget(m_forget, 0, Qt::AlignTop);
    layout->addLayout(row, 1);
    m_autoRun->setChecked(m_bAdministrator && m_context.autoRun.isInstalled && m_context.autoRun.isInstalled());
    m_autoRun->setEnabled(m_bAdministrator);
    m_ask->setChecked(KXAppPrefs::Bool(prefkey::kAskAutoRun));

    if (m_context.autoRun.trustedDrives)
        m_drives = m_context.autoRun.trustedDrives();
    const QString serial = TextOr("prefs_trusted_drive_serial");
    for (const DriveIdentity& drive : m_drives) {
        // The serial tells apart sticks of one make that share a label.
        QString text = QString::fromStdString(drive.label) + QStringLiteral("  (") +
                       QString::fromStdString(drive.vendorId) + QStringLiteral(":") +
                       QString::fromStdString(drive.productId);
        if (!drive.serial.empty())
            text += QStringLiteral(", ") + serial + QStringLiteral(" ") + QString::fromStdString(drive.serial);
        if (!drive.uuid.empty())
            text += QStringLiteral(", UUID ") + QString::fromStdString(drive.uuid);
        m_trusted->addItem(text + QStringLiteral(")"));
    }
    m_trusted->setSelectionMode(QAbstractItemView::SingleSelection);
    m_forget->setEnabled(false);
    connect(m_trusted, &QListWidget::currentRowChanged, this, [this](int row) { m_forget->setEnabled(row >= 0); });
    connect(m_forget, &QPushButton::clicked, this, &KWPrefsAdvanced::ForgetSelected);
}

void KWPrefsAdvanced::ForgetSelected()
{
    const int row = m_trusted->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_drives.size())
        return;
    m_forgotten.push_back(m_drives[static_cast<std::size_t>(row)]);
    m_drives.erase(m_drives.begin() + row);
    delete m_trusted->takeItem(row);
    m_forget->setEnabled(m_trusted->currentRow() >= 0);
}

bool KWPrefsAdvanced::Save()
{
    return KXAppPrefs::Set(prefkey::kAskAutoRun, m_ask->isChecked());
}

void KWPrefsAdvanced::ApplyAutoRun()
{
    for (const DriveIdentity& drive : m_forgotten) {
        const Status forgotten = m_context.autoRun.forgetDrive ? m_context.autoRun.forgetDrive(drive) : Status::Ok();
        if (!forgotten) {
            app::ReportTrustFailure(window(), forgotten);
            break;
        }
    }
    m_forgotten.clear();
    if (!m_bAdministrator)
        return;
    const bool installed = m_context.autoRun.isInstalled && m_context.autoRun.isInstalled();
    if (m_autoRun->isChecked() && !installed)
        app::EnableAutoRunFromThisDrive(window(), m_context.autoRun);
    else if (!m_autoRun->isChecked() && installed)
        app::UninstallAutoRun(window(), m_context.autoRun);
}
