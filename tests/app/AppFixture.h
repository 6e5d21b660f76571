#pragma once

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

class QWidget;

#include "toolkit/KWMsgBox.h"
#include "prefs/KXAppPrefs.h"
#include "TestFiles.h"

// A drive-shaped folder in a temporary place whose resources are the
// build's, taken as a suite drive through HALVEX_ASSUME_USB.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QStringList Arguments() const { return {QString::fromStdString(m_drive.string())}; }
    std::filesystem::path PrefsFile() const { return m_drive / "Halvex Data" / "com.halvex.dravane.plist"; }
    // Writes the preference file with the licence accepted, so the first-run
    // gate lets the start through.
    void AcceptLicence(bool showMain = true);

    std::unique_ptr<halvex::test::TempFolder> m_folder;
    std::filesystem::path m_root;
    std::filesystem::path m_drive;
};

// Where the tests leave the pictures of the windows.
std::filesystem::path ScreenshotFolder();

// Shows the window and saves its picture as `name` in the screenshot folder;
// a failure of the test when nothing was written or the picture is blank.
void SaveScreenshot(QWidget& window, const std::string& name);
