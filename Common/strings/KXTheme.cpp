#include "strings/KXTheme.h"

#include "plist/DXPlistPrefs.h"
#include "util/ColourFromText.h"
#include "util/FileMessageKeys.h"

#include <cctype>

std::optional<KXTheme::Colour> KXTheme::ParseColour(std::string_view text)
{
    // "%d,%d,%d" matched nothing unless the first number is there: blanks, an
    // optional sign, then a digit.
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos])))
        return std::nullopt;
    return halvex::ColourFromText(text);
}

halvex::Status KXTheme::Load(const std::filesystem::path& resourcesPath)
{
    return LoadFile(resourcesPath / kFileName);
}

halvex::Status KXTheme::LoadFile(const std::filesystem::path& themeFile)
{
    *this = KXTheme();
    const DXPlistPrefs prefs(themeFile);
    for (const char* key : {kFrameLight, kFrameMid, kFrameDark}) {
        std::string text;
        prefs.GetValue(key, text, "");
        if (const auto colour = ParseColour(text))
            m_mapColours[key] = *colour;
    }
    prefs.GetValue(kWindowShadow, m_bWindowShadow, true);
    prefs.GetValue(kLeopard, m_bLeopard, true);
    // A direction colour that is not a colour keeps its default: rows drawn in
    // black on a damaged theme would lose the direction they show.
    const auto readColour = [&prefs](const char* key, const char* fallback) {
        std::string text;
        prefs.GetValue(key, text, fallback);
        if (const auto colour = ParseColour(text))
            return *colour;
        return *ParseColour(fallback);
    };
    m_clrUsb = readColour(kUsbColour, kUsbColourDefault);
    m_clrLocal = readColour(kLocalColour, kLocalColourDefault);
    // The plist reader does not say why a file gave nothing; the file's name is what helps.
    if (prefs.Values().empty())
        return halvex::Status::Fail(halvex::kFileReadErrorKey, themeFile.string() + ": no theme values");
    return halvex::Status::Ok();
}

KXTheme::Colour KXTheme::GetColour(std::string_view key) const
{
    const auto it = m_mapColours.find(key);
    return it == m_mapColours.end() ? kWhite : it->second;
}

std::filesystem::path KXTheme::ImagePath(const std::filesystem::path& resourcesPath, std::string_view name)
{
    // Images lie flat in the resources folder; only the last part of the name counts.
    std::string file = std::filesystem::path(name).filename().string();
    if (std::filesystem::path(file).extension().empty())
        file += ".png";
    return resourcesPath / file;
}
