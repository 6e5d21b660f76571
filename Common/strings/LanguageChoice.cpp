#include "strings/LanguageChoice.h"

namespace halvex {

// FIXME: stub until the locale table lands.
LocaleEnvironment LocaleEnvironment::FromProcess()
{
    return {};
}

LanguageId LanguageIdFromLocaleName(std::string_view)
{
    return 0;
}

std::string LanguageFolderForId(LanguageId id)
{
    return id == kEnglishUS ? "English" : "";
}

LanguageId ChooseLanguageId(const LocaleEnvironment&)
{
    return kEnglishUS;
}

std::string ReadSystemLang(const std::string&)
{
    return {};
}

}  // namespace halvex
