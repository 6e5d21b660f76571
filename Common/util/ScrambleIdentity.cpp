#include "util/ScrambleIdentity.h"

namespace halvex {

namespace {
constexpr std::string_view kScrambleKey = "VKRM4Q7351-2804E9A";
}

std::string ScrambleIdentity(std::string_view identity)
{
    std::string scrambled;
    scrambled.reserve(identity.size() * 3);
    for (std::size_t i = 0; i < identity.size(); ++i) {
        const auto byte =
            static_cast<unsigned char>(identity[i]) ^ static_cast<unsigned char>(kScrambleKey[i % kScrambleKey.size()]);
        // Printed as a signed char, as the other builds do: bytes from 0x80
        // come out negative.
        scrambled += std::to_string(static_cast<int>(static_cast<signed char>(byte)));
    }
    return scrambled;
}

}  // namespace halvex
