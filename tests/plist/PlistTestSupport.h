#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace halvex::test {

// A fresh folder per test, removed afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "halvex-plist-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::filesystem::path Path(const std::string& name) const { return m_folder / name; }

    static void WriteFile(const std::filesystem::path& file, const std::string& text)
    {
        std::ofstream(file, std::ios::binary) << text;
    }
    static std::string ReadFile(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    std::filesystem::path m_folder;
};

// A document in the property-list layout around the given dict content.
inline std::string PlistWith(const std::string& dictContent)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<plist version=\"1.0\">\n<dict>\n" + dictContent +
           "</dict>\n</plist>\n";
}

}  // namespace halvex::test
