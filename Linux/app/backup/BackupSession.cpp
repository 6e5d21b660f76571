#include "app/backup/BackupSession.h"

namespace halvex::app {

BackupSession::BackupSession(const std::filesystem::path& dataFolder, std::filesystem::path drive,
                             std::uint64_t cluster, std::string identityText)
    : store(dataFolder, strings), driveRoot(std::move(drive)), clusterSize(cluster), identity(std::move(identityText))
{}

}  // namespace halvex::app
