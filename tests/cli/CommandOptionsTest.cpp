#include "CommandOptions.h"

#include <gtest/gtest.h>

using halvex::cli::CommandOptions;
using halvex::cli::OptionNames;

namespace {

const OptionNames kNames{{"--to", "--set"}, {"--list", "--yes"}};

struct Case {
    const char* what;
    std::vector<std::string> arguments;
    std::string error;  // empty: parses
    std::vector<std::string> to;
    std::vector<std::string> positional;
    bool list = false;
};

const Case kCases[] = {
    {"value after the name", {"--to", "/a"}, "", {"/a"}, {}},
    {"value after an equals sign", {"--to=/a"}, "", {"/a"}, {}},
    {"an empty value after an equals sign", {"--to="}, "", {""}, {}},
    {"a value that looks like an option", {"--to", "--list"}, "", {"--list"}, {}},
    {"an equals sign inside the value", {"--to=a=b"}, "", {"a=b"}, {}},
    {"repeated, in order", {"--to", "/a", "--to=/b"}, "", {"/a", "/b"}, {}},
    {"flags and positional words mix", {"Docs", "--list", "x"}, "", {}, {"Docs", "x"}, true},
    {"a lone dash is a word", {"-"}, "", {}, {"-"}},
    {"-- ends the options", {"--", "--to", "--list"}, "", {}, {"--to", "--list"}},
    {"a missing value", {"--list", "--to"}, "The option --to needs a value.", {}, {}},
    {"an unknown option", {"--tooo", "/a"}, "Unexpected argument --tooo.", {}, {}},
    {"an unknown short option", {"-x"}, "Unexpected argument -x.", {}, {}},
    {"a value given to a flag", {"--list=yes"}, "Unexpected argument --list=yes.", {}, {}},
    {"a prefix of a known option is not that option", {"--li"}, "Unexpected argument --li.", {}, {}},
};

TEST(CommandOptionsTest, ReadsEveryCommandsOptionsByTheSameRules)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const CommandOptions options = CommandOptions::Parse(c.arguments, kNames);
        EXPECT_EQ(options.error(), c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(options.All("--to"), c.to);
        EXPECT_EQ(options.positional(), c.positional);
        EXPECT_EQ(options.Has("--list"), c.list);
    }
}

TEST(CommandOptionsTest, TheLastValueCountsAndParsingStartsWhereTheCommandSays)
{
    const std::vector<std::string> arguments{"restore", "--set", "A", "--set=B"};
    const CommandOptions options = CommandOptions::Parse(arguments, kNames, 1);
    ASSERT_TRUE(options.ok());
    EXPECT_EQ(options.One("--set"), "B");
    EXPECT_EQ(options.One("--to", "desktop"), "desktop");
    EXPECT_FALSE(options.Last("--to").has_value());
    EXPECT_TRUE(options.Has("--set"));
    EXPECT_TRUE(options.positional().empty());
}

TEST(CommandOptionsTest, GlobalOptionsEndAtTheCommandsName)
{
    const OptionNames global{{"--run-path"}, {"--yes"}};
    const CommandOptions options = CommandOptions::Parse({"--run-path=/r", "sync", "--yes", "--list", "--", "-x"},
                                                         global, 0, CommandOptions::End::AtFirstWord);
    ASSERT_TRUE(options.ok()) << options.error();
    EXPECT_EQ(options.One("--run-path"), "/r");
    EXPECT_FALSE(options.Has("--yes"));  // the command's words, even where they look global
    EXPECT_EQ(options.positional(), (std::vector<std::string>{"sync", "--yes", "--list", "--", "-x"}));

    const CommandOptions unknown =
        CommandOptions::Parse({"--bogus=1", "info"}, global, 0, CommandOptions::End::AtFirstWord);
    EXPECT_EQ(unknown.unknown(), "--bogus=1");
    EXPECT_TRUE(CommandOptions::Parse({"--run-path"}, global).unknown().empty());
}

}  // namespace
