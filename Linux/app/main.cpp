#include <QApplication>

#include "app/main/KWMainApp.h"
#include "system/DisplayPlatform.h"

int main(int argc, char** argv)
{
    halvex::ChooseQtPlatform();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("HalvexDravane"));
    KWMainApp app;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    return app.Run(arguments);
}
