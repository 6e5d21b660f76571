#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "util/Status.h"

// The interface theme "Win_Gui.plist" of the resources folder: window frame
// colours, the two look options and the sync list's direction colours.
// Colours are Windows colour values (red in the low byte, then green, then
// blue), the form the other builds store and compare.
class KXTheme {
public:
    using Colour = std::uint32_t;

    static constexpr const char* kFileName = "Win_Gui.plist";
    static constexpr const char* kFrameLight = "WindowFrameLight";
    static constexpr const char* kFrameMid = "WindowFrameMid";
    static constexpr const char* kFrameDark = "WindowFrameDark";
    static constexpr const char* kWindowShadow = "WindowShadow";
    static constexpr const char* kLeopard = "Leopard";
    static constexpr const char* kUsbColour = "UsbRGB";
    static constexpr const char* kLocalColour = "LocalRGB";
    static constexpr const char* kUsbColourDefault = "127,0,0";
    static constexpr const char* kLocalColourDefault = "0,0,200";
    static constexpr Colour kWhite = 0xFFFFFF;

    static constexpr Colour MakeColour(int red, int green, int blue)
    {
        return static_cast<Colour>(red & 0xFF) | (static_cast<Colour>(green & 0xFF) << 8) |
               (static_cast<Colour>(blue & 0xFF) << 16);
    }
    static constexpr int Red(Colour c) { return static_cast<int>(c & 0xFF); }
    static constexpr int Green(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
    static constexpr int Blue(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

    // Reads "red,green,blue" the way "%d,%d,%d" does. Nothing when not even the
    // first number is there; components that are missing become 0, and each
    // is clamped to 0..255.
    static std::optional<Colour> ParseColour(std::string_view text);

    // Reads the theme file of a resources folder; a missing or damaged file
    // leaves every default in place and fails with "file_read_err" and the file.
    [[nodiscard]] halvex::Status Load(const std::filesystem::path& resourcesPath);
    [[nodiscard]] halvex::Status LoadFile(const std::filesystem::path& themeFile);

    // A frame colour by its key; white when the theme does not set it.
    Colour GetColour(std::string_view key) const;
    bool WindowShadow() const { return m_bWindowShadow; }
    bool Leopard() const { return m_bLeopard; }
    // The sync list's text colours for rows from the drive and from the computer.
    Colour UsbColour() const { return m_clrUsb; }
    Colour LocalColour() const { return m_clrLocal; }

    // An image of the skinned interface: a bare name gets ".png".
    static std::filesystem::path ImagePath(const std::filesystem::path& resourcesPath, std::string_view name);

private:
    std::map<std::string, Colour, std::less<>> m_mapColours;
    bool m_bWindowShadow = true;
    bool m_bLeopard = true;
    Colour m_clrUsb = MakeColour(127, 0, 0);
    Colour m_clrLocal = MakeColour(0, 0, 200);
};
