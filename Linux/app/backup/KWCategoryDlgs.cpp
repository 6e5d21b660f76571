#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "toolkit/AppText.h"
#include "app/backup/KWCategoryDlgs.h"
#include "toolkit/KWMsgBox.h"
#include "toolkit/ScreenReader.h"

namespace halvex::app {

namespace {

QHBoxLayout* ButtonRow(QDialog* dialog, QPushButton* save)
{
    auto* row = new QHBoxLayout;
    auto* cancel = new QPushButton(TextOr("cancel"), dialog);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    save->setDefault(true);
    row->addStretch();
    row->addWidget(save);
    row->addWidget(cancel);
    return row;
}

// A control under its label, named by it for a screen reader.
template <typename Control>
Control* AddLabelled(QDialog* dialog, QVBoxLayout* layout, const char* key, Control* control)
{
    auto* label = new QLabel(TextOr(key), dialog);
    layout->addWidget(label);
    NameByLabel(label, control);
    layout->addWidget(control);
    return control;
}

}  // namespace

// ---- KWCreateCatDlg -----------------------------------------------------------

KWCreateCatDlg::KWCreateCatDlg(QWidget* owner, const BackupStrings& strings, BackupProfile& profile,
                               std::vector<QString> shownNames)
    : QDialog(owner), m_strings(strings), m_profile(profile), m_shownNames(std::move(shownNames))
{
    setWindowTitle(TextOr("category_create_title"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    m_name = AddLabelled(this, layout, "category_name", new QLineEdit(this));
    m_types = AddLabelled(this, layout, "category_add_types", new QLineEdit(this));
    m_types->setMinimumWidth(320);
    // The types the field will give, as the edit-category window lists them.
    m_list = AddLabelled(this, layout, "category_types", new QListWidget(this));
    m_list->setMinimumHeight(140);
    connect(m_types, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_list->clear();
        const std::string field = text.trimmed().toStdString();
        if (IsValidTypeList(field))
            for (const auto& type : SplitExtensionList(field))
                m_list->addItem(QString::fromStdString(type));
    });
    layout->addSpacing(6);
    auto* save = new QPushButton(TextOr("save"), this);
    layout->addLayout(ButtonRow(this, save));
    connect(save, &QPushButton::clicked, this, [this] {
        if (Save())
            accept();
    });
}

bool KWCreateCatDlg::Save()
{
    auto refuse = [this](int message) {
        KWMsgBox::Show(this, Message(message), KWMsgBox::kStop);
        return false;
    };
    const QString name = m_name->text().trimmed();
    const std::string types = m_types->text().trimmed().toStdString();
    if (name.isEmpty())
        return refuse(35);
    if (types.empty())
        return refuse(27);
    if (!IsValidCategoryName(name.toStdString()))
        return refuse(4);
    if (std::any_of(m_shownNames.begin(), m_shownNames.end(), [&](const QString& shown) { return shown == name; }))
        return refuse(5);
    if (!IsValidTypeList(types))
        return refuse(6);
    const std::string list = WithTrailingColon(types);
    if (HasDuplicateType(list))
        return refuse(8);
    // The settings files of the other build hold no more than this.
    if (m_profile.userCategories.size() >= kMaxUserCategories || name.toUtf8().size() > qsizetype(kMaxSettingBytes) ||
        list.size() > kMaxSettingBytes)
        return refuse(6);
    m_profile.userCategories.push_back({name.toStdString(), list, true});
    return true;
}

// ---- KWEditCatDlg -------------------------------------------------------------

KWEditCatDlg::KWEditCatDlg(QWidget* owner, const BackupStrings& strings, BackupProfile& profile)
    : QDialog(owner), m_strings(strings), m_profile(profile)
{
    setWindowTitle(TextOr("category_edit_title"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    m_categories = AddLabelled(this, layout, "category_name", new QComboBox(this));
    for (const auto& category : m_profile.userCategories)
        m_categories->addItem(QString::fromStdString(category.name));
    m_types = AddLabelled(this, layout, "category_add_types", new QLineEdit(this));
    m_types->setMinimumWidth(320);
    m_list = AddLabelled(this, layout, "category_types", new QListWidget(this));
    m_list->setMinimumHeight(140);
    auto* listRow = new QHBoxLayout;
    auto* remove = new QPushButton(TextOr("category_remove_type"), this);
    auto* remove_category = new QPushButton(TextOr("delete"), this);
    listRow->addWidget(remove);
    listRow->addStretch();
    listRow->addWidget(remove_category);
    layout->addLayout(listRow);
    layout->addSpacing(6);
    auto* save = new QPushButton(TextOr("save"), this);
    layout->addLayout(ButtonRow(this, save));

    connect(m_categories, &QComboBox::currentIndexChanged, this, &KWEditCatDlg::ShowCategory);
    connect(save, &QPushButton::clicked, this, &KWEditCatDlg::AddTypes);
    connect(remove, &QPushButton::clicked, this, &KWEditCatDlg::RemoveType);
    connect(remove_category, &QPushButton::clicked, this, &KWEditCatDlg::DeleteCategory);
    ShowCategory(m_categories->currentIndex());
}

UserCategory* KWEditCatDlg::Current()
{
    const int index = m_categories->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_profile.userCategories.size()))
        return nullptr;
    return &m_profile.userCategories[index];
}

void KWEditCatDlg::ShowCategory(int)
{
    m_list->clear();
    if (const UserCategory* category = Current())
        for (const auto& type : SplitExtensionList(category->types))
            m_list->addItem(QString::fromStdString(type));
}

bool KWEditCatDlg::AskSure()
{
    return KWMsgBox::Show(this, Message(1), KWMsgBox::kCaution, KWMsgBox::kYesNo, KWMsgBox::kIdNo) == KWMsgBox::kIdYes;
}

bool KWEditCatDlg::AddTypes()
{
    UserCategory* category = Current();
    if (!category)
        return false;
    const std::string field = m_types->text().trimmed().toStdString();
    if (field.empty()) {
        KWMsgBox::Show(this, Message(9), KWMsgBox::kStop);
        m_types->setText(QString::fromStdString(category->types));
        return false;
    }
    if (!IsValidTypeList(field)) {
        KWMsgBox::Show(this, Message(10), KWMsgBox::kStop);
        return false;
    }
    const std::vector<std::string> added = SplitExtensionList(field);
    const std::vector<std::string> held = SplitExtensionList(category->types);
    std::vector<std::string> seen = held;
    for (const auto& type : added) {
        if (std::find(seen.begin(), seen.end(), type) != seen.end()) {
            KWMsgBox::Show(this, Message(8), KWMsgBox::kStop);
            return false;
        }
        seen.push_back(type);
    }
    std::string list = category->types;
    for (const auto& type : added)
        list += type + ":";
    if (list.size() > kMaxSettingBytes) {
        KWMsgBox::Show(this, Message(10), KWMsgBox::kStop);
        return false;
    }
    category->types = list;
    m_types->clear();
    ShowCategory(m_categories->currentIndex());
    return true;
}

void KWEditCatDlg::RemoveType()
{
    UserCategory* category = Current();
    QListWidgetItem* item = m_list->currentItem();
    if (!category || !item || !AskSure())
        return;
    std::vector<std::string> types = SplitExtensionList(category->types);
    if (types.size() <= 1) {
        KWMsgBox::Show(this, Message(9), KWMsgBox::kStop);
        return;
    }
    const std::string removed = item->text().toStdString();
    std::string list;
    for (const auto& type : types)
        if (type != removed)
            list += type + ":";
    category->types = list;
    ShowCategory(m_categories->currentIndex());
}

void KWEditCatDlg::DeleteCategory()
{
    const int index = m_categories->currentIndex();
    if (!Current() || !AskSure())
        return;
    // The later categories move down one number when the profile is written.
    m_profile.userCategories.erase(m_profile.userCategories.begin() + index);
    m_categories->removeItem(index);
    if (m_profile.userCategories.empty()) {
        KWMsgBox::Show(this, Message(26));
        accept();
        return;
    }
    ShowCategory(m_categories->currentIndex());
}

}  // namespace halvex::app
