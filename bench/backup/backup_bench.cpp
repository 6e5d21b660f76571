// Times one run of the backup engine:
//   backup_bench backup SOURCE DRIVE_BACKUP_FOLDER SET [THREADS]
//   backup_bench restore GENERATION_FOLDER TARGET [THREADS]
// A backup prints the seconds taken and the number of archives stored; a
// restore unpacks every archive below the generation folder into TARGET,
// keeping the folders, and prints the seconds and the files restored.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/KWBackupManager.h"

namespace {

class QuietCallback : public KWCallback {
public:
    void FatalError(const std::string& text) override { std::fprintf(stderr, "fatal: %s\n", text.c_str()); }
    bool ErrorOccurred(const std::string& text) override
    {
        std::fprintf(stderr, "error: %s\n", text.c_str());
        return false;
    }
    bool OverwriteFile(const std::string&, const std::string&) override { return true; }
    bool NotifyCopyingFile(const std::string&, const std::string&) override { return true; }
};

int Usage()
{
    std::fprintf(stderr,
                 "usage: backup_bench backup SOURCE BACKUP_FOLDER SET [THREADS]\n"
                 "       backup_bench restore GENERATION_FOLDER TARGET [THREADS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return Usage();
    const std::string mode = argv[1];
    QuietCallback callback;
    KWBackupManager engine(callback);
    const auto start = std::chrono::steady_clock::now();
    if (mode == "backup" && argc >= 5) {
        halvex::BackupRunOptions options;
        if (argc > 5)
            options.archiveThreads = static_cast<unsigned>(std::atoi(argv[5]));
        engine.AddFilter("*", "anything");
        std::uint32_t count = 0;
        // As the run of a profile: the dry run measures, and with nothing to
        // store the run ends there (message 38).
        engine.ComputeSize(argv[2], argv[3], 65536, argv[4], &count);
        if (count)
            engine.Backup(argv[2], argv[3], argv[4], options);
    } else if (mode == "restore") {
        halvex::RestoreRunOptions options;
        options.target = argv[3];
        options.base = argv[2];
        if (argc > 4)
            options.archiveThreads = static_cast<unsigned>(std::atoi(argv[4]));
        // As the restore window gives a folder: its archives in name order.
        std::vector<std::string> archives;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[2]))
            if (entry.is_regular_file())
                archives.push_back(entry.path().string());
        std::sort(archives.begin(), archives.end());
        for (const auto& archive : archives)
            engine.AddFileToRestorePool(archive);
        engine.RestoreFromFilesPool(options);
    } else {
        return Usage();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %u\n", seconds, engine.GetStoredCount());
    return engine.GetFailedCount() ? 1 : 0;
}
