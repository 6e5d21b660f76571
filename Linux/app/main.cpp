#include <QApplication>

#include "app/main/KWMainApp.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("HalvexDravane"));
    KWMainApp app;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    return app.Run(arguments);
}
