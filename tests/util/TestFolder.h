#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"

// A fixture with a fresh temporary folder per test.
class TestFolder : public ::testing::Test {
protected:
    const std::filesystem::path& Root() const { return m_folder.path(); }

private:
    halvex::test::TempFolder m_folder{"util"};
};

using halvex::test::ReadFile;
using halvex::test::ScopedEnvironment;
using halvex::test::WriteFile;
