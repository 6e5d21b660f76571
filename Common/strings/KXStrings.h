#pragma once

#include "strings/FormatText.h"
#include "strings/LanguageChoice.h"
#include "strings/StringTable.h"

#include <filesystem>
#include <string>
#include <string_view>

// The process-wide string lookup: the resources path, the chosen language and
// its string table. Filled once at start-up, before any worker thread exists,
// and only read afterwards, so lookups from workers need no lock.
class KXStrings {
public:
    static void SetResourcesPath(const std::filesystem::path& path);
    static const std::filesystem::path& ResourcesPath();

    // Chooses the language from the locale of this process (or of the given
    // environment) and holds it for the run.
    static halvex::LanguageId ChooseLanguage();
    static halvex::LanguageId ChooseLanguage(const halvex::LocaleEnvironment& env);
    static void SetLanguage(halvex::LanguageId id);
    static halvex::LanguageId Language();

    // The language folder name for an identifier, 0 meaning the chosen one;
    // empty for an identifier not in the table.
    static std::string LanguageFolderName(halvex::LanguageId id = 0);
    // <resources>/<folder>.lproj, and the files in it.
    static std::filesystem::path LanguageFolderPath(halvex::LanguageId id = 0);
    static std::filesystem::path StringTablePath(halvex::LanguageId id = 0);
    static std::filesystem::path LicensePath(halvex::LanguageId id = 0);

    // Empties the table and reads the file (see halvex::StringTable::Load).
    [[nodiscard]] static halvex::Status LoadStringTable(const std::filesystem::path& path);
    // Start-up in one call: sets the resources path, chooses the language from
    // the process locale and loads that language's table, or the English one
    // (and English as the language) when that table cannot be read. A failure
    // is the last table's, for a message that can only be in English.
    [[nodiscard]] static halvex::Status Init(const std::filesystem::path& resourcesPath);
    [[nodiscard]] static halvex::Status Init(const std::filesystem::path& resourcesPath,
                                             const halvex::LocaleEnvironment& env);

    // The value for the key with "\n" pairs as line breaks; empty when missing.
    static std::string GetString(std::string_view key);
    static bool HasString(std::string_view key);

    // Looks the key up and fills its placeholders with the checked formatter.
    template <typename... Args>
    static std::string Format(std::string_view key, const Args&... args)
    {
        return halvex::FormatText(GetString(key), args...);
    }

    static const halvex::StringTable& Table();

private:
    static std::filesystem::path m_sResourcesPath;
    static halvex::LanguageId m_sLanguage;
    static halvex::StringTable m_sTable;
};
