#include <QButtonGroup>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QIcon>
#include <QVBoxLayout>

#include <algorithm>

#include "toolkit/AppText.h"
#include "toolkit/PathText.h"
#include "app/backup/BackupSession.h"
#include "app/backup/KWRestoreChildDialog.h"
#include "app/backup/KWRunDlg.h"
#include "toolkit/DWSkin.h"
#include "toolkit/KWMsgBox.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupInfoFile.h"
#include "backup/KWBackupManager.h"
#include "util/IgnoreResult.h"
#include "util/FileTime.h"
#include "toolkit/ScreenReader.h"

namespace halvex::app {

namespace bm = backup_message;
namespace fs = std::filesystem;

namespace {

// The silent information-file check needs an engine but answers no question.
class QuietCallback : public KWCallback {
public:
    void FatalError(const std::string&) override {}
    bool ErrorOccurred(const std::string&) override { return false; }
    bool OverwriteFile(const std::string&, const std::string&) override { return false; }
    bool NotifyCopyingFile(const std::string&, const std::string&) override { return true; }
};

// Folders deeper than this are not offered; a set is never that deep in practice.
constexpr int kMaxTreeDepth = 48;
constexpr int kPathRole = Qt::UserRole;

QString DateText(std::int64_t seconds)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
    const QDate date = local.date();
    const QTime time = local.time();
    return QString::asprintf("%.2d/%.2d/%.4d   %.2d:%.2d", date.month(), date.day(), date.year(), time.hour(),
                             time.minute());
}

bool IsBelow(const fs::path& path, const fs::path& folder)
{
    const fs::path relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !relative.empty() && *relative.begin() != ".." && !relative.is_absolute();
}

QPixmap FolderPixmap(QWidget* widget)
{
    QPixmap image = DWSkin::ContentImage("Folder");
    if (image.isNull())
        image = widget->style()->standardIcon(QStyle::SP_DirIcon).pixmap(16, 16);
    return image.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

KWRestoreChildDialog::KWRestoreChildDialog(QWidget* owner, BackupSession& session) : QDialog(owner), m_session(session)
{
    setWindowTitle(TextOr("backup_restore"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    auto* splitter = new QSplitter(this);
    m_tree = new QTreeWidget(splitter);
    m_tree->setHeaderHidden(true);
    m_tree->setAccessibleName(TextOr("access_backup_versions"));
    m_tree->setMinimumWidth(220);
    m_files = new QTreeWidget(splitter);
    m_files->setRootIsDecorated(false);
    m_files->setAccessibleName(TextOr("access_restore_files"));
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_files->setHeaderLabels({m_session.Label(21), m_session.Label(22), m_session.Label(23), m_session.Label(24)});
    m_files->setColumnWidth(0, 200);
    m_files->setColumnWidth(1, 70);
    m_files->setColumnWidth(2, 150);
    m_files->setMinimumWidth(560);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    layout->addWidget(new QLabel(TextOr("restore_destination_prompt"), this));
    m_desktop = new QRadioButton(TextOr("folder_desktop"), this);
    m_original = new QRadioButton(TextOr("restore_original"), this);
    m_otherChoice = new QRadioButton(TextOr("restore_other"), this);
    auto* group = new QButtonGroup(this);
    group->addButton(m_desktop);
    group->addButton(m_original);
    group->addButton(m_otherChoice);
    layout->addWidget(m_desktop);
    layout->addWidget(m_original);
    // The folder the drive names, shown before the user picks this choice.
    m_originalFolder = new QLabel(this);
    m_originalFolder->setIndent(24);
    m_originalFolder->setTextFormat(Qt::PlainText);
    layout->addWidget(m_originalFolder);
    auto* otherRow = new QHBoxLayout;
    m_other = new QLineEdit(this);
    m_other->setAccessibleName(SpokenText(m_otherChoice->text()));
    m_browse = new QPushButton(TextOr("browse_short"), this);
    otherRow->addWidget(m_otherChoice);
    otherRow->addWidget(m_other, 1);
    otherRow->addWidget(m_browse);
    layout->addLayout(otherRow);
    auto* buttons = new QHBoxLayout;
    m_restore = new QPushButton(TextOr("backup_restore"), this);
    m_restore->setEnabled(false);
    auto* cancel = new QPushButton(TextOr("cancel"), this);
    buttons->addStretch();
    buttons->addWidget(m_restore);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    const BackupProfile& profile = m_session.profile;
    if (profile.restoreChoice == RestoreChoice::Other &&
        profile.restoreFolder != m_session.strings.Label(backup_label::kInvalidPath))
        m_other->setText(PathText(profile.restoreFolder));
    // Browse belongs to the other-folder choice alone.
    connect(m_otherChoice, &QRadioButton::toggled, m_browse, &QPushButton::setEnabled);
    m_browse->setEnabled(false);
    SelectChoice(profile.restoreChoice);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) {
            m_folder = PathOfText(item->data(0, kPathRole).toString());
            FillFiles();
        }
    });
    connect(m_files, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_restore->setEnabled(!m_files->selectedItems().isEmpty()); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, m_session.Label(16), m_other->text());
        if (!chosen.isEmpty())
            ChooseOtherFolder(chosen);
    });
    m_files->header()->setSectionsClickable(true);
    connect(m_files->header(), &QHeaderView::sectionClicked, this, &KWRestoreChildDialog::SortByColumn);
    connect(m_restore, &QPushButton::clicked, this, [this] {
        if (StartRestore())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const fs::path root = m_session.BackupFolder();
    if (!m_session.driveRoot.empty() && FolderExists(root)) {
        auto* top = new QTreeWidgetItem(m_tree, {QString::fromStdString(KWBackupManager::kBackupFolder)});
        top->setData(0, kPathRole, PathText(root));
        top->setIcon(0, FolderPixmap(this));
        FillTree(top, root, 0);
        top->setExpanded(true);
        m_tree->setCurrentItem(top);
    }
}

void KWRestoreChildDialog::FillTree(QTreeWidgetItem* parent, const fs::path& folder, int depth)
{
    if (depth >= kMaxTreeDepth)
        return;
    std::vector<fs::path> folders;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::error_code kind;
        if (!IsHiddenName(entry.path().filename().string()) && entry.is_directory(kind) && !entry.is_symlink(kind))
            folders.push_back(entry.path());
    }
    std::sort(folders.begin(), folders.end());
    for (const auto& sub : folders) {
        auto* item = new QTreeWidgetItem(parent, {PathText(sub.filename())});
        item->setData(0, kPathRole, PathText(sub));
        item->setIcon(0, FolderPixmap(this));
        FillTree(item, sub, depth + 1);
    }
}

