#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "app/setup/KWWizardPage.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The sync page: which folder of this computer is synchronised with the
// drive, and whether its subfolders take part.
class KWSetupSync : public KWWizardPage {
    Q_OBJECT

public:
    enum Choice { kDesktop = 0, kDocuments = 1, kOwnFolder = 2 };
    using Browser =
        std::function<std::optional<std::filesystem::path>(QWidget* owner, const std::filesystem::path& start)>;
    using Checker = std::function<bool(QWidget* owner, const std::filesystem::path& folder)>;

    struct Folders {
        std::filesystem::path desktop;
        std::filesystem::path documents;
        std::filesystem::path ownStart;  // the edit box's first text
    };

    // `browse` runs the folder picker; `check` vets a typed folder on leaving.
    KWSetupSync(Folders folders, Browser browse, Checker check);

    void OnActivate() override;
    int NextPage() override;
    bool OnFinish() override;

    Choice CurrentChoice() const;
    std::filesystem::path Folder() const;
    bool Subfolders() const;

    QRadioButton* ChoiceButton(Choice choice) const;
    QLineEdit* FolderEdit() const { return m_edit; }
    QPushButton* BrowseButton() const { return m_browse; }
    QRadioButton* SubfoldersYes() const { return m_yes; }

protected:
    void Create() override;

private:
    void Update();
    bool FolderAcceptable();

    Folders m_folders;
    Browser m_fnBrowse;
    Checker m_fnCheck;
    QButtonGroup* m_choices = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_browse = nullptr;
    QRadioButton* m_yes = nullptr;
    QRadioButton* m_no = nullptr;
};
