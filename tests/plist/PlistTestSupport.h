#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TestFiles.h"

namespace halvex::test {

// A fixture with a fresh temporary folder per test.
class TempFolderTest : public ::testing::Test {
protected:
    std::filesystem::path Path(const std::string& name) const { return m_folder / name; }

    static void WriteFile(const std::filesystem::path& file, const std::string& text)
    {
        ::halvex::test::WriteFile(file, text);
    }
    static std::string ReadFile(const std::filesystem::path& file) { return ::halvex::test::ReadFile(file); }

    TempFolder m_temp{"plist"};
    const std::filesystem::path& m_folder = m_temp.path();
};

// A document in the property-list layout around the given dict content.
inline std::string PlistWith(const std::string& dictContent)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<plist version=\"1.0\">\n<dict>\n" + dictContent +
           "</dict>\n</plist>\n";
}

}  // namespace halvex::test
