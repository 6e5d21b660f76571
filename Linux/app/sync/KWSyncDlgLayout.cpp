#include "app/sync/KWSyncDlg.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QKeyEvent>
#include <QSysInfo>
#include <QTableView>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>

#include "toolkit/AppText.h"
#include "app/main/KWMainApp.h"
#include "app/main/PlatformActions.h"
#include "app/sync/ElidedPathLabel.h"
#include "app/sync/SyncRowModel.h"
#include "prefs/KXAppPrefs.h"
#include "prefs/PrefsKeys.h"
#include "toolkit/DWImageButton.h"
#include "toolkit/DWSkin.h"
#include "util/IgnoreResult.h"

// The sync window's two parts: the drive and the computer with Sync above,
// the list of files and the selected row's path below.

using namespace halvex;
using namespace halvex::app;

namespace {

QLabel* ImageLabel(const QString& image, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(DWSkin::ContentImage(image));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

void KWSyncDlg::BuildUpper()
{
    m_upper = new QWidget(this);
    m_upper->setGeometry(0, 0, kWidth, kSmallHeight);
    auto* layout = new QVBoxLayout(m_upper);
    layout->setContentsMargins(24, 16, 24, 0);
    layout->setSpacing(6);

    auto side = [this](DWImageButton*& button, QLabel*& name, const QString& image, const QString& caption,
                       const char* objectName) {
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        const QPixmap pixmap = DWSkin::ContentImage(image);
        button = new DWImageButton(pixmap, pixmap, pixmap, caption, m_upper);
        button->setObjectName(objectName);
        button->setCursor(Qt::PointingHandCursor);
        auto* title = new QLabel(caption, m_upper);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        title->setAlignment(Qt::AlignCenter);
        name = new QLabel(m_upper);
        name->setAlignment(Qt::AlignCenter);
        name->setStyleSheet("color: #5a6470;");
        name->setFixedWidth(150);
        column->addWidget(button, 0, Qt::AlignHCenter);
        column->addWidget(title);
        column->addWidget(name);
        column->addStretch(1);
        return column;
    };

    auto* row = new QHBoxLayout;
    const QString driveName = QString::fromStdString(m_app.Device().volumeName());
    row->addLayout(
        side(m_btnDrive, m_lblDriveName, "Usb_Normal.png", driveName.isEmpty() ? "USB" : driveName, "driveButton"));
    row->addStretch(1);

    auto* middle = new QVBoxLayout;
    middle->setSpacing(4);
    m_arrowRight = ImageLabel("Arrow_Green_Right.png", m_upper);
    m_arrowRight->setObjectName("arrowToComputer");
    m_arrowLeft = ImageLabel("Arrow_Green_Left.png", m_upper);
    m_arrowLeft->setObjectName("arrowToDrive");
    for (QLabel* arrow : {m_arrowRight, m_arrowLeft}) {
        arrow->setFixedHeight(18);
        QSizePolicy keep = arrow->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        arrow->setSizePolicy(keep);
    }
    m_btnSync = new DWImageButton("Sync", TextOr("sync_normal"), m_upper);
    m_btnSync->setObjectName("syncButton");
    m_btnSync->setToolTip(TextOr("sync_click"));
    middle->addStretch(1);
    middle->addWidget(m_arrowRight, 0, Qt::AlignHCenter);
    middle->addWidget(m_btnSync, 0, Qt::AlignHCenter);
    middle->addWidget(m_arrowLeft, 0, Qt::AlignHCenter);
    middle->addStretch(1);
    row->addLayout(middle);
    row->addStretch(1);
    const QString host = QSysInfo::machineHostName();
    row->addLayout(side(m_btnLocal, m_lblLocalName, "Computer_Normal.png",
                        host.isEmpty() ? TextOr("this_computer") : host, "computerButton"));
    layout->addLayout(row);

    auto* separator = new QFrame(m_upper);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);

    auto* detailsRow = new QHBoxLayout;
    m_btnArrow = new DWImageButton(DWSkin::Image("Arrow_Normal.png"), DWSkin::Image("Arrow_Pushed.png"),
                                   DWSkin::Image("Arrow_Down.png"), TextOr("show_details"), m_upper);
    m_btnArrow->setObjectName("detailsArrow");
    m_btnArrow->setCheckable(true);
    m_btnDetails = new QPushButton(TextOr("show_details"), m_upper);
    m_btnDetails->setObjectName("detailsButton");
    m_btnDetails->setFlat(true);
    m_btnDetails->setCursor(Qt::PointingHandCursor);
    detailsRow->addWidget(m_btnArrow);
    detailsRow->addWidget(m_btnDetails);
    detailsRow->addStretch(1);
    layout->addLayout(detailsRow);
    layout->addSpacing(6);

    connect(m_btnSync, &QAbstractButton::clicked, this, &KWSyncDlg::StartSync);
    connect(m_btnDrive, &QAbstractButton::clicked, this, [this] { RevealFolder(m_pair.drive); });
    connect(m_btnLocal, &QAbstractButton::clicked, this, [this] { RevealFolder(m_pair.computer); });
    auto toggle = [this] {
        if (m_animation->state() != QAbstractAnimation::Running)
            ShowDetails(!m_bDetailsShown);
        m_btnArrow->setChecked(m_bDetailsShown);
    };
    connect(m_btnArrow, &QAbstractButton::clicked, this, toggle);
    connect(m_btnDetails, &QAbstractButton::clicked, this, toggle);
    m_arrowRight->hide();
    m_arrowLeft->hide();
}

void KWSyncDlg::BuildDetails()
{
    m_details = new QWidget(this);
    auto* layout = new QVBoxLayout(m_details);
    layout->setContentsMargins(16, 0, 16, 14);
    layout->setSpacing(8);

    m_model = new SyncRowModel(this);
    m_model->SetColours(DWSkin::ToQColor(DWSkin::Theme().UsbColour()), DWSkin::ToQColor(DWSkin::Theme().LocalColour()));
    m_table = new QTableView(m_details);
    m_table->setObjectName("syncList");
    m_table->setAccessibleName(TextOr("access_sync_list"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are selected, not cells: Tab leaves the list for the buttons below
    // instead of walking its cells, which would hold the keyboard inside it.
    m_table->setTabKeyNavigation(false);
    m_table->installEventFilter(this);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(false);
    m_table->setWordWrap(false);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    const int widths[] = {185, 75, 115, 85};
    // Each heading fits in every language; the name column gives up the room.
    int extra = 0;
    for (int i = 1; i < 4; ++i) {
        const int width = std::max(widths[i], header->sectionSizeHint(i));
        extra += width - widths[i];
        m_table->setColumnWidth(i, width);
    }
    m_table->setColumnWidth(0, std::max(110, widths[0] - extra));
    header->setStretchLastSection(true);
    layout->addWidget(m_table, 1);
    m_lblTimeShift = new QLabel(m_details);
    m_lblTimeShift->setObjectName("timeShiftLabel");
    m_lblTimeShift->hide();
    layout->addWidget(m_lblTimeShift);

    auto* infoRow = new QHBoxLayout;
    infoRow->setSpacing(6);
    auto smallImage = [this](const QString& image) {
        auto* label = new QLabel(m_details);
        label->setPixmap(DWSkin::ContentImage(image).scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        label->setFixedSize(26, 26);
        return label;
    };
    m_imgDrive = smallImage("Usb_Volume.png");
    m_imgLocal = smallImage("Computer.png");
    m_lblPath = new ElidedPathLabel(m_details);
    m_lblPath->setObjectName("pathLabel");
    QFont pathFont("Arial", 8);
    pathFont.setBold(true);
    m_lblPath->setFont(pathFont);
    m_lblPath->setMinimumWidth(60);
    m_lblPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_btnRefresh = new DWImageButton("Reload", TextOr("refresh_sync_list"), m_details);
    m_btnRefresh->setObjectName("refreshButton");
    m_btnRefresh->setToolTip(TextOr("refresh_sync_list"));
    m_btnLog = new DWImageButton("Log", TextOr("error_log"), m_details);
    m_btnLog->setObjectName("logButton");
    m_btnLog->setToolTip(TextOr("error_log"));
    infoRow->addWidget(m_imgDrive);
    infoRow->addWidget(m_imgLocal);
    infoRow->addWidget(m_lblPath, 1);
    infoRow->addWidget(m_btnRefresh);
    infoRow->addWidget(m_btnLog);
    layout->addLayout(infoRow);

    // Without the log the refresh button takes the log button's place at the end.
    m_bLogShown = KXAppPrefs::Bool(prefkey::kSyncLog);
    m_btnLog->setVisible(m_bLogShown);
    m_btnRefresh->hide();
    m_imgDrive->hide();
    m_imgLocal->hide();

    connect(m_btnRefresh, &QAbstractButton::clicked, this, [this] {
        IgnoreResult(RebuildList(), "a cancelled scan leaves the rows found so far; the user may rescan");
    });
    connect(m_btnLog, &QAbstractButton::clicked, this, &KWSyncDlg::OpenLog);
    connect(m_model, &SyncRowModel::checksChanged, this, [this] { UpdateArrowsAndTips(true); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateSelectedInfo(); });
    connect(header, &QHeaderView::sectionClicked, this, &KWSyncDlg::OnHeaderClicked);
    connect(m_table, &QWidget::customContextMenuRequested, this, &KWSyncDlg::OnListMenu);
}

// Space toggles the check box of the current row from any column, as the
// check box column alone would, so the list works without a mouse.
bool KWSyncDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_table || event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent*>(event)->key() != Qt::Key_Space ||
        static_cast<QKeyEvent*>(event)->modifiers() != Qt::NoModifier)
        return QDialog::eventFilter(watched, event);
    const QModelIndex current = m_table->currentIndex();
    const QModelIndex check = current.isValid() ? m_model->index(current.row(), 0) : QModelIndex();
    if (check.isValid() && (m_model->flags(check) & Qt::ItemIsUserCheckable)) {
        const bool checked = m_model->data(check, Qt::CheckStateRole).toInt() == Qt::Checked;
        m_model->setData(check, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
    return true;
}
