#pragma once

#include <QDialog>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>

#include "app/main/ToolWindows.h"
#include "sync/SyncControl.h"
#include "sync/SyncFolderPair.h"

class QLabel;
class QPushButton;
class QTableView;
class QVariantAnimation;
class DWImageButton;
class DWWorkDlg;
class KWMainApp;

namespace halvex::app {
class SyncRowModel;
class ElidedPathLabel;
}  // namespace halvex::app

// The sync window: the drive and the computer side by side with Sync; with
// its details shown, the list of files a sync would copy. In instant mode it
// scans, copies and closes by itself shortly after it opens.
class KWSyncDlg : public QDialog {
    Q_OBJECT

public:
    KWSyncDlg(QWidget* owner, KWMainApp& app, halvex::app::SyncMode mode);
    ~KWSyncDlg() override;

    // Resolves the folder pair, asking for this computer's folder when
    // needed. False: the window must not be shown.
    bool Prepare();

    // The waits around the work that let its windows be seen; tests set none.
    void SetPacing(halvex::SyncPacing pacing) { m_pacing = pacing; }
    // Test seam: called on the worker before each file of a run, with the
    // count of files handled so far.
    void SetBeforeEachFile(std::function<void(DWWorkDlg&, std::uint32_t)> hook)
    {
        m_fnBeforeEachFile = std::move(hook);
    }

    void ShowDetails(bool show);
    // Rebuilds the list behind the wait window; false when cancelled.
    bool RebuildList();
    // The Sync button.
    void StartSync();
    // The two wipe commands of the list's menu.
    void WipeFolder(bool driveFolder);
    void OpenLog();

    // For tests and the screenshots.
    const halvex::SyncFolderPair& Pair() const { return m_pair; }
    halvex::app::SyncRowModel* Model() const { return m_model; }
    QTableView* Table() const { return m_table; }
    bool DetailsShown() const { return m_bDetailsShown; }
    bool Animating() const;
    bool HoldOffRunning() const { return m_timerHoldOff.isActive(); }
    QWidget* ArrowToComputer() const;
    QWidget* ArrowToDrive() const;
    DWImageButton* SyncButton() const { return m_btnSync; }
    DWImageButton* DriveButton() const { return m_btnDrive; }
    DWImageButton* ComputerButton() const { return m_btnLocal; }
    DWImageButton* RefreshButton() const { return m_btnRefresh; }
    DWImageButton* LogButton() const { return m_btnLog; }
    QPushButton* DetailsButton() const { return m_btnDetails; }
    QString PathText() const;
    QString PathShownText() const;
    // "N files differ only by a time-zone shift" after the last scan; empty for none.
    QString TimeShiftText() const;
    bool SourceImageShown(bool drive) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Space in the list toggles the current row's check (KWSyncDlgLayout.cpp).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kWidth = 520;
    static constexpr int kSmallHeight = 214;

    void BuildUpper();  // in KWSyncDlgLayout.cpp, with BuildDetails
    void BuildDetails();
    void OnStartTimer();
    void OnAnimationFinished();
    void DoRun();
    void UpdateArrowsAndTips(bool recount);
    void UpdateSelectedInfo();
    void SelectFirstRow();
    void OnHeaderClicked(int section);
    void OnListMenu(const QPoint& at);

    KWMainApp& m_app;
    const bool m_bInstant;
    bool m_bDetailsShown = false;
    bool m_bLogShown = true;
    bool m_bStarted = false;
    halvex::SyncFolderPair m_pair;
    halvex::SyncDriveProbe m_probe;
    halvex::SyncPacing m_pacing;
    std::uint32_t m_nFromDrive = 0;     // checked rows to the computer
    std::uint32_t m_nFromComputer = 0;  // checked rows to the drive
    std::function<void(DWWorkDlg&, std::uint32_t)> m_fnBeforeEachFile;
    int m_nSortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

    QTimer m_timerStart;
    QTimer m_timerHoldOff;
    QVariantAnimation* m_animation = nullptr;
    int m_nSmallHeight = 0;
    int m_nFullHeight = 0;

    QWidget* m_upper = nullptr;
    QWidget* m_details = nullptr;
    DWImageButton* m_btnSync = nullptr;
    DWImageButton* m_btnDrive = nullptr;
    DWImageButton* m_btnLocal = nullptr;
    QLabel* m_arrowRight = nullptr;
    QLabel* m_arrowLeft = nullptr;
    DWImageButton* m_btnArrow = nullptr;
    QPushButton* m_btnDetails = nullptr;
    QLabel* m_lblDriveName = nullptr;
    QLabel* m_lblLocalName = nullptr;
    QTableView* m_table = nullptr;
    halvex::app::SyncRowModel* m_model = nullptr;
    QLabel* m_imgDrive = nullptr;
    QLabel* m_imgLocal = nullptr;
    QLabel* m_lblTimeShift = nullptr;
    halvex::app::ElidedPathLabel* m_lblPath = nullptr;
    DWImageButton* m_btnRefresh = nullptr;
    DWImageButton* m_btnLog = nullptr;
};
