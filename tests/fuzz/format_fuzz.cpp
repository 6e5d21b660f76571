// The formatter with a hostile localised format: whatever the format asks,
// it may only read the arguments it was given and the result stays bounded.
#include "FuzzSupport.h"
#include "strings/FormatText.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks how many of the arguments are passed.
    const std::size_t count = data[0] % 6;
    const std::string_view format = halvex::fuzz::AsText(data + 1, size - 1);
    const std::string text(300, 'T');
    const std::array<halvex::FormatArg, 5> all = {
        halvex::FormatArg(text), halvex::FormatArg(-9223372036854775807LL - 1),
        halvex::FormatArg(18446744073709551615ULL), halvex::FormatArg('\0'), halvex::FormatArg("")};
    const std::string result = halvex::FormatTextArgs(format, std::span<const halvex::FormatArg>(all.data(), count));

    // Every byte of the result comes from the format, an argument or a
    // padding of at most the width limit per placeholder.
    const std::size_t placeholders = format.size() / 2 + 1;
    const std::size_t bound =
        format.size() + placeholders * (halvex::kMaxFormatWidth + 20) + text.size() * placeholders;
    halvex::fuzz::Check(result.size() <= bound, "formatted text beyond its bound");
    return 0;
}
