#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

// One image of the drawn look: its file name and how to draw it.
struct ImageRecipe {
    QString name;
    int width;
    int height;
    std::function<void(class QPainter&, const QRectF&)> draw;
};

// Every image the windows use, in the suite's colours.
std::vector<ImageRecipe> AllImages();

QImage Render(const ImageRecipe& recipe);
