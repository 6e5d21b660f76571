// The string-table reader, and every value it gives filled in with arguments
// of each kind, as the windows do with a table from the drive.
#include "FuzzSupport.h"
#include "strings/FormatText.h"
#include "strings/StringTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    halvex::StringTable table;
    if (!table.LoadText(halvex::fuzz::AsText(data, size)))
        return 0;
    for (const auto& [key, raw] : table.Entries()) {
        const std::string value = table.Get(key);
        halvex::fuzz::Check(value.size() <= raw.size(), "expanded value grew");
        (void)halvex::FormatText(value, std::string("E:/Halvex Data"), 42, 7u, 'x');
    }
    return 0;
}
