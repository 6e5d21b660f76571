#include "strings/KXStrings.h"

std::filesystem::path KXStrings::m_sResourcesPath;
halvex::LanguageId KXStrings::m_sLanguage = halvex::kEnglishUS;
halvex::StringTable KXStrings::m_sTable;

void KXStrings::SetResourcesPath(const std::filesystem::path& path)
{
    m_sResourcesPath = path;
}

const std::filesystem::path& KXStrings::ResourcesPath()
{
    return m_sResourcesPath;
}

halvex::LanguageId KXStrings::ChooseLanguage()
{
    return ChooseLanguage(halvex::LocaleEnvironment::FromProcess());
}

halvex::LanguageId KXStrings::ChooseLanguage(const halvex::LocaleEnvironment& env)
{
    m_sLanguage = halvex::ChooseLanguageId(env);
    return m_sLanguage;
}

void KXStrings::SetLanguage(halvex::LanguageId id)
{
    m_sLanguage = id;
}

halvex::LanguageId KXStrings::Language()
{
    return m_sLanguage;
}

std::string KXStrings::LanguageFolderName(halvex::LanguageId id)
{
    return halvex::LanguageFolderForId(id == 0 ? m_sLanguage : id);
}

std::filesystem::path KXStrings::LanguageFolderPath(halvex::LanguageId id)
{
    return m_sResourcesPath / (LanguageFolderName(id) + ".lproj");
}

std::filesystem::path KXStrings::StringTablePath(halvex::LanguageId id)
{
    return LanguageFolderPath(id) / "Localizable.strings";
}

std::filesystem::path KXStrings::LicensePath(halvex::LanguageId id)
{
    return LanguageFolderPath(id) / "License.rtf";
}

halvex::Status KXStrings::LoadStringTable(const std::filesystem::path& path)
{
    return m_sTable.Load(path);
}

halvex::Status KXStrings::Init(const std::filesystem::path& resourcesPath)
{
    return Init(resourcesPath, halvex::LocaleEnvironment::FromProcess());
}

halvex::Status KXStrings::Init(const std::filesystem::path& resourcesPath, const halvex::LocaleEnvironment& env)
{
    SetResourcesPath(resourcesPath);
    ChooseLanguage(env);
    halvex::Status loaded = LoadStringTable(StringTablePath());
    // A drive whose folder for this language was lost or damaged still starts,
    // in English, rather than not at all.
    if (loaded || m_sLanguage == halvex::kEnglishUS)
        return loaded;
    m_sLanguage = halvex::kEnglishUS;
    return LoadStringTable(StringTablePath());
}

std::string KXStrings::GetString(std::string_view key)
{
    return m_sTable.Get(key);
}

bool KXStrings::HasString(std::string_view key)
{
    return m_sTable.Contains(key);
}

const halvex::StringTable& KXStrings::Table()
{
    return m_sTable;
}
