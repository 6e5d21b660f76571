#include "prefs/KXAppPrefs.h"

DXPlistPrefs KXAppPrefs::m_sPrefs;
std::map<std::string, KXAppPrefs::PrefsRec, std::less<>> KXAppPrefs::m_sMapPrefsRec;

void KXAppPrefs::Add(std::string_view, bool) {}
void KXAppPrefs::Add(std::string_view, long) {}
void KXAppPrefs::Add(std::string_view, double) {}
void KXAppPrefs::Add(std::string_view, std::string_view) {}
void KXAppPrefs::SetSealth(std::string_view) {}
void KXAppPrefs::AddSuitePreferences() {}
bool KXAppPrefs::InitWithPath(const std::filesystem::path&) { return false; }
bool KXAppPrefs::Read() { return false; }
bool KXAppPrefs::Sync() { return false; }
bool KXAppPrefs::Bool(std::string_view) { return false; }
long KXAppPrefs::Integer(std::string_view) { return 0; }
double KXAppPrefs::Real(std::string_view) { return 0.0; }
std::string KXAppPrefs::String(std::string_view) { return {}; }
bool KXAppPrefs::Set(std::string_view, bool) { return false; }
bool KXAppPrefs::Set(std::string_view, long) { return false; }
bool KXAppPrefs::Set(std::string_view, double) { return false; }
bool KXAppPrefs::Set(std::string_view, std::string_view) { return false; }
const KXAppPrefs::PrefsRec* KXAppPrefs::Find(std::string_view) { return nullptr; }
void KXAppPrefs::Clear() {}
