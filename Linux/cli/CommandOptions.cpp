#include "CommandOptions.h"

#include <algorithm>

#include "Text.h"
#include "strings/FormatText.h"

namespace halvex::cli {

namespace {

bool Lists(const std::vector<std::string_view>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CommandOptions CommandOptions::Parse(const std::vector<std::string>& arguments, const OptionNames& names,
                                     std::size_t first, End end)
{
    CommandOptions parsed;
    bool optionsEnded = false;
    for (std::size_t i = first; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            parsed.m_positional.push_back(argument);
            optionsEnded = optionsEnded || end == End::AtFirstWord;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (Lists(names.valued, name)) {
            if (equals != std::string::npos) {
                parsed.m_values.emplace_back(name, argument.substr(equals + 1));
            } else if (i + 1 < arguments.size()) {
                parsed.m_values.emplace_back(name, arguments[++i]);
            } else {
                parsed.m_error = FormatText(Text("cli_option_needs_value", "The option %s needs a value."), name);
                return parsed;
            }
        } else if (equals == std::string::npos && Lists(names.flags, name)) {
            parsed.m_flags.push_back(name);
        } else {
            parsed.m_unknown = argument;
            parsed.m_error = FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."), argument);
            return parsed;
        }
    }
    return parsed;
}

std::string CommandOptions::ErrorIfAnyWord() const
{
    if (!ok() || m_positional.empty())
        return m_error;
    return FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."), m_positional.front());
}

bool CommandOptions::Has(std::string_view name) const
{
    return std::find(m_flags.begin(), m_flags.end(), name) != m_flags.end() || Last(name).has_value();
}

std::vector<std::string> CommandOptions::All(std::string_view name) const
{
    std::vector<std::string> found;
    for (const auto& [key, value] : m_values)
        if (key == name)
            found.push_back(value);
    return found;
}

std::optional<std::string> CommandOptions::Last(std::string_view name) const
{
    for (auto it = m_values.rbegin(); it != m_values.rend(); ++it)
        if (it->first == name)
            return it->second;
    return std::nullopt;
}

std::string CommandOptions::One(std::string_view name, std::string fallback) const
{
    return Last(name).value_or(std::move(fallback));
}

}  // namespace halvex::cli
