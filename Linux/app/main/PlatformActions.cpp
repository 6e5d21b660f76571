#include "app/main/PlatformActions.h"

#include "system/KMSystem.h"
#include "util/IgnoreResult.h"

namespace halvex::app {

void RevealFolder(const std::filesystem::path& folder)
{
    IgnoreResult(KMSystem::RevealFolder(folder), "nothing is reported when no file manager answers");
}

void OpenUrl(const QString& address)
{
    IgnoreResult(KMSystem::GoToUrl(address.toStdString()), "nothing is reported when no browser answers");
}

}  // namespace halvex::app
