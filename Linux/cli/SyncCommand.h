#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class KXAppPaths;

namespace halvex {

// `dravane sync [--computer-folder DIR] [--subfolders | --no-subfolders]
//               [--log | --no-log] [--list] [--yes]`
// Start-up (paths, preferences, string table, drive test) is done by the
// caller. Returns the exit status: 0 done, 1 a file failed or the run was
// cancelled, 2 usage or setup error.
int RunSyncCommand(const KXAppPaths& paths, const std::vector<std::string>& args, std::ostream& out,
                   std::ostream& err);

extern const char* const kSyncCommandHelp;

}  // namespace halvex
