#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "toolkit/AppText.h"
#include "toolkit/PathText.h"
#include "app/backup/BackupSession.h"
#include "app/backup/KWBackupConfigureDlg.h"
#include "app/backup/KWCategoryDlgs.h"
#include "app/backup/KWUpdateWaitDialog.h"
#include "app/backup/WindowRunView.h"
#include "toolkit/KWMsgBox.h"
#include "backup/BackupFileUtils.h"
#include "backup/KWBackupManager.h"
#include "strings/KXStrings.h"
#include "toolkit/ScreenReader.h"

namespace halvex::app {

namespace bm = backup_message;

namespace {

// The category rows are check boxes whose changes follow the "All" rules, so
// the list's own toggling is replaced: a click anywhere on a row (the list's
// itemClicked) and Space on the current row each toggle once, through the
// window. A screen reader still meets check boxes with their state.
class CategoryRowDelegate : public QStyledItemDelegate {
public:
    CategoryRowDelegate(std::function<void(int row)> toggle, QObject* parent)
        : QStyledItemDelegate(parent), m_toggle(std::move(toggle))
    {}

    bool editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem&, const QModelIndex& index) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: return true;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() != Qt::Key_Space && key->key() != Qt::Key_Select) || key->modifiers() != Qt::NoModifier)
                return false;
            m_toggle(index.row());
            return true;
        }
        default: return false;
        }
    }

private:
    std::function<void(int row)> m_toggle;
};

}  // namespace

