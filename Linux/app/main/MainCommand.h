#pragma once

// The main window's commands: menu ids and control ids share one space, and
// one handler dispatches them all.
namespace halvex::app {

enum MainCommand : int {
    kCmdToggleMain = 128,
    kCmdSyncNormal = 129,
    kCmdSyncInstant = 130,
    kCmdSyncPrefs = 131,
    kCmdPrefs = 135,
    kCmdHelp = 136,
    kCmdWebSupport = 137,
    kCmdWebForum = 138,
    kCmdWebHome = 139,
    kCmdCheckUpdate = 140,
    kCmdAbout = 141,
    kCmdExit = 142,
    kCmdExitButton = 1000,
    kCmdSyncButton = 1001,
    kCmdBackupButton = 1003,
    kCmdPrefsButton = 1004,
    kCmdWelcome = 1005,
    kCmdBackupDrop = 1007,
    kCmdSyncDrop = 1008,
    kCmdHide = 1019,
    kCmdLogo = 1047,
    kCmdDriveLink = 1063,
    // The backup drop-down menu's items, which the other builds leave without a command.
    kCmdBackupRun = 1101,
    kCmdBackupRestore = 1102,
    kCmdBackupConfigure = 1103,
};

// The maker's pages that the help menu and the logo open.
inline constexpr char kWebHome[] = "https://www.halvex.com/";
inline constexpr char kWebSupport[] = "https://www.halvex.com/support/";
inline constexpr char kWebForum[] = "https://forum.halvex.com/";

}  // namespace halvex::app
