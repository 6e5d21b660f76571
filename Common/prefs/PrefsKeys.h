#pragma once

// Keys of the application preference file "com.halvex.dravane.plist". The
// Windows and Mac builds read the same file, so the names are fixed.
namespace halvex::prefkey {

inline constexpr char kWinUI[] = "WinUI";  // system look instead of the drawn look; stealth
inline constexpr char kShowMain[] = "ShowMain";
inline constexpr char kCheckUpdate[] = "CheckUpdate";
inline constexpr char kSyncLog[] = "SyncLog";
inline constexpr char kSyncSubfolders[] = "SyncSubfolders";
inline constexpr char kAskAutoRun[] = "AskAutoRun";
// Written by the first-run gate directly into the file; never registered.
inline constexpr char kEula[] = "eula";

}  // namespace halvex::prefkey
