#include "toolkit/DWSkin.h"
#include "toolkit/PathText.h"
#include "util/IgnoreResult.h"

std::filesystem::path DWSkin::m_sResourcesPath;
KXTheme DWSkin::m_sTheme;
bool DWSkin::m_sSystemLook = false;

void DWSkin::Init(const std::filesystem::path& resourcesPath, bool systemLook)
{
    m_sResourcesPath = resourcesPath;
    m_sTheme = KXTheme();
    IgnoreResult(m_sTheme.Load(resourcesPath), "without a theme the windows keep the default look");
    m_sSystemLook = systemLook;
}

QPixmap DWSkin::ContentImage(const QString& name)
{
    if (m_sResourcesPath.empty())
        return {};
    const std::filesystem::path file = KXTheme::ImagePath(m_sResourcesPath, name.toStdString());
    QPixmap pixmap;
    // A damaged image loads as null: the control is then drawn without it.
    if (!pixmap.load(PathText(file)))
        return {};
    return pixmap;
}

QPixmap DWSkin::Image(const QString& name)
{
    if (m_sSystemLook)
        return {};
    return ContentImage(name);
}

QColor DWSkin::ToQColor(KXTheme::Colour colour)
{
    return QColor(KXTheme::Red(colour), KXTheme::Green(colour), KXTheme::Blue(colour));
}
