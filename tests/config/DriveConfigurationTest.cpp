#include "config/DriveConfiguration.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using halvex::DriveConfiguration;

std::string Plist(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body + "</dict></plist>\n";
}

std::string Base(const std::string& address)
{
    return "<key>UpdateBaseURL</key><string>" + address + "</string>";
}

std::string Vendors(const std::string& entries)
{
    return "<key>AcceptedVendorIDs</key><array>" + entries + "</array>";
}

TEST(DriveConfiguration, OnlyUsableValuesAreTaken)
{
    struct Case {
        const char* name;
        std::string text;
        std::string base;
        std::vector<std::string> vendors;
    } cases[] = {
        {"both",
         Plist(Base("https://u.example.org/dravane/") + Vendors("<string>090c</string><string>ABCD</string>")),
         "https://u.example.org/dravane/",
         {"090C", "ABCD"}},
        {"plain http", Plist(Base("http://10.0.0.1:8080/")), "http://10.0.0.1:8080/", {}},
        {"no slash at the end", Plist(Base("https://u.example.org/dravane")), "", {}},
        {"another scheme", Plist(Base("file:///etc/")), "", {}},
        {"a query in the base", Plist(Base("https://u.example.org/?x=/")), "", {}},
        {"a blank in the base", Plist(Base("https://u.example.org/a b/")), "", {}},
        {"a control character", Plist(Base("https://u.example.org/&#10;/")), "", {}},
        {"not a string", Plist("<key>UpdateBaseURL</key><integer>3</integer>"), "", {}},
        {"bad and repeated ids",
         Plist(Vendors("<string>90C</string><string>0x90</string><string>zzzz</string>"
                       "<string>1e3d</string><string>1E3D</string><integer>4</integer>")),
         "",
         {"1E3D"}},
        {"vendors not in an array", Plist("<key>AcceptedVendorIDs</key><string>090C</string>"), "", {}},
        {"not a property list", "<html>090C</html>", "", {}},
        {"cut short", Plist(Base("https://u.example.org/")).substr(0, 60), "", {}},
        {"empty", "", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DriveConfiguration configuration = DriveConfiguration::FromText(c.text);
        EXPECT_EQ(configuration.updateBaseUrl, c.base);
        EXPECT_EQ(configuration.acceptedVendorIds, c.vendors);
    }
}

TEST(DriveConfiguration, ListsAreBounded)
{
    std::string entries;
    for (int i = 0; i < 100; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "%04X", i);
        entries += std::string("<string>") + id + "</string>";
    }
    EXPECT_EQ(DriveConfiguration::FromText(Plist(Vendors(entries))).acceptedVendorIds.size(),
              DriveConfiguration::kMaxVendorIds);
    const std::string huge =
        Plist(Base("https://u.example.org/") + "<!--" + std::string(std::size_t{70} * 1024, 'x') + "-->");
    EXPECT_TRUE(DriveConfiguration::FromText(huge).updateBaseUrl.empty());
}

TEST(DriveConfiguration, FoundFromTheRunPathOrTheBundle)
{
    const halvex::test::TempFolder temp("config");
    const fs::path& run = temp.path();
    const fs::path resources = run / "HalvexDravane.app" / "Contents" / "Resources";
    fs::create_directories(resources);
    halvex::test::WriteFile(resources / "Configuration.plist", Plist(Base("https://u.example.org/")));
    EXPECT_EQ(halvex::DriveResourcesFor(run), resources);
    EXPECT_EQ(halvex::DriveResourcesFor(run / "HalvexDravane.app"), resources);
    EXPECT_EQ(DriveConfiguration::Load(halvex::DriveResourcesFor(run)).updateBaseUrl, "https://u.example.org/");
    EXPECT_TRUE(DriveConfiguration::Load(run).updateBaseUrl.empty());
}

}  // namespace
