#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

#include <filesystem>

#include "strings/KXTheme.h"

// The look of the windows: the drawn look from the images and theme of the
// drive's resources folder, or the system look when "WinUI" is set. Set once
// at start-up on the main thread, read by the windows afterwards.
class DWSkin {
public:
    static void Init(const std::filesystem::path& resourcesPath, bool systemLook);
    static void SetSystemLook(bool systemLook) { m_sSystemLook = systemLook; }

    // True when the windows use the standard widgets and icons.
    static bool SystemLook() { return m_sSystemLook; }
    static const std::filesystem::path& ResourcesPath() { return m_sResourcesPath; }
    static const KXTheme& Theme() { return m_sTheme; }

    // The image of the drawn look ("Main_Sync_Normal" or "AlertStop.png");
    // null with the system look or when the file is missing or damaged.
    static QPixmap Image(const QString& name);
    // The same image whatever the look (pictures that are content, not chrome).
    static QPixmap ContentImage(const QString& name);

    static QColor ToQColor(KXTheme::Colour colour);

private:
    static std::filesystem::path m_sResourcesPath;
    static KXTheme m_sTheme;
    static bool m_sSystemLook;
};
