#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "ImagePainter.h"

// halvex_imagegen FOLDER: writes every image of the drawn look into FOLDER.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: halvex_imagegen FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "halvex_imagegen: cannot create %s\n", argv[1]);
        return 1;
    }
    for (const ImageRecipe& recipe : AllImages()) {
        const QString file = folder.filePath(recipe.name);
        if (!Render(recipe).save(file, "PNG")) {
            std::fprintf(stderr, "halvex_imagegen: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
