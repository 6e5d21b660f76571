#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/Status.h"

class TiXmlElement;

// One XML property-list file, the format every settings file of the suite
// shares with the Windows and Mac builds: a "plist" root holding one "dict"
// of key / value pairs, keys written in byte order. Values live in memory
// between Load and Update; nothing touches the file in between.
//
// Not thread-safe: one object per thread (workers build their own).
class DXPlistPrefs {
public:
    // One typed value. Only the field matching `type` is meaningful.
    struct PrefsValue {
        enum Type : std::int32_t {
            kUnknown = 0,  // an element this store does not understand (e.g. "date")
            kString = 1,
            kInteger = 2,
            kReal = 3,
            kBoolean = 4,
            kArray = 5,  // the entries are in the array map; strValue holds the key
        };

        std::int32_t type = kUnknown;
        std::string strValue;
        std::int32_t nValue = 0;
        double dValue = 0.0;
        bool bValue = false;
        // kUnknown only: the element as read, written back unchanged by Update
        // so that a round trip through this store loses nothing.
        std::shared_ptr<const TiXmlElement> element;
    };

    using ValueMap = std::map<std::string, PrefsValue, std::less<>>;
    using ArrayMap = std::map<std::string, std::vector<PrefsValue>, std::less<>>;

    // The Windows build keeps text values in 2048-byte buffers (4096 on the
    // Mac), so a longer value written here would be cut or refused there.
    // Text values are therefore held to 2047 bytes, cut at a UTF-8 character
    // boundary.
    static constexpr std::size_t kMaxTextBytes = 2047;
    // The comment buffer of the other builds is 256 bytes.
    static constexpr std::size_t kMaxCommentBytes = 255;
    // A settings file is a few kilobytes; anything far larger is damaged or
    // hostile and is refused rather than parsed.
    static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{16} * 1024 * 1024;
    // The empty property list the backup settings start their documents from.
    static constexpr const char* kEmptyPlist =
        "<?xml version=\"1.0\"  encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n</dict></plist>";

    DXPlistPrefs() = default;
    // Stores the path and loads the file (a missing file leaves the store empty).
    explicit DXPlistPrefs(std::filesystem::path path);
    // The path "<folder>/com.<name>.plist", then as above.
    DXPlistPrefs(const std::filesystem::path& folder, std::string_view name);
    virtual ~DXPlistPrefs();

    DXPlistPrefs(const DXPlistPrefs&) = default;
    DXPlistPrefs& operator=(const DXPlistPrefs&) = default;
    DXPlistPrefs(DXPlistPrefs&&) = default;
    DXPlistPrefs& operator=(DXPlistPrefs&&) = default;

    // Replaces the path; nothing is loaded.
    void SetFilePath(std::filesystem::path path);
    const std::filesystem::path& GetFilePath() const { return m_path; }
    // The comment Update writes after the declaration (empty: none).
    void SetComment(std::string_view comment);
    const std::string& GetComment() const { return m_strComment; }

    // Reads the file over an emptied store. True when at least one value was
    // read; a missing, empty, oversized or malformed file gives false and an
    // empty store. A bool, not a Status: every caller treats a file it cannot
    // use as one that holds nothing (the first run has none), and none shows why.
    // A binary property list ("bplist00") is read as well. A file that is
    // there but cannot be read as either is moved aside beside itself,
    // "NAME.damaged-YYYY-MM-DDTHHMM", so that no later Update replaces it;
    // TakeSetAsideFiles names it once.
    bool Load();
    // The files Load moved aside since the last call, each named once, for
    // the programs to tell the user. Any thread.
    static std::vector<std::filesystem::path> TakeSetAsideFiles();
    // Whether the last document read was there but no property list.
    bool WasDamaged() const { return m_bDamaged; }
    // The same rules for a document held in memory (e.g. kEmptyPlist).
    bool LoadText(std::string_view xml);
    // Writes the whole document to the path through a temporary file in the
    // same folder, renamed over the old file only when complete. A failure
    // ("file_save_err", the file and the system's reason) leaves memory and
    // the old file unchanged.
    [[nodiscard]] halvex::Status Update() const;
    // The document Update would write.
    std::string ToText() const;

    bool FindValue(std::string_view key, PrefsValue& value) const;
    // out = default; when the key holds a value of the asked type, out = that
    // value and true is returned.
    bool GetValue(std::string_view key, bool& out, bool defaultValue) const;
    bool GetValue(std::string_view key, double& out, double defaultValue) const;
    bool GetValue(std::string_view key, long& out, long defaultValue) const;
    bool GetValue(std::string_view key, std::string& out, std::string_view defaultValue) const;

    // Inserts or replaces the key's value; memory only. Integers are held to
    // 32 bits and text to kMaxTextBytes, the limits of the other builds.
    void SetValue(std::string_view key, bool value);
    void SetValue(std::string_view key, double value);
    void SetValue(std::string_view key, long value);
    void SetValue(std::string_view key, int value) { SetValue(key, static_cast<long>(value)); }
    void SetValue(std::string_view key, std::string_view value);
    // Keeps a string literal from binding to the bool overload.
    void SetValue(std::string_view key, const char* value) { SetValue(key, std::string_view(value ? value : "")); }
    void SetValue(std::string_view key, const std::string& value) { SetValue(key, std::string_view(value)); }
    // True when the key was present.
    bool Remove(std::string_view key);

    std::size_t GetArrayCount(std::string_view key) const;
    // False when the key has no array or the index is past its end.
    bool FindArrayValue(std::string_view key, std::size_t index, PrefsValue& value) const;
    bool GetArrayValue(std::string_view key, std::size_t index, bool& out, bool defaultValue) const;
    bool GetArrayValue(std::string_view key, std::size_t index, double& out, double defaultValue) const;
    bool GetArrayValue(std::string_view key, std::size_t index, long& out, long defaultValue) const;
    bool GetArrayValue(std::string_view key, std::size_t index, std::string& out, std::string_view defaultValue) const;
    // Appends an entry to the key's array, creating the array. An array is
    // written only when the key also holds an array-typed value (SetArrayKey,
    // or Load), as in the other builds.
    void SetArrayValue(std::string_view key, bool value);
    void SetArrayValue(std::string_view key, double value);
    void SetArrayValue(std::string_view key, long value);
    void SetArrayValue(std::string_view key, int value) { SetArrayValue(key, static_cast<long>(value)); }
    void SetArrayValue(std::string_view key, std::string_view value);
    void SetArrayValue(std::string_view key, const char* value)
    {
        SetArrayValue(key, std::string_view(value ? value : ""));
    }
    void SetArrayValue(std::string_view key, const std::string& value) { SetArrayValue(key, std::string_view(value)); }
    // Gives the key an array-typed value so that its array is written.
    void SetArrayKey(std::string_view key);
    // Builds the key's array from the children of an "array" element,
    // replacing any earlier one. False when the element has no children.
    bool AddArrayElement(std::string_view key, const TiXmlElement& array);
    // Empties the key's array.
    void RemoveArray(std::string_view key);

    const ValueMap& Values() const { return m_mapValues; }
    const ArrayMap& Arrays() const { return m_mapArrays; }

private:
    ValueMap m_mapValues;
    ArrayMap m_mapArrays;
    std::filesystem::path m_path;
    std::string m_strComment;
    bool m_bDamaged = false;  // the last document read was not a property list

    static void SetAsideDamagedFile(const std::filesystem::path& file);
};
