#include "PlatformActions.h"

#include <QDesktopServices>
#include <QUrl>

namespace halvex::app {

void RevealFolder(const std::filesystem::path& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void OpenUrl(const QString& address)
{
    QDesktopServices::openUrl(QUrl(address));
}

}  // namespace halvex::app