void KWRestoreChildDialog::FillFiles()
{
    m_rows.clear();
    QuietCallback quiet;
    KWBackupManager engine(quiet, m_session.strings);
    std::error_code error;
    QMimeDatabase mimes;
    for (const auto& entry : fs::directory_iterator(m_folder, error)) {
        std::error_code kind;
        if (!entry.is_regular_file(kind) || IsHiddenName(entry.path().filename().string()))
            continue;
        if (!engine.ExistsOriginalBackupFolder(entry.path()))
            continue;
        std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0)
            name.resize(name.size() - 4);
        const QMimeType type = mimes.mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension);
        m_rows.push_back({name, type.comment().toStdString(), GetFileSize(entry.path()),
                          FileModificationTime(entry.path()).value_or(0) / 1000000000, type.iconName().toStdString()});
    }
    std::sort(m_rows.begin(), m_rows.end(),
              [](const FileDescrItem& a, const FileDescrItem& b) { return a.name < b.name; });
    const InfoFileLookup lookup = ReadInfoFile(m_folder / kInfoFileName);
    m_originalFolder->setText(lookup.status.ok ? TextFormat("restore_original_folder", lookup.originalFolder)
                                               : QString());
    m_sort.Clear(m_files->header());
    ShowFiles();
}

void KWRestoreChildDialog::SortByColumn(int column)
{
    using Row = FileDescrItem;
    const auto compare = column == 1   ? GreatestFirst<&Row::size, Row>
                         : column == 2 ? GreatestFirst<&Row::description, Row>
                         : column == 3 ? GreatestFirst<&Row::modified, Row>
                                       : GreatestFirst<&Row::name, Row>;
    m_sort.Click(column, m_rows, compare, m_files->header());
    ShowFiles();
}

