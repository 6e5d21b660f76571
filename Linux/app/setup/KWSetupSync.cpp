#include "app/setup/KWSetupSync.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "app/setup/KWWizardDlg.h"
#include "strings/KXStrings.h"
#include "toolkit/PathText.h"

namespace fs = std::filesystem;

namespace {

QLabel* Paragraph(const QString& text, bool bold = false)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QLabel* Picture(const char* name)
{
    auto* label = new QLabel;
    const QPixmap image = DWSkin::ContentImage(name);
    if (!image.isNull())
        label->setPixmap(image.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    label->setFixedSize(26, 26);
    return label;
}

}  // namespace

KWSetupSync::KWSetupSync(Folders folders, Browser browse, Checker check)
    : KWWizardPage(TextOr("setup_sync"), TextOr("setup_sync_side")),
      m_folders(std::move(folders)),
      m_fnBrowse(std::move(browse)),
      m_fnCheck(std::move(check))
{}

void KWSetupSync::Create()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(7);
    layout->addWidget(Paragraph(TextOr("setup_sync_intro")));
    layout->addWidget(Paragraph(TextOr("setup_sync_question"), true));

    m_choices = new QButtonGroup(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setContentsMargins(12, 0, 0, 0);
    const QString documentsName = PathText(m_folders.documents.filename());
    const struct {
        Choice choice;
        QString text;
        const char* image;
    } rows[] = {{kDesktop, TextOr("folder_desktop"), "Desktop.png"},
                {kDocuments, documentsName.isEmpty() ? TextOr("folder_documents") : documentsName, "Documents.png"},
                {kOwnFolder, TextOr("setup_sync_own"), "Folder.png"}};
    int row = 0;
    for (const auto& entry : rows) {
        auto* button = new QRadioButton(entry.text);
        m_choices->addButton(button, entry.choice);
        grid->addWidget(Picture(entry.image), row, 0);
        grid->addWidget(button, row, 1);
        ++row;
    }
    m_edit = new QLineEdit(PathText(m_folders.ownStart));
    m_edit->setAccessibleName(TextOr("access_sync_folder_path"));
    m_browse = new QPushButton(TextOr("browse"));
    const QPixmap browseImage = DWSkin::Image("Browse_Normal.png");
    if (!browseImage.isNull())
        m_browse->setIcon(QIcon(browseImage));
    auto* ownRow = new QHBoxLayout;
    ownRow->addWidget(m_edit, 1);
    ownRow->addWidget(m_browse);
    grid->addLayout(ownRow, row, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    layout->addWidget(Paragraph(TextOr("setup_sync_tip")));
    layout->addSpacing(4);
    layout->addWidget(Paragraph(TextOr("setup_sync_subfolders"), true));
    m_yes = new QRadioButton(TextOr("yes"));
    m_no = new QRadioButton(TextOr("no"));
    m_no->setChecked(true);
    auto* subfolders = new QHBoxLayout;
    subfolders->setContentsMargins(12, 0, 0, 0);
    subfolders->addWidget(m_yes);
    subfolders->addSpacing(20);
    subfolders->addWidget(m_no);
    subfolders->addStretch(1);
    layout->addLayout(subfolders);
    auto* note = Paragraph(TextOr("sync_subfolders_note"));
    note->setContentsMargins(12, 0, 0, 0);
    QFont small = note->font();
    small.setItalic(true);
    note->setFont(small);
    layout->addWidget(note);
    layout->addStretch(1);

    m_choices->button(kDesktop)->setChecked(true);
    m_choices->button(kDesktop)->setFocus();
    connect(m_choices, &QButtonGroup::idToggled, this, [this] { Update(); });
    connect(m_edit, &QLineEdit::textChanged, this, [this] { Update(); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (!m_fnBrowse)
            return;
        if (const auto picked = m_fnBrowse(this, PathOfText(m_edit->text())))
            m_edit->setText(PathText(*picked));
    });
}

void KWSetupSync::OnActivate()
{
    Update();
}

void KWSetupSync::Update()
{
    if (!m_choices)
        return;
    const bool own = CurrentChoice() == kOwnFolder;
    m_browse->setEnabled(own);
    m_edit->setEnabled(own);
    Wizard()->EnableNext(!Folder().empty());
}

KWSetupSync::Choice KWSetupSync::CurrentChoice() const
{
    return m_choices ? static_cast<Choice>(m_choices->checkedId()) : kDesktop;
}

fs::path KWSetupSync::Folder() const
{
    switch (CurrentChoice()) {
    case kDesktop: return m_folders.desktop;
    case kDocuments: return m_folders.documents;
    case kOwnFolder: break;
    }
    return m_edit ? PathOfText(m_edit->text().trimmed()) : fs::path{};
}

bool KWSetupSync::Subfolders() const
{
    return m_yes && m_yes->isChecked();
}

QRadioButton* KWSetupSync::ChoiceButton(Choice choice) const
{
    return m_choices ? qobject_cast<QRadioButton*>(m_choices->button(choice)) : nullptr;
}

bool KWSetupSync::FolderAcceptable()
{
    // A typed folder gets the picker's rules before it is taken.
    if (CurrentChoice() != kOwnFolder || !m_fnCheck)
        return true;
    return m_fnCheck(this, Folder());
}

int KWSetupSync::NextPage()
{
    return FolderAcceptable() ? kInOrder : kStay;
}

bool KWSetupSync::OnFinish()
{
    return FolderAcceptable();
}
