#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "util/Status.h"

class TiXmlDocument;

namespace halvex {

// Edits the keys of a property-list file in place, keeping their order: a key
// that is present gets its value replaced, a new key is appended at the end
// of the dictionary. The profile files need this where the shared store
// writes keys in byte order.
class PlistKeyEditor {
public:
    PlistKeyEditor();
    ~PlistKeyEditor();

    // Starts from the empty property list.
    void StartEmpty();
    // Loads a file (bounded); "file_read_err" with the file and the reason
    // when it is missing, too large or not a property list.
    Status Load(const std::filesystem::path& file);
    void SetString(const std::string& key, const std::string& value);
    void SetInteger(const std::string& key, long long value);
    // Writes through a temporary file renamed over the old one
    // (WriteFileAtomic, and its failure); a link in the file's place is
    // replaced, never written through.
    Status Save(const std::filesystem::path& file) const;

private:
    void Set(const std::string& key, const char* type, const std::string& text);

    std::unique_ptr<TiXmlDocument> m_document;
};

}  // namespace halvex