void KWRestoreChildDialog::ShowFiles()
{
    m_files->clear();
    QList<QTreeWidgetItem*> items;
    const std::size_t count = m_rows.size();
    for (std::size_t i = 0; i < count; ++i) {
        const FileDescrItem& row = m_sort.Shown(m_rows, i);
        auto* item =
            new QTreeWidgetItem({QString::fromStdString(row.name), QString::fromStdString(ListSizeText(row.size)),
                                 QString::fromStdString(row.description), DateText(row.modified)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        QIcon icon = QIcon::fromTheme(QString::fromStdString(row.icon));
        item->setIcon(0, icon.isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : icon);
        items.append(item);
    }
    m_files->addTopLevelItems(items);
    m_restore->setEnabled(false);
}

bool KWRestoreChildDialog::SelectFolder(const fs::path& folder)
{
    const fs::path wanted = folder.lexically_normal();
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if (PathOfText((*it)->data(0, kPathRole).toString()).lexically_normal() == wanted) {
            m_tree->setCurrentItem(*it);
            return true;
        }
    }
    return false;
}

void KWRestoreChildDialog::SelectChoice(RestoreChoice choice)
{
    (choice == RestoreChoice::Desktop ? m_desktop
     : choice == RestoreChoice::Other ? m_otherChoice
                                      : m_original)
        ->setChecked(true);
}

void KWRestoreChildDialog::ChooseOtherFolder(const QString& folder)
{
    m_other->setText(QString::fromStdString(WithTrailingSlash(folder.toStdString())));
    m_otherChoice->setChecked(true);
    IgnoreResult(StoreRestoreSettings(RestoreChoice::Other),
                 "a failure was shown in the window; the choice stays on screen");
}

std::string KWRestoreChildDialog::RestoreFolderText(RestoreChoice choice) const
{
    const BackupStrings& strings = m_session.strings;
    switch (choice) {
    case RestoreChoice::Desktop:
        if (m_session.desktopFolder.empty())
            return strings.Label(backup_label::kInvalidPath);
        return WithTrailingSlash((m_session.desktopFolder / strings.Label(backup_label::kRestoreFolderName)).string());
    case RestoreChoice::Original: return strings.Label(backup_label::kOriginalFolder);
    case RestoreChoice::Other: break;
    }
    return WithTrailingSlash(m_other->text().trimmed().toStdString());
}

bool KWRestoreChildDialog::StoreRestoreSettings(RestoreChoice choice)
{
    m_session.profile.restoreChoice = choice;
    m_session.profile.restoreFolder = RestoreFolderText(choice);
    const Status written = WriteRestoreSettings(m_session.CurrentProfilePath(), m_session.profile);
    if (written)
        return true;
    KWMsgBox::Show(this, m_session.MessageAbout(bm::kProfileUnreadable, written.detail), KWMsgBox::kStop);
    return false;
}

RestoreChoice KWRestoreChildDialog::Choice() const
{
    return m_desktop->isChecked()       ? RestoreChoice::Desktop
           : m_otherChoice->isChecked() ? RestoreChoice::Other
                                        : RestoreChoice::Original;
}

bool KWRestoreChildDialog::StartRestore()
{
    const RestoreChoice choice = Choice();
    if (choice == RestoreChoice::Other && m_other->text().trimmed().isEmpty()) {
        KWMsgBox::Show(this, m_session.Label(17), KWMsgBox::kCaution);
        return false;
    }
    const auto selected = m_files->selectedItems();
    if (selected.isEmpty()) {
        KWMsgBox::Show(this, m_session.Message(bm::kNoFilesSelected), KWMsgBox::kCaution);
        return false;
    }
    std::vector<fs::path> pool;
    for (int row = 0; row < m_files->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_files->topLevelItem(row);
        if (!item->isSelected())
            continue;
        const fs::path path = m_folder / PathOfText(item->text(0));
        fs::path zipped = path;
        zipped += ".zip";
        pool.push_back(FileExists(zipped) ? zipped : path);
    }
    // Every entry, not only the first, must come from the drive's backup folder.
    for (const auto& entry : pool) {
        if (m_session.driveRoot.empty() || !IsBelow(entry, m_session.BackupFolder())) {
            KWMsgBox::Show(this, m_session.Message(bm::kCannotRestoreHere), KWMsgBox::kStop);
            return false;
        }
    }
    if (!StoreRestoreSettings(choice))
        return false;
    KWRestoreProcessDlg progress(this, m_session, std::move(pool));
    progress.Execute();
    return true;
}

}  // namespace halvex::app
