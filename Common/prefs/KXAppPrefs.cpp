#include "prefs/KXAppPrefs.h"

#include "plist/PlistNumbers.h"
#include "plist/Utf8Limit.h"

DXPlistPrefs KXAppPrefs::m_sPrefs;
std::map<std::string, KXAppPrefs::PrefsRec, std::less<>> KXAppPrefs::m_sMapPrefsRec;

namespace {

using PrefsRec = KXAppPrefs::PrefsRec;

// Held to the limit the file itself keeps, so that memory and file agree.
std::string CleanText(std::string_view text)
{
    return std::string(halvex::CutUtf8(text, DXPlistPrefs::kMaxTextBytes));
}

PrefsRec MakeRec(std::int32_t type, const PrefsRec::Value& value)
{
    PrefsRec rec;
    rec.type = type;
    rec.value = value;
    rec.defaultValue = value;
    return rec;
}

// The file's value of the registered type, or the default.
PrefsRec::Value ReadRec(const DXPlistPrefs& prefs, const std::string& key, const PrefsRec& rec)
{
    PrefsRec::Value value = rec.defaultValue;
    switch (rec.type) {
    case PrefsRec::kText: prefs.GetValue(key, value.text, rec.defaultValue.text); break;
    case PrefsRec::kInteger: prefs.GetValue(key, value.integer, rec.defaultValue.integer); break;
    case PrefsRec::kReal: prefs.GetValue(key, value.real, rec.defaultValue.real); break;
    case PrefsRec::kBoolean: prefs.GetValue(key, value.boolean, rec.defaultValue.boolean); break;
    default: break;
    }
    return value;
}

void WriteRec(DXPlistPrefs& prefs, const std::string& key, const PrefsRec& rec)
{
    switch (rec.type) {
    case PrefsRec::kText: prefs.SetValue(key, std::string_view(rec.value.text)); break;
    case PrefsRec::kInteger: prefs.SetValue(key, rec.value.integer); break;
    case PrefsRec::kReal: prefs.SetValue(key, rec.value.real); break;
    case PrefsRec::kBoolean: prefs.SetValue(key, rec.value.boolean); break;
    default: break;
    }
}

}  // namespace

void KXAppPrefs::Add(std::string_view key, bool value)
{
    PrefsRec::Value v;
    v.boolean = value;
    m_sMapPrefsRec[std::string(key)] = MakeRec(PrefsRec::kBoolean, v);
}

void KXAppPrefs::Add(std::string_view key, long value)
{
    PrefsRec::Value v;
    v.integer = halvex::plist::ClampToInt32(value);
    m_sMapPrefsRec[std::string(key)] = MakeRec(PrefsRec::kInteger, v);
}

void KXAppPrefs::Add(std::string_view key, double value)
{
    PrefsRec::Value v;
    v.real = value;
    m_sMapPrefsRec[std::string(key)] = MakeRec(PrefsRec::kReal, v);
}

void KXAppPrefs::Add(std::string_view key, std::string_view value)
{
    PrefsRec::Value v;
    v.text = CleanText(value);
    m_sMapPrefsRec[std::string(key)] = MakeRec(PrefsRec::kText, v);
}

void KXAppPrefs::SetSealth(std::string_view key)
{
    const auto found = m_sMapPrefsRec.find(key);
    if (found != m_sMapPrefsRec.end())
        found->second.stealth = true;
}

void KXAppPrefs::AddSuitePreferences()
{
    using namespace halvex::prefkey;
    Add(kWinUI, false);
    Add(kShowMain, true);
    Add(kCheckUpdate, false);
    Add(kSyncLog, false);
    Add(kSyncSubfolders, false);
    Add(kAskAutoRun, true);
    SetSealth(kWinUI);
}

bool KXAppPrefs::InitWithPath(const std::filesystem::path& path)
{
    m_sPrefs.SetFilePath(path);
    return Read();
}

bool KXAppPrefs::Read()
{
    const bool loaded = m_sPrefs.Load();
    for (auto& [key, rec] : m_sMapPrefsRec)
        rec.value = ReadRec(m_sPrefs, key, rec);
    return loaded;
}

halvex::Status KXAppPrefs::Sync()
{
    // Start from the file as it is now, not as it was at the last Read: a key
    // another part wrote since ("eula" from the first-run gate, a stealth key
    // set by hand) must survive. When the file cannot be read (gone, damaged)
    // the keys read earlier are kept instead.
    DXPlistPrefs current(m_sPrefs.GetFilePath());
    if (!current.Values().empty())
        m_sPrefs = std::move(current);
    for (const auto& [key, rec] : m_sMapPrefsRec) {
        if (!rec.stealth)
            WriteRec(m_sPrefs, key, rec);
    }
    return m_sPrefs.Update();
}

const KXAppPrefs::PrefsRec* KXAppPrefs::Find(std::string_view key)
{
    const auto found = m_sMapPrefsRec.find(key);
    return found == m_sMapPrefsRec.end() ? nullptr : &found->second;
}

bool KXAppPrefs::Bool(std::string_view key)
{
    const PrefsRec* rec = Find(key);
    return rec && rec->type == PrefsRec::kBoolean ? rec->value.boolean : false;
}

long KXAppPrefs::Integer(std::string_view key)
{
    const PrefsRec* rec = Find(key);
    return rec && rec->type == PrefsRec::kInteger ? rec->value.integer : 0;
}

double KXAppPrefs::Real(std::string_view key)
{
    const PrefsRec* rec = Find(key);
    return rec && rec->type == PrefsRec::kReal ? rec->value.real : 0.0;
}

std::string KXAppPrefs::String(std::string_view key)
{
    const PrefsRec* rec = Find(key);
    return rec && rec->type == PrefsRec::kText ? rec->value.text : std::string();
}

namespace {

template <typename Map, typename Field, typename T>
bool Store(Map& map, std::string_view key, std::int32_t type, Field field, const T& value)
{
    const auto found = map.find(key);
    if (found == map.end() || found->second.type != type || found->second.value.*field == value)
        return false;
    found->second.value.*field = value;
    return true;
}

}  // namespace

bool KXAppPrefs::Set(std::string_view key, bool value)
{
    return Store(m_sMapPrefsRec, key, PrefsRec::kBoolean, &PrefsRec::Value::boolean, value);
}

bool KXAppPrefs::Set(std::string_view key, long value)
{
    return Store(m_sMapPrefsRec, key, PrefsRec::kInteger, &PrefsRec::Value::integer,
                 static_cast<long>(halvex::plist::ClampToInt32(value)));
}

bool KXAppPrefs::Set(std::string_view key, double value)
{
    return Store(m_sMapPrefsRec, key, PrefsRec::kReal, &PrefsRec::Value::real, value);
}

bool KXAppPrefs::Set(std::string_view key, std::string_view value)
{
    return Store(m_sMapPrefsRec, key, PrefsRec::kText, &PrefsRec::Value::text, CleanText(value));
}

void KXAppPrefs::Clear()
{
    m_sMapPrefsRec.clear();
    m_sPrefs = DXPlistPrefs();
}
