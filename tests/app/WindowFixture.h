#pragma once

#include <QWidget>

#include <filesystem>
#include <string>
#include <vector>

#include "AppFixture.h"
#include "app/autorun/AutoRunControl.h"
#include "sync/SyncFolderPair.h"

// Windows built on their own: the drive's strings, look and preferences are
// loaded as start-up loads them, and the auto-run agent is a pretend one.
class WindowFixture : public AppFixture {
protected:
    void SetUp() override;

    std::filesystem::path Resources() const;
    std::filesystem::path DataPath() const { return m_drive / "Halvex Data"; }
    std::filesystem::path IndexFile() const { return DataPath() / "com.halvex.dravane.sync.plist"; }
    std::filesystem::path UsbFolder() const { return m_drive / "Sync Folder"; }
    halvex::SyncPlace Place() const { return {m_drive, DataPath(), "123456"}; }
    // A folder of the computer that the folder rules accept.
    std::filesystem::path ComputerFolder(const std::string& name) const;

    // The pretend agent: counts installs and removals; its trust list is
    // m_trusted, this drive kThisDrive.
    halvex::app::AutoRunControl FakeAutoRun(bool administrator);
    bool m_bInstalled = false;
    bool m_bInstallWorks = true;
    int m_nInstalls = 0;
    int m_nUninstalls = 0;
    std::vector<halvex::DriveIdentity> m_trusted;
    static inline const halvex::DriveIdentity kThisDrive{"090C", "1000", "AA01", "1A2B-3C4D", "STICK"};
};
