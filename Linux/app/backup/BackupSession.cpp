#include "app/backup/BackupSession.h"

namespace halvex::app {

BackupSession::BackupSession(const std::filesystem::path& dataFolder, std::filesystem::path drive,
                             std::uint64_t cluster, std::string identityText)
    : store(dataFolder, strings), driveRoot(std::move(drive)), clusterSize(cluster), identity(std::move(identityText))
{}

Status BackupSession::LoadCurrentProfile()
{
    Result<BackupProfile> read = store.ReadCurrent();
    if (!read)
        return read.status();
    profile = std::move(read).value();
    return BackupProfileStore::CheckRunnable(profile);
}

}  // namespace halvex::app