KWBackupConfigureDlg::KWBackupConfigureDlg(QWidget* owner, BackupSession& session, bool newProfile)
    : QDialog(owner), m_session(session), m_newProfile(newProfile)
{
    setWindowTitle(TextOr(newProfile ? "new_backup_profile" : "backup_profile"));
    setModal(true);
    if (newProfile) {
        m_profile = BackupProfile::WithDefaultLists(session.strings);
        m_profile.macAddress = session.identity;
    } else {
        m_profile = session.profile;
    }

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(18, 16, 18, 14);
    outer->setSpacing(18);
    auto* left = new QVBoxLayout;
    outer->addLayout(left);

    auto* nameLabel = new QLabel(TextOr("backup_profile_name"), this);
    left->addWidget(nameLabel);
    m_name = new QLineEdit(QString::fromStdString(m_profile.setName), this);
    NameByLabel(nameLabel, m_name);
    left->addWidget(m_name);
    auto* sourceLabel = new QLabel(TextOr("backup_source_folder"), this);
    left->addWidget(sourceLabel);
    auto* sourceRow = new QHBoxLayout;
    m_source = new QLineEdit(PathText(m_profile.sourceFolder), this);
    NameByLabel(sourceLabel, m_source);
    m_source->setMinimumWidth(260);
    auto* browse = new QPushButton(TextOr("browse"), this);
    sourceRow->addWidget(m_source, 1);
    sourceRow->addWidget(browse);
    left->addLayout(sourceRow);
    auto* categoriesLabel = new QLabel(TextOr("backup_categories"), this);
    left->addWidget(categoriesLabel);
    m_categoriesList = new QListWidget(this);
    NameByLabel(categoriesLabel, m_categoriesList);
    m_categoriesList->setMinimumHeight(170);
    left->addWidget(m_categoriesList, 1);
    auto* categoryRow = new QHBoxLayout;
    auto* create = new QPushButton(TextOr("category_create"), this);
    auto* edit = new QPushButton(TextOr("category_edit"), this);
    m_filters = new QPushButton(TextOr("show_filters"), this);
    categoryRow->addWidget(create);
    categoryRow->addWidget(edit);
    categoryRow->addStretch();
    categoryRow->addWidget(m_filters);
    left->addLayout(categoryRow);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(TextOr("save"), this);
    auto* cancel = new QPushButton(TextOr("cancel"), this);
    save->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    left->addSpacing(8);
    left->addLayout(buttons);

    m_filePanel = new QWidget(this);
    auto* panel = new QVBoxLayout(m_filePanel);
    panel->setContentsMargins(0, 0, 0, 0);
    m_files = new QTreeWidget(m_filePanel);
    m_files->setColumnCount(3);
    m_files->setAccessibleName(TextOr("access_profile_files"));
    m_files->setHeaderLabels({TextOr("filename_column"), TextOr("size"), TextOr("category_column")});
    m_files->setRootIsDecorated(false);
    m_files->setUniformRowHeights(true);
    m_files->setMinimumWidth(460);
    m_files->header()->setSectionsClickable(true);
    m_files->header()->setSortIndicatorShown(false);
    m_files->setColumnWidth(0, 220);
    m_files->setColumnWidth(1, 80);
    m_path = new QLabel(m_filePanel);
    m_path->setMinimumWidth(460);
    panel->addWidget(m_files, 1);
    panel->addWidget(m_path);
    outer->addWidget(m_filePanel, 1);
    m_filePanel->hide();
    // The file list, beside the categories when shown, comes before Save.
    setTabOrder(m_filters, m_files);

    connect(browse, &QPushButton::clicked, this, &KWBackupConfigureDlg::Browse);
    m_categoriesList->setItemDelegate(new CategoryRowDelegate([this](int row) { ClickCategory(row); }, this));
    connect(m_categoriesList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ClickCategory(m_categoriesList->row(item)); });
    // A check changed from outside the window (a screen reader's toggle)
    // goes through the same rules.
    connect(m_categoriesList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = m_categoriesList->row(item);
        if (row >= 0 && (item->checkState() == Qt::Checked) != CategoryChecked(row))
            ClickCategory(row);
    });
    connect(create, &QPushButton::clicked, this, &KWBackupConfigureDlg::CreateCategory);
    connect(edit, &QPushButton::clicked, this, &KWBackupConfigureDlg::EditCategory);
    connect(m_filters, &QPushButton::clicked, this, &KWBackupConfigureDlg::ToggleFilters);
    connect(m_files->header(), &QHeaderView::sectionClicked, this, &KWBackupConfigureDlg::SortByColumn);
    connect(m_files, &QTreeWidget::itemSelectionChanged, this, &KWBackupConfigureDlg::ShowSelectedPath);
    connect(save, &QPushButton::clicked, this, [this] {
        if (Save())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    FillCategories();
}

std::vector<QString> KWBackupConfigureDlg::ShownNames() const
{
    std::vector<QString> names;
    names.reserve(static_cast<std::size_t>(m_categoriesList->count()));
    for (int row = 0; row < m_categoriesList->count(); ++row)
        names.push_back(m_categoriesList->item(row)->text());
    return names;
}

bool KWBackupConfigureDlg::CategoryChecked(int row) const
{
    const std::size_t predefined = kPredefinedCategories.size();
    if (row < static_cast<int>(predefined))
        return m_profile.predefinedChecked[static_cast<std::size_t>(row)];
    return m_profile.userCategories[static_cast<std::size_t>(row) - predefined].checked;
}

void KWBackupConfigureDlg::FillCategories()
{
    std::vector<QString> names;
    for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i)
        names.push_back(QString::fromStdString(m_session.strings.Label(kPredefinedCategories[i].nameLabel)));
    for (const auto& category : m_profile.userCategories)
        names.push_back(QString::fromStdString(category.name));
    // The rows stay when only checks changed, so the current row and the
    // keyboard's place in the list stay too.
    const QSignalBlocker quiet(m_categoriesList);
    if (ShownNames() != names) {
        m_categoriesList->clear();
        for (const QString& name : names) {
            auto* item = new QListWidgetItem(name, m_categoriesList);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        }
    }
    for (int row = 0; row < m_categoriesList->count(); ++row)
        m_categoriesList->item(row)->setCheckState(CategoryChecked(row) ? Qt::Checked : Qt::Unchecked);
}

