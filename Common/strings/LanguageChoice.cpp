#include "strings/LanguageChoice.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>

namespace halvex {

namespace {

// The languages that have a string table, in the order they are searched.
struct TableLanguage {
    LanguageId id;
    const char* folder;
};
constexpr std::array kTableLanguages{
    TableLanguage{1033, "English"}, TableLanguage{2057, "en_GB"}, TableLanguage{1036, "fr_FR"},
    TableLanguage{3084, "fr_CA"},   TableLanguage{1041, "ja"},    TableLanguage{1028, "zh_TW"},
    TableLanguage{2052, "zh_CN"},
};

// Locale names and their Windows identifiers. The first row of a language is
// the one a bare language name ("fr", "pt") stands for. Territories missing
// here map to nothing, as an unlisted variant does on Windows.
struct LocaleRow {
    const char* name;
    LanguageId id;
};
constexpr LocaleRow kLocales[] = {
    {"en_US", 1033},  {"en_GB", 2057},  {"en_AU", 3081},  {"en_CA", 4105},  {"en_NZ", 5129},  {"en_IE", 6153},
    {"en_ZA", 7177},  {"en_JM", 8201},  {"en_BZ", 10249}, {"en_TT", 11273}, {"en_ZW", 12297}, {"en_PH", 13321},
    {"en_IN", 16393}, {"en_MY", 17417}, {"en_SG", 18441}, {"fr_FR", 1036},  {"fr_BE", 2060},  {"fr_CA", 3084},
    {"fr_CH", 4108},  {"fr_LU", 5132},  {"fr_MC", 6156},  {"ja_JP", 1041},  {"zh_CN", 2052},  {"zh_TW", 1028},
    {"zh_HK", 3076},  {"zh_SG", 4100},  {"zh_MO", 5124},  {"de_DE", 1031},  {"de_CH", 2055},  {"de_AT", 3079},
    {"de_LU", 4103},  {"de_LI", 5127},  {"es_ES", 3082},  {"es_MX", 2058},  {"es_GT", 4106},  {"es_CR", 5130},
    {"es_PA", 6154},  {"es_DO", 7178},  {"es_VE", 8202},  {"es_CO", 9226},  {"es_PE", 10250}, {"es_AR", 11274},
    {"es_EC", 12298}, {"es_CL", 13322}, {"es_UY", 14346}, {"es_PY", 15370}, {"es_BO", 16394}, {"es_SV", 17418},
    {"es_HN", 18442}, {"es_NI", 19466}, {"es_PR", 20490}, {"es_US", 21514}, {"it_IT", 1040},  {"it_CH", 2064},
    {"pt_BR", 1046},  {"pt_PT", 2070},  {"nl_NL", 1043},  {"nl_BE", 2067},  {"ko_KR", 1042},  {"ru_RU", 1049},
    {"ar_SA", 1025},  {"ar_IQ", 2049},  {"ar_EG", 3073},  {"ar_LY", 4097},  {"ar_DZ", 5121},  {"ar_MA", 6145},
    {"ar_TN", 7169},  {"ar_OM", 8193},  {"ar_YE", 9217},  {"ar_SY", 10241}, {"ar_JO", 11265}, {"ar_LB", 12289},
    {"ar_KW", 13313}, {"ar_AE", 14337}, {"ar_BH", 15361}, {"ar_QA", 16385}, {"bg_BG", 1026},  {"ca_ES", 1027},
    {"cs_CZ", 1029},  {"da_DK", 1030},  {"el_GR", 1032},  {"fi_FI", 1035},  {"he_IL", 1037},  {"hu_HU", 1038},
    {"is_IS", 1039},  {"nb_NO", 1044},  {"no_NO", 1044},  {"nn_NO", 2068},  {"pl_PL", 1045},  {"ro_RO", 1048},
    {"hr_HR", 1050},  {"sk_SK", 1051},  {"sq_AL", 1052},  {"sv_SE", 1053},  {"sv_FI", 2077},  {"th_TH", 1054},
    {"tr_TR", 1055},  {"ur_PK", 1056},  {"id_ID", 1057},  {"uk_UA", 1058},  {"be_BY", 1059},  {"sl_SI", 1060},
    {"et_EE", 1061},  {"lv_LV", 1062},  {"lt_LT", 1063},  {"fa_IR", 1065},  {"vi_VN", 1066},  {"hy_AM", 1067},
    {"az_AZ", 1068},  {"eu_ES", 1069},  {"mk_MK", 1071},  {"af_ZA", 1078},  {"ka_GE", 1079},  {"fo_FO", 1080},
    {"hi_IN", 1081},  {"mt_MT", 1082},  {"ms_MY", 1086},  {"kk_KZ", 1087},  {"ky_KG", 1088},  {"sw_KE", 1089},
    {"uz_UZ", 1091},  {"tt_RU", 1092},  {"bn_IN", 1093},  {"pa_IN", 1094},  {"gu_IN", 1095},  {"ta_IN", 1097},
    {"te_IN", 1098},  {"kn_IN", 1099},  {"ml_IN", 1100},  {"mr_IN", 1102},  {"mn_MN", 1104},  {"cy_GB", 1106},
    {"km_KH", 1107},  {"lo_LA", 1108},  {"gl_ES", 1110},  {"si_LK", 1115},  {"am_ET", 1118},  {"ne_NP", 1121},
    {"fil_PH", 1124}, {"ga_IE", 2108},  {"ms_BN", 2110},  {"sr_RS", 10266}, {"sr_ME", 12314}, {"bs_BA", 5146},
};

// sr_RS and sr_ME carry the script as a modifier; their Latin forms are other
// identifiers.
constexpr LocaleRow kLatinLocales[] = {{"sr_RS", 9242}, {"sr_ME", 11290}};

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool IsTableLanguage(LanguageId id)
{
    return std::any_of(kTableLanguages.begin(), kTableLanguages.end(),
                       [id](const TableLanguage& row) { return row.id == id; });
}

std::string EnvValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

LanguageId LanguageIdFromLocaleName(std::string_view name)
{
    // language[_TERRITORY][.codeset][@modifier]; a '-' is taken for '_' too.
    std::string_view modifier;
    if (const auto at = name.find('@'); at != std::string_view::npos) {
        modifier = name.substr(at + 1);
        name = name.substr(0, at);
    }
    if (const auto dot = name.find('.'); dot != std::string_view::npos)
        name = name.substr(0, dot);
    if (name == "C" || name == "POSIX")
        return kEnglishUS;
    std::string_view language = name;
    std::string_view territory;
    if (const auto sep = name.find_first_of("_-"); sep != std::string_view::npos) {
        language = name.substr(0, sep);
        territory = name.substr(sep + 1);
    }
    if (language.empty())
        return 0;
    const std::string lang = Lower(language);
    if (territory.empty()) {
        const std::string prefix = lang + "_";
        for (const auto& row : kLocales)
            if (std::string_view(row.name).starts_with(prefix))
                return row.id;
        return 0;
    }
    const std::string full = lang + "_" + Upper(territory);
    if (Lower(modifier) == "latin")
        for (const auto& row : kLatinLocales)
            if (full == row.name)
                return row.id;
    for (const auto& row : kLocales)
        if (full == row.name)
            return row.id;
    return 0;
}

std::string LanguageFolderForId(LanguageId id)
{
    for (const auto& row : kTableLanguages)
        if (row.id == id)
            return row.folder;
    return {};
}

LanguageId ChooseLanguageId(const LocaleEnvironment& env)
{
    // 1. The interface language: the locale that messages are shown in.
    for (const std::string* value : {&env.lcAll, &env.lcMessages, &env.lang}) {
        if (value->empty())
            continue;
        if (const auto id = LanguageIdFromLocaleName(*value); IsTableLanguage(id))
            return id;
        break;
    }
    // 2. The user's further choices, most wanted first.
    std::string_view list = env.language;
    while (!list.empty()) {
        const auto colon = list.find(':');
        const auto entry = list.substr(0, colon);
        if (const auto id = LanguageIdFromLocaleName(entry); IsTableLanguage(id))
            return id;
        if (colon == std::string_view::npos)
            break;
        list.remove_prefix(colon + 1);
    }
    // 3. The system's default.
    if (const auto id = LanguageIdFromLocaleName(env.systemLang); IsTableLanguage(id))
        return id;
    return kEnglishUS;
}

std::string ReadSystemLang(const std::filesystem::path& path)
{
    std::ifstream in(path);
    if (!in)
        return {};
    std::string result;
    std::string line;
    // The file is a handful of lines; stop at a sane count whatever it holds.
    for (int n = 0; n < 256 && std::getline(in, line); ++n) {
        std::string_view text = line;
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        if (text.starts_with("export "))
            text.remove_prefix(7);
        if (!text.starts_with("LANG="))
            continue;
        text.remove_prefix(5);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
            text = text.substr(1, text.size() - 2);
        result = std::string(text);  // a later assignment wins, as in the shell
    }
    return result;
}

LocaleEnvironment LocaleEnvironment::FromProcess()
{
    LocaleEnvironment env;
    env.lcAll = EnvValue("LC_ALL");
    env.lcMessages = EnvValue("LC_MESSAGES");
    env.lang = EnvValue("LANG");
    env.language = EnvValue("LANGUAGE");
    // Debian keeps the system locale in /etc/default/locale, systemd systems
    // in /etc/locale.conf.
    env.systemLang = ReadSystemLang("/etc/default/locale");
    if (env.systemLang.empty())
        env.systemLang = ReadSystemLang("/etc/locale.conf");
    return env;
}

}  // namespace halvex
