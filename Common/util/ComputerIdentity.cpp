#include "util/ComputerIdentity.h"

#include "util/HexDigit.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cctype>
#include <cstdio>
#include <optional>
#include <utility>
#include <string_view>
#include <vector>

#include "util/BoundedRead.h"
#include "util/ParseInteger.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

using HardwareAddress = std::array<std::uint8_t, 6>;

constexpr std::size_t kRouteTableLimit = std::size_t{1024} * 1024;
constexpr std::size_t kSysEntryLimit = 4096;
constexpr unsigned long kRouteUp = 0x1;            // RTF_UP
constexpr unsigned long kInterfaceLoopback = 0x8;  // IFF_LOOPBACK

// Interface names come from files that may be damaged: keep to what the
// kernel allows, so a name never climbs out of the sys folder.
bool IsInterfaceName(std::string_view name)
{
    return !name.empty() && name.size() < 16 && name != "." && name != ".." &&
           name.find_first_of("/\0 \t\n:", 0, 6) == std::string_view::npos;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// "aa:bb:cc:dd:ee:ff" exactly; anything else (a tunnel's four bytes, an
// InfiniBand twenty) is no Ethernet-style address.
std::optional<HardwareAddress> ParseAddress(std::string_view text)
{
    text = Trim(text);
    if (text.size() != 17)
        return std::nullopt;
    HardwareAddress address{};
    for (std::size_t i = 0; i < 6; ++i) {
        const int high = HexDigit(text[i * 3]);
        const int low = HexDigit(text[i * 3 + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[i * 3 + 2] != ':'))
            return std::nullopt;
        address[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (std::all_of(address.begin(), address.end(), [](std::uint8_t b) { return b == 0; }))
        return std::nullopt;
    return address;
}

std::optional<unsigned long> ParseHex(std::string_view text)
{
    text = Trim(text);
    if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")
        text.remove_prefix(2);
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    unsigned long value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    return value;
}

bool IsLoopback(const fs::path& interfaceFolder, std::string_view name)
{
    if (name == "lo")
        return true;
    const Result<std::string> flags = ReadBoundedFile(interfaceFolder / "flags", kSysEntryLimit);
    if (!flags)
        return false;
    const std::optional<unsigned long> value = ParseHex(flags.value());
    return value && (*value & kInterfaceLoopback) != 0;
}

std::optional<HardwareAddress> InterfaceAddress(const IdentitySources& sources, std::string_view name)
{
    if (!IsInterfaceName(name))
        return std::nullopt;
    const fs::path folder = sources.sysClassNet / std::string(name);
    if (IsLoopback(folder, name))
        return std::nullopt;
    const Result<std::string> text = ReadBoundedFile(folder / "address", kSysEntryLimit);
    if (!text)
        return std::nullopt;
    return ParseAddress(text.value());
}

// The interface of the default route with the lowest metric, from the
// kernel's table: "Iface Destination Gateway Flags RefCnt Use Metric Mask ...".
std::optional<std::string> DefaultRouteInterface(const fs::path& routeTable)
{
    const Result<std::string> table = ReadBoundedFile(routeTable, kRouteTableLimit);
    if (!table)
        return std::nullopt;
    const std::string& text = table.value();
    std::optional<std::string> best;
    unsigned long bestMetric = 0;
    std::string_view rest = text;
    bool header = true;
    while (!rest.empty()) {
        const std::size_t newline = rest.find('\n');
        const std::string_view line = rest.substr(0, newline);
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
        if (std::exchange(header, false))
            continue;
        std::vector<std::string_view> fields;
        std::size_t pos = 0;
        while (pos < line.size() && fields.size() < 8) {
            const std::size_t start = line.find_first_not_of(" \t", pos);
            if (start == std::string_view::npos)
                break;
            const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
            fields.push_back(line.substr(start, end - start));
            pos = end;
        }
        if (fields.size() < 8 || !IsInterfaceName(fields[0]))
            continue;
        const auto destination = ParseHex(fields[1]);
        const auto flags = ParseHex(fields[3]);
        const auto mask = ParseHex(fields[7]);
        if (!destination || !flags || !mask || *destination != 0 || *mask != 0 || (*flags & kRouteUp) == 0)
            continue;
        const auto parsedMetric = ParseInteger<unsigned long>(fields[6]);
        if (!parsedMetric)
            continue;
        const unsigned long metric = *parsedMetric;
        if (!best || metric < bestMetric) {
            best = std::string(fields[0]);
            bestMetric = metric;
        }
    }
    return best;
}

// A stable stand-in from the machine id: its first six bytes, marked
// locally administered and unicast as a made-up address must be.
std::optional<HardwareAddress> MachineIdAddress(const fs::path& machineId)
{
    const Result<std::string> text = ReadBoundedFile(machineId, kSysEntryLimit);
    if (!text)
        return std::nullopt;
    const std::string_view id = Trim(text.value());
    if (id.size() < 12)
        return std::nullopt;
    HardwareAddress address{};
    for (std::size_t i = 0; i < 6; ++i) {
        const int high = HexDigit(id[i * 2]);
        const int low = HexDigit(id[i * 2 + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        address[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    address[0] = static_cast<std::uint8_t>((address[0] | 0x02) & ~0x01);
    return address;
}

std::string FormatAddress(const HardwareAddress& a)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

}  // namespace

std::string ComputerIdentityFrom(const IdentitySources& sources)
{
    if (const auto name = DefaultRouteInterface(sources.procNetRoute)) {
        if (const auto address = InterfaceAddress(sources, *name))
            return FormatAddress(*address);
    }

    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(sources.sysClassNet, error), end; !error && it != end; it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    // Interfaces backed by hardware first: a bridge's or a container
    // network's address may be new after each boot, and the identity must
    // not change under the user's sync settings.
    std::optional<HardwareAddress> virtualAddress;
    for (const std::string& name : names) {
        const auto address = InterfaceAddress(sources, name);
        if (!address)
            continue;
        std::error_code linkError;
        if (fs::exists(sources.sysClassNet / name / "device", linkError))
            return FormatAddress(*address);
        if (!virtualAddress)
            virtualAddress = address;
    }
    if (virtualAddress)
        return FormatAddress(*virtualAddress);

    if (const auto address = MachineIdAddress(sources.machineId))
        return FormatAddress(*address);
    return "00:00:00:00:00:00";
}

const std::string& ComputerIdentity()
{
    // Filled on first use (start-up, on the main thread); read-only after.
    static const std::string sIdentity = ComputerIdentityFrom(IdentitySources{});
    return sIdentity;
}

}  // namespace halvex