void KWBackupConfigureDlg::ClickCategory(int row)
{
    const std::size_t predefined = kPredefinedCategories.size();
    if (row < 0 || row >= static_cast<int>(predefined + m_profile.userCategories.size()))
        return;
    const bool all = m_profile.predefinedChecked[kAllCategory];
    if (row == static_cast<int>(kAllCategory)) {
        m_profile.predefinedChecked.fill(!all);
        for (auto& category : m_profile.userCategories)
            category.checked = !all;
    } else if (all) {
        // Nothing changes, but a check drawn by a toggle from outside is put back.
        FillCategories();
        return;
    } else if (row < static_cast<int>(predefined)) {
        m_profile.predefinedChecked[row] = !m_profile.predefinedChecked[row];
    } else {
        auto& category = m_profile.userCategories[row - predefined];
        category.checked = !category.checked;
    }
    FillCategories();
    m_categoriesList->setCurrentRow(row);
    if (m_filePanel->isVisible())
        RefreshFiles();
}

void KWBackupConfigureDlg::Browse()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, m_session.Label(14), m_source->text());
    if (!chosen.isEmpty())
        m_source->setText(chosen);
}

void KWBackupConfigureDlg::CreateCategory()
{
    KWCreateCatDlg create(this, m_session.strings, m_profile, ShownNames());
    if (create.exec() != QDialog::Accepted)
        return;
    FillCategories();
    if (m_filePanel->isVisible())
        RefreshFiles();
}

void KWBackupConfigureDlg::EditCategory()
{
    if (m_profile.userCategories.empty()) {
        KWMsgBox::Show(this, m_session.Message(25));
        return;
    }
    KWEditCatDlg edit(this, m_session.strings, m_profile);
    edit.exec();
    FillCategories();
    if (m_filePanel->isVisible())
        RefreshFiles();
}

void KWBackupConfigureDlg::ToggleFilters()
{
    const bool show = !m_filePanel->isVisible();
    m_filePanel->setVisible(show);
    m_filters->setText(TextOr(show ? "hide_filters" : "show_filters"));
    if (show)
        RefreshFiles();
    adjustSize();
}

void KWBackupConfigureDlg::RefreshFiles()
{
    const std::string source = m_source->text().trimmed().toStdString();
    std::vector<FileDetails> details;
    if (!source.empty() && FolderExists(source)) {
        WindowRunView view(this);
        KWCallbackDetails callback(view, m_session.strings);
        KWBackupManager engine(callback, m_session.strings);
        for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i)
            if (m_profile.predefinedChecked[i])
                for (const auto& type : SplitExtensionList(m_profile.predefinedLists[i]))
                    engine.AddFilter(type, m_session.strings.Label(kPredefinedCategories[i].nameLabel));
        for (const auto& category : m_profile.userCategories)
            if (category.checked)
                for (const auto& type : SplitExtensionList(category.types))
                    engine.AddFilter(type, category.name);
        if (!engine.GetFilters().empty()) {
            KWUpdateWaitDialog wait(this, m_session.strings);
            wait.RunWhile([&] { details = engine.CollectDetails(source); });
        }
    }
    m_rows.clear();
    for (auto& file : details)
        m_rows.push_back({file.name, file.folder, file.category, file.size, {}});
    m_sort.Clear(m_files->header());
    ShowFiles();
}

void KWBackupConfigureDlg::SortByColumn(int column)
{
    using Row = FileDescrItemCat;
    const auto compare = column == 1   ? GreatestFirst<&Row::size, Row>
                         : column == 2 ? GreatestFirst<&Row::category, Row>
                                       : GreatestFirst<&Row::name, Row>;
    m_sort.Click(column, m_rows, compare, m_files->header());
    ShowFiles();
}

