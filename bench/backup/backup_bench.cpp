// Times one backup run of the engine: backup_bench SOURCE DRIVE_BACKUP_FOLDER SET [THREADS]
// Prints the seconds taken and the number of archives stored.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: backup_bench SOURCE BACKUP_FOLDER SET [THREADS]\n");
        return 2;
    }
    QuietCallback callback;
    KWBackupManager engine(callback);
    if (argc > 4)
        engine.SetArchiveThreads(static_cast<unsigned>(std::atoi(argv[4])));
    engine.AddFilter("*", "anything");
    const auto start = std::chrono::steady_clock::now();
    std::uint32_t count = 0;
    // As the run of a profile: the dry run measures, and with nothing to store
    // the run ends there (message 38).
    engine.ComputeSize(argv[1], argv[2], 65536, argv[3], &count);
    if (count)
        engine.Backup(argv[1], argv[2], argv[3]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %u\n", seconds, engine.GetStoredCount());
    return engine.GetFailedCount() ? 1 : 0;
}
