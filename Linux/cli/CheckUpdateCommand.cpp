// dravane check-update: asks the update service for a newer version, and on
// request downloads the offered package and hands it to the updater.

#include <unistd.h>

#include <chrono>
#include <ostream>

#include "Command.h"
#include "CommandOptions.h"
#include "Context.h"
#include "system/KMSystem.h"
#include "paths/KXAppPaths.h"
#include "Text.h"
#include "config/DriveConfiguration.h"
#include "strings/FormatText.h"
#include "strings/KXStrings.h"
#include "util/SuiteVersion.h"
#include "update/KXAutoUpdate.h"
#include "update/PackageDownload.h"
#include "update/UpdateCheck.h"
#include "update/UpdaterHandOff.h"

namespace halvex::cli {

namespace {

// The first line of a text that may ask a question of a window's user.
std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// The failure's text, then the system's reason when there is one. The
// user's own stop is no failure to report.
int ShowFailure(Console& console, const Status& failure)
{
    if (failure.cancelled())
        return kExitFailures;
    console.error(KXStrings::GetString(failure.messageKey));
    if (!failure.detail.empty())
        console.error(failure.detail);
    return kExitFailures;
}

int Download(Context& context, const UpdateOffer& offer, bool install)
{
    Console& console = context.console();
    const Result<std::filesystem::path> destination =
        PackageDestination(context.paths().TempFolder(), offer.packageAddress);
    if (!destination)
        return ShowFailure(console, destination.status());
    PackageRequest request;
    request.address = offer.packageAddress;
    request.sha256 = offer.sha256;
    request.destination = destination.value();
    const std::string title = DownloadTitleText(KXStrings::GetString("download_update"), request.address);
    const std::string status = KXStrings::GetString("download_status");
    const auto start = std::chrono::steady_clock::now();
    const Status downloaded = DownloadPackage(request, [&](std::uint64_t done, std::uint64_t expected) {
        const std::string line = done > 0 && expected > 0
                                     ? title + " " + KXAutoUpdate::GetDownloadSize(done, expected, start, status)
                                     : title;
        console.progress(line, done, expected);
        return !context.cancel().load();
    });
    console.endProgress();
    if (!downloaded) {
        RemovePackageDownload(request.destination);
        return ShowFailure(console, downloaded);
    }
    context.console().out() << "package: " << request.destination.string() << '\n';
    context.console().out().flush();
    if (!install)
        return kExitDone;

    UpdaterHandOff handOff;
    handOff.bundlePath = context.paths().BundlePath();
    handOff.tempFolder = context.paths().TempFolder();
    handOff.packagePath = request.destination;
    handOff.version = offer.version;
    handOff.signature = offer.signature;
    handOff.pid = ::getpid();
    handOff.silent = true;
    const Status started =
        StartUpdater(handOff, [](const std::filesystem::path& program, const std::vector<std::string>& arguments) {
            return KMSystem::StartProgram(program, arguments).status();
        });
    if (!started) {
        RemovePackageDownload(request.destination);
        return ShowFailure(console, started);
    }
    // The updater waits for this process to end before it replaces anything.
    return kExitDone;
}

int Run(Context& context, const std::vector<std::string>& options)
{
    const CommandOptions given = CommandOptions::Parse(options, {{}, {"--download", "--install"}});
    if (const std::string problem = given.ErrorIfAnyWord(); !problem.empty()) {
        context.console().error(problem);
        return kExitSetup;
    }
    const bool install = given.Has("--install");
    const bool download = install || given.Has("--download");
    Console& console = context.console();
    UpdateCheckOptions checkOptions;
    checkOptions.cancel = &context.cancel();
    const DriveConfiguration configuration = DriveConfiguration::Load(context.paths().ResourcesPath());
    checkOptions.configuredBaseAddress = configuration.updateBaseUrl;
    checkOptions.updateKeys = configuration.updatePublicKeys;
    checkOptions.version = DriveSuiteVersionForUpdate(context.paths().ProgramPath());
    const Result<UpdateAnswer> checked = RunUpdateCheck(checkOptions);
    if (!checked)
        return ShowFailure(console, checked.status());
    const UpdateAnswer& answer = checked.value();
    if (answer.offer) {
        const UpdateOffer& offer = *answer.offer;
        console.message(FirstLine(FormatText(KXStrings::GetString(kCheckUpdateOfferKey), offer.version)));
        console.out() << "version: " << offer.version << '\n' << "address: " << offer.packageAddress << '\n';
        console.out().flush();
        return download ? Download(context, offer, install) : kExitDone;
    }
    if (answer.upToDate()) {
        // The window says what the other editions say; a command line says plainly.
        console.message(
            FormatText(Text("cli_update_up_to_date", "Halvex Dravane %s is up to date."), checkOptions.version));
        return kExitDone;
    }
    console.error(KXStrings::GetString(kCheckUpdateErrorKey));
    console.error(
        FormatText(Text("cli_update_service_error", "The update service answered error %d."), answer.serviceError));
    return kExitFailures;
}

}  // namespace

const Command& CheckUpdateCommand()
{
    static const Command command{"check-update",
                                 "asks the update service for a newer version; downloads and installs it on request",
                                 "check-update [--download | --install]\n"
                                 "\n"
                                 "Asks the update service whether a newer version of the suite exists and\n"
                                 "prints 'version: ...' and 'address: ...' when one is offered.\n"
                                 "  --download  also downloads the offered package into the private temporary\n"
                                 "              folder and prints 'package: <path>'\n"
                                 "  --install   also hands the package to the updater, which replaces the\n"
                                 "              suite's files on the drive once this program has ended; only\n"
                                 "              a newer version signed by a key in \"UpdatePublicKeys\" is taken\n"
                                 "The update service's https address is \"UpdateBaseURL\" in the drive's\n"
                                 "HalvexDravane.app/Contents/Resources/Configuration.plist, else the one built\n"
                                 "in; HALVEX_UPDATE_URL overrides both (it must end in '/'; tests may name\n"
                                 "http on loopback there). HALVEX_UPDATE_CA_FILE names the certificate\n"
                                 "authorities to trust instead of the system's.\n"
                                 "Exit status: 0 offer or nothing new, 1 failure, 2 usage.\n",
                                 Needs::Setup, &Run};
    return command;
}

}  // namespace halvex::cli
