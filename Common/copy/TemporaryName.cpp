#include "copy/TemporaryName.h"

#include <sys/random.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "copy/FileCopier.h"

namespace halvex {

namespace {

constexpr std::size_t kMaximumNameBytes = 255;

std::uint32_t RandomNumber()
{
    std::uint32_t value = 0;
    if (getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value) {
        // Uniqueness, not secrecy, is what matters; O_EXCL catches a clash.
        value = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return value;
}

std::size_t Utf8Boundary(std::string_view text, std::size_t at)
{
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

}  // namespace

std::string TemporaryNameFor(std::string_view name)
{
    char random[16];
    std::snprintf(random, sizeof random, "%08x-", RandomNumber());
    std::string result(kCopyTemporaryPrefix);
    result += random;
    const std::size_t room = kMaximumNameBytes - result.size();
    result += name.substr(0, Utf8Boundary(name, std::min(room, name.size())));
    return result;
}

bool IsTemporaryCopyName(std::string_view name)
{
    return name.starts_with(kCopyTemporaryPrefix);
}

}  // namespace halvex
