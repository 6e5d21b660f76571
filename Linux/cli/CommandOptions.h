#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::cli {

// The options a command knows: those that take a value and plain flags.
struct OptionNames {
    std::vector<std::string_view> valued;  // "--to": "--to PATH" or "--to=PATH", repeatable
    std::vector<std::string_view> flags;   // "--list"
};

// The options of one command, read by the one set of rules every command
// follows: "--name value" and "--name=value" for an option that takes a value
// (repeatable; where one is wanted the last counts), "--name" for a flag,
// "--" ends the options, and every other word that does not start with "-"
// is positional. An option the command does not know, a value missing, or a
// value given to a flag is a usage error: error() names it, ready to print.
class CommandOptions {
public:
    // Where the options end: at the end (a command's own), or at the first
    // positional word, which with every word after it is left positional
    // (dravane's global options, which stop at the command's name).
    enum class End { AtTheEnd, AtFirstWord };

    static CommandOptions Parse(const std::vector<std::string>& arguments, const OptionNames& names,
                                std::size_t first = 0, End end = End::AtTheEnd);

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    // The word that was no option of the command, when that was the error.
    const std::string& unknown() const { return m_unknown; }
    // For a command that takes no positional word: error(), or else the
    // first positional word refused as an unknown option is ("" when none).
    std::string ErrorIfAnyWord() const;

    bool Has(std::string_view name) const;
    // Every value given to a valued option, in order.
    std::vector<std::string> All(std::string_view name) const;
    std::optional<std::string> Last(std::string_view name) const;
    std::string One(std::string_view name, std::string fallback = {}) const;
    const std::vector<std::string>& positional() const { return m_positional; }

private:
    std::vector<std::pair<std::string, std::string>> m_values;
    std::vector<std::string> m_flags;
    std::vector<std::string> m_positional;
    std::string m_error;
    std::string m_unknown;
};

}  // namespace halvex::cli
