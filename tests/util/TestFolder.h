#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestFiles.h"

// A fixture with a fresh temporary folder per test.
class TestFolder : public ::testing::Test {
protected:
    void SetUp() override { m_folder = std::make_unique<halvex::test::TempFolder>("util"); }
    void TearDown() override { m_folder.reset(); }
    const std::filesystem::path& Root() const { return m_folder->path(); }
    static void WriteFile(const std::filesystem::path& file, std::string_view content)
    {
        halvex::test::WriteFile(file, content);
    }
    static std::string ReadFile(const std::filesystem::path& file) { return halvex::test::ReadFile(file); }

private:
    std::unique_ptr<halvex::test::TempFolder> m_folder;
};

using halvex::test::ScopedEnvironment;