void KWBackupConfigureDlg::ShowFiles()
{
    m_files->clear();
    QList<QTreeWidgetItem*> items;
    const std::size_t count = m_rows.size();
    for (std::size_t i = 0; i < count; ++i) {
        const auto& row = m_sort.Shown(m_rows, i);
        auto* item =
            new QTreeWidgetItem({QString::fromStdString(row.name), QString::fromStdString(ListSizeText(row.size)),
                                 QString::fromStdString(row.category)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, Qt::UserRole, QString::fromStdString(row.folder + row.name));
        items.append(item);
    }
    m_files->addTopLevelItems(items);
    m_path->clear();
}

void KWBackupConfigureDlg::ShowSelectedPath()
{
    const auto selected = m_files->selectedItems();
    if (selected.isEmpty()) {
        m_path->clear();
        return;
    }
    const QString path = selected.first()->data(0, Qt::UserRole).toString();
    m_path->setText(m_path->fontMetrics().elidedText(path, Qt::ElideMiddle, std::max(40, m_path->width() - 30)));
    m_path->setToolTip(path);
}

bool KWBackupConfigureDlg::Save()
{
    auto refuse = [this](int message) {
        KWMsgBox::Show(this, m_session.Message(message), KWMsgBox::kStop);
        return false;
    };
    const std::string source = m_source->text().trimmed().toStdString();
    if (source.empty() || !FolderExists(source))
        return refuse(bm::kNoSourceFolder);
    const std::string name = m_name->text().trimmed().toStdString();
    if (!IsValidSetName(name))
        return refuse(bm::kInvalidSetName);
    if (name.find('.') != std::string::npos)
        return refuse(bm::kSetNameHasDot);
    const bool anyChecked =
        std::any_of(m_profile.predefinedChecked.begin(), m_profile.predefinedChecked.end(), [](bool b) { return b; }) ||
        std::any_of(m_profile.userCategories.begin(), m_profile.userCategories.end(),
                    [](const UserCategory& c) { return c.checked; });
    if (!anyChecked)
        return refuse(bm::kNoCategory);

    BackupProfileStore& store = m_session.store;
    const int self = m_newProfile ? 0 : store.CurrentProfile();
    const std::string oldName = m_profile.setName;
    if (m_newProfile || name != oldName) {
        // A set folder on the drive is shared by all its profiles, so names
        // may not differ by case alone either.
        for (const int number : store.ProfilesOf(m_session.identity)) {
            if (number == self)
                continue;
            if (const Result<BackupProfile> other = store.Read(number);
                other && EqualsIgnoringAsciiCase(other.value().setName, name))
                return refuse(bm::kSetNameUsed);
        }
    }
    m_profile.sourceFolder = std::filesystem::path(source).lexically_normal().string();
    m_profile.setName = name;

    if (m_newProfile) {
        const Result<int> created = store.Create(m_profile);
        if (!created) {
            // The detail names the file that failed (the profile or the index) and why.
            KWMsgBox::Show(this, m_session.MessageAbout(bm::kProfileUnreadable, created.detail()), KWMsgBox::kStop);
            return false;
        }
        const int number = created.value();
        m_savedNumber = number;
        if (const Status loaded = m_session.LoadCurrentProfile(); loaded.messageKey == kProfileUnreadableKey)
            KWMsgBox::Show(this, m_session.MessageAbout(bm::kProfileUnreadable, store.ProfilePath(number)),
                           KWMsgBox::kStop);
        return true;
    }

    if (name != oldName && !oldName.empty() && !m_session.driveRoot.empty() && IsValidSetName(oldName)) {
        const auto from = m_session.BackupFolder() / oldName;
        std::error_code error;
        if (std::filesystem::exists(from, error)) {
            std::filesystem::rename(from, m_session.BackupFolder() / name, error);
            if (error) {
                m_profile.setName = oldName;
                if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
                    return refuse(bm::kRenameDenied);
                if (error == std::errc::invalid_argument || error == std::errc::filename_too_long)
                    return refuse(bm::kRenameInvalid);
                return refuse(bm::kRenameFailed);
            }
        }
    }
    const auto file = store.ProfilePath(store.CurrentProfile());
    Status written = WriteProfileFile(file, m_profile);
    if (written)
        written = WriteRestoreSettings(file, m_profile);
    if (written && m_profile.lastBackupTime != 0)
        written = WriteLastBackupTime(file, m_profile.lastBackupTime);
    if (!written) {
        KWMsgBox::Show(this, m_session.MessageAbout(bm::kProfileUnreadable, written.detail), KWMsgBox::kStop);
        return false;
    }
    m_savedNumber = store.CurrentProfile();
    m_session.profile = m_profile;
    return true;
}

}  // namespace halvex::app
