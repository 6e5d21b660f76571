#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "plist/DXPlistPrefs.h"
#include "prefs/PrefsKeys.h"

// The process-wide registry of the application preferences. Start-up
// registers every preference with its default, reads the file over the
// defaults, and the rest of the program asks by name. Filled on the main
// thread before any worker exists; workers only read it.
class KXAppPrefs {
public:
    // One registered preference. Only the fields matching `type` are used.
    struct PrefsRec {
        enum Type : std::int32_t { kText = 0, kInteger = 1, kReal = 2, kBoolean = 3 };

        struct Value {
            std::string text;
            long integer = 0;
            double real = 0.0;
            bool boolean = false;
        };

        std::int32_t type = kBoolean;
        bool stealth = false;  // read from the file, never written back
        Value value;
        Value defaultValue;
    };

    KXAppPrefs() = delete;

    // Registers (or registers again, replacing) a preference whose value and
    // default are the given value; not stealth.
    static void Add(std::string_view key, bool value);
    static void Add(std::string_view key, long value);
    static void Add(std::string_view key, int value) { Add(key, static_cast<long>(value)); }
    static void Add(std::string_view key, double value);
    static void Add(std::string_view key, std::string_view value);
    static void Add(std::string_view key, const char* value) { Add(key, std::string_view(value ? value : "")); }
    static void Add(std::string_view key, const std::string& value) { Add(key, std::string_view(value)); }
    // Marks a registered preference stealth; an unregistered key is ignored.
    static void SetSealth(std::string_view key);

    // The suite's own preferences with their defaults, in the order of the
    // other builds; "WinUI" is stealth. Nothing is read or written.
    static void AddSuitePreferences();

    // Sets the file path and reads it. True when the file held any value.
    static bool InitWithPath(const std::filesystem::path& path);
    // Loads the file; each registered preference takes the file's value when
    // the key is there with the registered type, otherwise its default.
    static bool Read();
    // Writes every registered preference that is not stealth, keeping every
    // other key of the file ("eula" among them). A failure is the file's
    // ("file_save_err" with the system's reason); the values stay in memory.
    [[nodiscard]] static halvex::Status Sync();

    // The current value; false, 0, 0.0 or empty text when the key is not
    // registered or has another type.
    static bool Bool(std::string_view key);
    static long Integer(std::string_view key);
    static double Real(std::string_view key);
    static std::string String(std::string_view key);

    // Stores the value when the key is registered with that type and the
    // value differs from the current one, and returns true; otherwise false.
    // Memory only: call Sync once after a group of Set calls.
    static bool Set(std::string_view key, bool value);
    static bool Set(std::string_view key, long value);
    static bool Set(std::string_view key, int value) { return Set(key, static_cast<long>(value)); }
    static bool Set(std::string_view key, double value);
    static bool Set(std::string_view key, std::string_view value);
    static bool Set(std::string_view key, const char* value) { return Set(key, std::string_view(value ? value : "")); }
    static bool Set(std::string_view key, const std::string& value) { return Set(key, std::string_view(value)); }

    static const std::filesystem::path& FilePath() { return m_sPrefs.GetFilePath(); }
    // Null when the key is not registered.
    static const PrefsRec* Find(std::string_view key);
    // Forgets every registration and the file (start of a test).
    static void Clear();

private:
    static DXPlistPrefs m_sPrefs;
    static std::map<std::string, PrefsRec, std::less<>> m_sMapPrefsRec;
};
