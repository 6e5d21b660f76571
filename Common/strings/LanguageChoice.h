#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// Windows language identifiers: the string tables and the other builds name
// languages this way, so the Linux locale is mapped onto them.
using LanguageId = std::uint16_t;
inline constexpr LanguageId kEnglishUS = 1033;

// The locale settings that decide the language, gathered in one place so the
// choice can be made (and tested) without touching the process environment.
struct LocaleEnvironment {
    std::string lcAll;       // LC_ALL
    std::string lcMessages;  // LC_MESSAGES
    std::string lang;        // LANG
    std::string language;    // LANGUAGE: a colon-separated preference list
    std::string systemLang;  // LANG of /etc/default/locale or /etc/locale.conf

    // The values of this process and this machine.
    static LocaleEnvironment FromProcess();
};

// Maps a locale name, language[_TERRITORY][.codeset][@modifier], to its
// Windows language identifier: "fr_CA.UTF-8" is 3084, "C" and "POSIX" are
// 1033, a bare language ("ja") is its main variant. 0 when unknown, also for a
// known language with an unlisted territory.
LanguageId LanguageIdFromLocaleName(std::string_view name);

// The language folder of an identifier of the table ("English", "fr_CA", ...);
// the empty text for any other identifier.
std::string LanguageFolderForId(LanguageId id);

// Chooses the string table's language:
//  1. the user's interface language: the messages locale, which is the first
//     non-empty of LC_ALL, LC_MESSAGES and LANG, as the C library takes it;
//  2. the user's further choices: each entry of LANGUAGE in order;
//  3. the system default: LANG of the system locale file;
//  4. English (United States).
// A step counts only when its identifier is one of the table's languages, so
// fr_CH or de_DE fall through to the next step.
LanguageId ChooseLanguageId(const LocaleEnvironment& env);

// Reads LANG from a locale file of the /etc/default/locale kind (shell
// assignments, optionally quoted, comments). Empty when absent or unreadable.
std::string ReadSystemLang(const std::filesystem::path& path);

}  // namespace halvex
