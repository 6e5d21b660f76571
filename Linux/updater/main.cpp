#include <QApplication>

#include <string>
#include <vector>

#include "KMApp.h"
#include "system/DisplayPlatform.h"

// Updater -pid <id> -name <name> -cur <bundle> -zip <package> [-silent 1]
int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // Missing arguments end the updater before any window exists.
    if (!halvex::ParseUpdaterOptions(arguments))
        return 0;
    // Qt sees only the program name: "-name" is one of its own X11 options.
    int qtArgc = 1;
    halvex::ChooseQtPlatform();
    QApplication application(qtArgc, argv);
    KMApp app;
    if (!app.applicationWillFinishLaunching(arguments))
        return 0;
    app.applicationDidFinishLaunching();
    application.exec();
    return app.ExitStatus();
}
