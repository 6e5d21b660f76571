#include "app/main/PlatformActions.h"

#include "system/KMSystem.h"

namespace halvex::app {

void RevealFolder(const std::filesystem::path& folder)
{
    (void)KMSystem::RevealFolder(folder);  // nothing is reported when no file manager answers
}

void OpenUrl(const QString& address)
{
    (void)KMSystem::GoToUrl(address.toStdString());
}

}  // namespace halvex::app
