#include "strings/KXTheme.h"

// FIXME: stub until the theme reader lands: every default in place.
std::optional<KXTheme::Colour> KXTheme::ParseColour(std::string_view)
{
    return std::nullopt;
}

bool KXTheme::Load(const std::filesystem::path& resourcesPath)
{
    return LoadFile(resourcesPath / kFileName);
}

bool KXTheme::LoadFile(const std::filesystem::path&)
{
    return false;
}

KXTheme::Colour KXTheme::GetColour(std::string_view key) const
{
    const auto it = m_mapColours.find(key);
    return it == m_mapColours.end() ? kWhite : it->second;
}

std::filesystem::path KXTheme::ImagePath(const std::filesystem::path& resourcesPath,
                                         std::string_view name)
{
    std::string file(name);
    if (std::filesystem::path(file).extension().empty())
        file += ".png";
    return resourcesPath / file;
}
