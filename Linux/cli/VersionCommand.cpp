// dravane version: the suite's version.

#include <ostream>

#include "Command.h"
#include "CommandOptions.h"
#include "Context.h"
#include "Text.h"
#include "strings/FormatText.h"
#include "util/SuiteVersion.h"

namespace halvex::cli {

namespace {

int Run(Context& context, const std::vector<std::string>& options)
{
    const CommandOptions given = CommandOptions::Parse(options, {});
    if (const std::string problem = given.ErrorIfAnyWord(); !problem.empty()) {
        context.console().error(problem);
        return kExitSetup;
    }
    context.console().out() << "dravane " << SuiteVersionText() << '\n';
    return kExitDone;
}

}  // namespace

const Command& VersionCommand()
{
    static const Command command{"version", "the suite's version", "version\n", Needs::Nothing, &Run};
    return command;
}

}  // namespace halvex::cli
