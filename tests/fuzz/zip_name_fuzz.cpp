// The entry-name check of the restore and the updater: a name it lets
// through must stay inside the folder it is unpacked into.
#include "FuzzSupport.h"
#include "zip/ZipEntryName.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view name = halvex::fuzz::AsText(data, size);
    if (!halvex::IsSafeEntryName(name))
        return 0;
    using halvex::fuzz::Check;
    Check(name.find('\0') == std::string_view::npos, "name with a zero byte");
    const std::filesystem::path relative(name);
    Check(!relative.is_absolute() && !relative.has_root_path(), "absolute name");
    const std::filesystem::path base = "/unpack/here";
    const std::filesystem::path joined = (base / relative).lexically_normal();
    const std::filesystem::path back = joined.lexically_relative(base);
    Check(!back.empty() && *back.begin() != "..", "name escapes its folder");
    for (const auto& part : relative)
        Check(part != "..", "parent component");
    return 0;
}
