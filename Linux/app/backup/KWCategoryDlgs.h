#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "backup/BackupProfile.h"
#include "backup/BackupStrings.h"
#include "app/backup/BackupText.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace halvex::app {

class KWCreateCatDlg : public QDialog {
    Q_OBJECT
public:
    KWCreateCatDlg(QWidget* owner, const BackupStrings& strings, BackupProfile& profile,
                   std::vector<QString> shownNames);
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* TypesEdit() const { return m_types; }
    // The types the field gives, one a row, while it is typed.
    QListWidget* TypeList() const { return m_list; }
    // Checks the fields; on success the category is added to the profile.
    bool Save();

private:
    QString Message(int number) const { return BackupMessage(m_strings, number); }
    const BackupStrings& m_strings;
    BackupProfile& m_profile;
    std::vector<QString> m_shownNames;
    QLineEdit* m_name;
    QLineEdit* m_types;
    QListWidget* m_list;
};

class KWEditCatDlg : public QDialog {
    Q_OBJECT
public:
    KWEditCatDlg(QWidget* owner, const BackupStrings& strings, BackupProfile& profile);
    QComboBox* Categories() const { return m_categories; }
    QLineEdit* TypesEdit() const { return m_types; }
    QListWidget* TypeList() const { return m_list; }
    bool AddTypes();
    void RemoveType();
    void DeleteCategory();

private:
    void ShowCategory(int index);
    UserCategory* Current();
    QString Message(int number) const { return BackupMessage(m_strings, number); }
    bool AskSure();

    const BackupStrings& m_strings;
    BackupProfile& m_profile;
    QComboBox* m_categories;
    QLineEdit* m_types;
    QListWidget* m_list;
};

}  // namespace halvex::app
