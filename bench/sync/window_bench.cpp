// The sync window with a long list, on the offscreen platform unless
// QT_QPA_PLATFORM names another (xcb under xvfb-run):
//   window_bench WORK_FOLDER [FILES] [to-drive|to-computer]
// Makes FILES files (default 100 000) in the computer folder whose drive twin
// is empty (to-drive, the default) or in the drive folder with an empty
// computer folder (to-computer), opens the real sync window and shows its
// details, which scans and fills the list. Prints, one "key value" a line: the rows seen while the
// scan ran, the longest wait of the window's event loop and the longest
// repaint of the list during the fill, the resident and peak memory after
// it, and the time of a sort by each column (both orders, with its repaint).
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/main/KWMainApp.h"
#include "system/ConfirmedFolders.h"
#include "system/DriveIdentity.h"
#include "app/sync/KWSyncDlg.h"
#include "app/sync/SyncRowModel.h"
#include "plist/DXPlistPrefs.h"
#include "sync/SyncFolderPair.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;

namespace {

long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::string(key).size());
    return -1;
}

void MakeFiles(const fs::path& folder, int files)
{
    const std::string content(2000, 'x');
    for (int i = 0; i < files; ++i) {
        const fs::path sub = folder / ("d" + std::to_string(i / 1000)) / ("e" + std::to_string(i / 100 % 10));
        if (i % 100 == 0)
            fs::create_directories(sub);
        const char* kinds[] = {".txt", ".jpg", ".pdf", ".mp3", ".cpp", ".png", ".doc", ""};
        std::ofstream(sub / ("file " + std::to_string(i) + kinds[i % 8]), std::ios::binary) << content;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_bench WORK_FOLDER [FILES]\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    const int files = argc > 2 ? std::atoi(argv[2]) : 100000;
    const bool toComputer = argc > 3 && std::string(argv[3]) == "to-computer";
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("HALVEX_ASSUME_USB", "1", 1);
    fs::remove_all(work);
    const fs::path drive = work / "STICK";
    fs::create_directories(drive / "HalvexDravane.app" / "Contents");
    fs::create_directory_symlink(HALVEX_RESOURCE_DIR, drive / "HalvexDravane.app" / "Contents" / "Resources");
    fs::create_directories(work / "run");
    fs::permissions(work / "run", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("XDG_RUNTIME_DIR", (work / "run").c_str(), 1);
    // The folder is recorded as chosen here in a config folder of the
    // bench's own, so no question stops the fill.
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    {
        fs::create_directories(drive / "Halvex Data");
        DXPlistPrefs prefs(drive / "Halvex Data" / "com.halvex.dravane.plist");
        prefs.SetValue("eula", true);
        prefs.SetValue("ShowMain", false);
        prefs.SetValue("SyncSubfolders", true);
        if (!prefs.Update())
            return 1;
    }
    const fs::path computer = work / "Computer Files";
    fs::create_directories(computer);
    if (!toComputer)
        MakeFiles(computer, files);

    QApplication application(argc, argv);
    KWMainApp app;
    if (app.StartUp({QString::fromStdString(drive.string())}) != KWMainApp::StartResult::Continue)
        return 1;
    fs::create_directories(drive / halvex::SyncUsbFolderName());
    if (toComputer)
        MakeFiles(drive / halvex::SyncUsbFolderName(), files);
    if (!halvex::WriteComputerFolder(halvex::SyncIndexPath(app.Paths().DataPath()),
                                     halvex::ScrambleIdentity(halvex::ComputerIdentity()), computer)
             .ok)
        return 1;
    if (!halvex::ConfirmedFolders().Record(halvex::ConfirmedFolders::Use::Sync, halvex::DriveIdentity::Of(app.Device()),
                                           "", computer))
        return 1;
    const long baseKb = StatusKb("VmRSS:");

    KWSyncDlg window(nullptr, app, halvex::app::SyncMode::Normal);
    if (!window.Prepare())
        return 1;
    window.SetPacing({});
    window.show();
    QTableView* table = window.Table();

    // During the fill: how long the event loop went without turning, and how
    // long a repaint of the list took.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    qint64 longestRepaint = 0;
    int rowsDuringScan = 0;
    bool scanning = true;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!scanning)
            return;
        longestGap = std::max(longestGap, sinceTick.restart());
        QElapsedTimer paint;
        paint.start();
        table->viewport()->repaint();
        longestRepaint = std::max(longestRepaint, paint.elapsed());
        rowsDuringScan = std::max(rowsDuringScan, window.Model()->rowCount());
        sinceTick.restart();
    });
    QElapsedTimer fill;
    fill.start();
    sinceTick.start();
    ticker.start();
    window.ShowDetails(true);
    scanning = false;
    const qint64 fillMs = fill.elapsed();
    QApplication::processEvents();
    std::printf("rows %d\n", window.Model()->rowCount());
    std::printf("rows_seen_during_scan %d\n", rowsDuringScan);
    std::printf("fill_ms %lld\n", static_cast<long long>(fillMs));
    std::printf("longest_event_loop_gap_ms %lld\n", static_cast<long long>(longestGap));
    std::printf("longest_repaint_ms %lld\n", static_cast<long long>(longestRepaint));
    std::printf("rss_before_window_mb %.1f\n", baseKb / 1024.0);
    std::printf("rss_mb %.1f\n", StatusKb("VmRSS:") / 1024.0);
    std::printf("peak_rss_mb %.1f\n", StatusKb("VmHWM:") / 1024.0);

    const char* names[] = {"name", "size", "date", "direction"};
    for (int column = 0; column < 4; ++column) {
        for (int order = 0; order < 2; ++order) {
            QElapsedTimer sort;
            sort.start();
            emit table->horizontalHeader()->sectionClicked(column);
            table->viewport()->repaint();
            std::printf("sort_%s_%s_ms %lld\n", names[column], order ? "desc" : "asc",
                        static_cast<long long>(sort.elapsed()));
        }
    }
    std::fflush(stdout);
    window.close();
    app.CleanUp();
    fs::remove_all(work);
    return 0;
}
