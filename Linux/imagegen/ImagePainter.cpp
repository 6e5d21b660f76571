#include "ImagePainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// The suite's colours.
const QColor kBlue(31, 111, 178);
const QColor kBlueLight(72, 151, 214);
const QColor kBlueDark(20, 76, 128);
const QColor kTeal(43, 179, 163);
const QColor kInk(35, 49, 63);
const QColor kGrey(150, 160, 170);
const QColor kRed(200, 52, 52);
const QColor kAmber(232, 163, 23);
const QColor kGreen(52, 160, 80);

enum class State { Normal, Hover, Selected, Disabled };

QColor Shade(const QColor& base, State state)
{
    switch (state) {
    case State::Hover: return base.lighter(118);
    case State::Selected: return base.darker(125);
    case State::Disabled: return QColor(190, 195, 200);
    default: return base;
    }
}

void Tile(QPainter& p, const QRectF& r, const QColor& colour, qreal radius)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, colour.lighter(112));
    g.setColorAt(1, colour.darker(108));
    p.setPen(QPen(colour.darker(130), 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

// A circular arrow from `start` degrees sweeping `span`, with a head at its end.
void ArcArrow(QPainter& p, const QPointF& c, qreal radius, qreal start, qreal span, qreal width, const QColor& colour)
{
    QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(box, int(start * 16), int(span * 16));
    const qreal end = qDegreesToRadians(start + span);
    const QPointF tip(c.x() + radius * qCos(end), c.y() - radius * qSin(end));
    const qreal dir = span > 0 ? 1 : -1;
    // Tangent direction of the arc at its end (y axis points down).
    const QPointF tangent(-qSin(end) * dir, -qCos(end) * dir);
    const QPointF normal(qCos(end), -qSin(end));
    QPolygonF head;
    head << tip + tangent * width * 1.3 << tip + normal * width * 1.2 << tip - normal * width * 1.2;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

void SyncSymbol(QPainter& p, const QRectF& r, const QColor& colour)
{
    const QPointF c = r.center();
    const qreal radius = r.width() * 0.28;
    ArcArrow(p, c, radius, 30, 140, r.width() * 0.08, colour);
    ArcArrow(p, c, radius, 210, 140, r.width() * 0.08, colour);
}

void Gear(QPainter& p, const QRectF& r, const QColor& colour)
{
    const QPointF c = r.center();
    const qreal outer = r.width() * 0.34, inner = r.width() * 0.25;
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a0 = qDegreesToRadians(i * 180.0 / teeth - 7);
        const qreal a1 = qDegreesToRadians(i * 180.0 / teeth + 7);
        const qreal rad = (i % 2 == 0) ? outer : inner;
        const QPointF p0(c.x() + rad * qCos(a0), c.y() + rad * qSin(a0));
        const QPointF p1(c.x() + rad * qCos(a1), c.y() + rad * qSin(a1));
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(c, r.width() * 0.1, r.width() * 0.1);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

void Archive(QPainter& p, const QRectF& r, const QColor& colour)
{
    const qreal w = r.width();
    QRectF body(r.left() + w * 0.22, r.top() + w * 0.36, w * 0.56, w * 0.4);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(body, 3, 3);
    p.drawRoundedRect(QRectF(r.left() + w * 0.18, r.top() + w * 0.26, w * 0.64, w * 0.12), 2, 2);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(QRectF(body.center().x() - w * 0.08, body.top() + w * 0.08, w * 0.16, w * 0.06), 2, 2);
}

void UsbStick(QPainter& p, const QRectF& r, const QColor& body, const QColor& metal)
{
    const qreal w = r.width(), h = r.height();
    p.save();
    p.translate(r.center());
    p.rotate(-35);
    QRectF plug(-w * 0.12, -h * 0.46, w * 0.24, h * 0.2);
    QRectF stick(-w * 0.17, -h * 0.28, w * 0.34, h * 0.66);
    p.setPen(QPen(metal.darker(140), 1));
    p.setBrush(metal);
    p.drawRect(plug);
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(plug.left() + w * 0.04, plug.top() + h * 0.05, w * 0.05, h * 0.05));
    p.drawRect(QRectF(plug.right() - w * 0.09, plug.top() + h * 0.05, w * 0.05, h * 0.05));
    Tile(p, stick, body, w * 0.06);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(0, stick.bottom() - h * 0.12), w * 0.04, w * 0.04);
    p.restore();
}

void Folder(QPainter& p, const QRectF& r, const QColor& colour)
{
    const qreal w = r.width(), h = r.height();
    QPainterPath path;
    path.moveTo(r.left() + w * 0.08, r.top() + h * 0.24);
    path.lineTo(r.left() + w * 0.38, r.top() + h * 0.24);
    path.lineTo(r.left() + w * 0.46, r.top() + h * 0.32);
    path.lineTo(r.right() - w * 0.08, r.top() + h * 0.32);
    path.lineTo(r.right() - w * 0.08, r.bottom() - h * 0.16);
    path.lineTo(r.left() + w * 0.08, r.bottom() - h * 0.16);
    path.closeSubpath();
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, colour.lighter(120));
    g.setColorAt(1, colour);
    p.setPen(QPen(colour.darker(135), 1));
    p.setBrush(g);
    p.drawPath(path);
}

void Monitor(QPainter& p, const QRectF& r, const QColor& colour)
{
    const qreal w = r.width(), h = r.height();
    QRectF screen(r.left() + w * 0.1, r.top() + h * 0.14, w * 0.8, h * 0.54);
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kInk);
    p.drawRoundedRect(screen, 3, 3);
    QLinearGradient g(screen.topLeft(), screen.bottomRight());
    g.setColorAt(0, colour.lighter(140));
    g.setColorAt(1, colour);
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRect(screen.adjusted(w * 0.05, h * 0.05, -w * 0.05, -h * 0.05));
    p.setBrush(kInk);
    p.drawRect(QRectF(r.center().x() - w * 0.06, screen.bottom(), w * 0.12, h * 0.12));
    p.drawRoundedRect(QRectF(r.center().x() - w * 0.22, screen.bottom() + h * 0.12, w * 0.44, h * 0.06), 2, 2);
}

void Document(QPainter& p, const QRectF& r, const QColor& colour)
{
    const qreal w = r.width(), h = r.height();
    QRectF page(r.left() + w * 0.22, r.top() + h * 0.1, w * 0.56, h * 0.8);
    p.setPen(QPen(kGrey.darker(120), 1));
    p.setBrush(Qt::white);
    p.drawRect(page);
    p.setPen(QPen(colour, qMax<qreal>(1.0, h * 0.04)));
    for (int i = 0; i < 4; ++i) {
        const qreal y = page.top() + h * (0.2 + i * 0.14);
        p.drawLine(QPointF(page.left() + w * 0.08, y), QPointF(page.right() - w * (i == 3 ? 0.22 : 0.08), y));
    }
}

void Arrow(QPainter& p, const QRectF& r, const QColor& colour, bool right)
{
    const qreal w = r.width(), h = r.height();
    QPolygonF shape;
    shape << QPointF(0.1, 0.38) << QPointF(0.55, 0.38) << QPointF(0.55, 0.18) << QPointF(0.92, 0.5)
          << QPointF(0.55, 0.82) << QPointF(0.55, 0.62) << QPointF(0.1, 0.62);
    for (QPointF& pt : shape) {
        if (!right)
            pt.setX(1.0 - pt.x());
        pt = QPointF(r.left() + pt.x() * w, r.top() + pt.y() * h);
    }
    p.setPen(QPen(colour.darker(130), 1));
    p.setBrush(colour);
    p.drawPolygon(shape);
}

void Alert(QPainter& p, const QRectF& r, int kind)
{
    const qreal w = r.width();
    p.setPen(Qt::NoPen);
    QColor colour = kind == 1 ? kRed : (kind == 2 ? kAmber : kBlue);
    if (kind == 1) {
        QPolygonF oct;
        for (int i = 0; i < 8; ++i) {
            const qreal a = qDegreesToRadians(22.5 + i * 45.0);
            oct << QPointF(r.center().x() + w * 0.46 * qCos(a), r.center().y() + w * 0.46 * qSin(a));
        }
        p.setBrush(colour);
        p.drawPolygon(oct);
        p.setPen(QPen(Qt::white, w * 0.1, Qt::SolidLine, Qt::RoundCap));
        const qreal d = w * 0.17;
        p.drawLine(r.center() + QPointF(-d, -d), r.center() + QPointF(d, d));
        p.drawLine(r.center() + QPointF(d, -d), r.center() + QPointF(-d, d));
        return;
    }
    if (kind == 2) {
        QPolygonF tri;
        tri << QPointF(r.center().x(), r.top() + w * 0.06) << QPointF(r.right() - w * 0.04, r.bottom() - w * 0.08)
            << QPointF(r.left() + w * 0.04, r.bottom() - w * 0.08);
        p.setBrush(colour);
        p.drawPolygon(tri);
    } else {
        p.setBrush(colour);
        p.drawEllipse(r.adjusted(w * 0.04, w * 0.04, -w * 0.04, -w * 0.04));
    }
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(int(w * 0.55));
    p.setFont(font);
    p.setPen(kind == 2 ? kInk : Qt::white);
    p.drawText(r.adjusted(0, kind == 2 ? w * 0.1 : 0, 0, 0), Qt::AlignCenter, kind == 2 ? "!" : "i");
}

void Bar(QPainter& p, const QRectF& r, bool filled)
{
    const qreal radius = r.height() / 2.0 - 0.5;
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    if (filled) {
        g.setColorAt(0, kTeal.lighter(125));
        g.setColorAt(0.5, kTeal);
        g.setColorAt(1, kTeal.darker(115));
    } else {
        g.setColorAt(0, QColor(214, 219, 224));
        g.setColorAt(1, QColor(236, 239, 242));
    }
    p.setPen(QPen(filled ? kTeal.darker(135) : QColor(170, 178, 186), 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

void Dot(QPainter& p, const QRectF& r, State state)
{
    const QColor colour = state == State::Selected ? kBlue : (state == State::Disabled ? QColor(205, 210, 215) : kGrey);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(r.adjusted(1, 1, -1, -1));
    if (state == State::Selected) {
        p.setBrush(Qt::white);
        p.drawEllipse(r.center(), r.width() * 0.18, r.width() * 0.18);
    }
}

// A main-window button: a tile with a symbol.
ImageRecipe MainButton(const QString& base, State state,
                       const std::function<void(QPainter&, const QRectF&, const QColor&)>& symbol)
{
    static const char* suffix[] = {"_Normal", "_Hover", "_Selected", "_Disabled"};
    return {base + suffix[int(state)] + ".png", 64, 64, [state, symbol](QPainter& p, const QRectF& r) {
                const QRectF tile = r.adjusted(2, 2, -2, -2).translated(0, state == State::Selected ? 1 : 0);
                Tile(p, tile, Shade(kBlue, state), 12);
                symbol(p, tile, Qt::white);
            }};
}

ImageRecipe SmallButton(const QString& name, State state,
                        const std::function<void(QPainter&, const QRectF&, const QColor&)>& symbol)
{
    return {name, 28, 28, [state, symbol](QPainter& p, const QRectF& r) {
                const QRectF tile = r.adjusted(1, 1, -1, -1);
                Tile(p, tile, Shade(QColor(236, 240, 244), state), 6);
                symbol(p, tile.adjusted(3, 3, -3, -3), state == State::Disabled ? kGrey : kBlueDark);
            }};
}

void Magnifier(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, r.width() * 0.12, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF centre(r.left() + r.width() * 0.42, r.top() + r.height() * 0.42);
    p.drawEllipse(centre, r.width() * 0.24, r.width() * 0.24);
    p.drawLine(centre + QPointF(r.width() * 0.18, r.width() * 0.18),
               r.bottomRight() - QPointF(r.width() * 0.1, r.width() * 0.1));
}

void LogLines(QPainter& p, const QRectF& r, const QColor& c)
{
    Document(p, r, c);
}

}  // namespace

QImage Render(const ImageRecipe& recipe)
{
    QImage image(recipe.width, recipe.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    recipe.draw(painter, QRectF(0, 0, recipe.width, recipe.height));
    painter.end();
    return image;
}

std::vector<ImageRecipe> AllImages()
{
    std::vector<ImageRecipe> images;
    const State three[] = {State::Normal, State::Hover, State::Selected};
    for (State s : three) {
        images.push_back(MainButton("Main_Sync", s, SyncSymbol));
        images.push_back(MainButton("Main_Backup", s, Archive));
        images.push_back(MainButton("Main_Prefs", s, Gear));
        images.push_back({QString("Main_Drop") +
                              (s == State::Normal  ? "_Normal"
                               : s == State::Hover ? "_Hover"
                                                   : "_Selected") +
                              ".png",
                          18, 64, [s](QPainter& p, const QRectF& r) {
                              Tile(p, r.adjusted(1, 2, -1, -2), Shade(kBlueDark, s), 6);
                              QPolygonF tri;
                              tri << QPointF(r.center().x() - 4, r.center().y() - 2)
                                  << QPointF(r.center().x() + 4, r.center().y() - 2)
                                  << QPointF(r.center().x(), r.center().y() + 3);
                              p.setPen(Qt::NoPen);
                              p.setBrush(Qt::white);
                              p.drawPolygon(tri);
                          }});
    }
    for (State s : {State::Normal, State::Selected}) {
        const QString suffix = s == State::Normal ? "_Normal.png" : "_Selected.png";
        images.push_back(SmallButton("Sync" + suffix, s, SyncSymbol));
        images.push_back(SmallButton("Reload" + suffix, s, [](QPainter& p, const QRectF& r, const QColor& c) {
            ArcArrow(p, r.center(), r.width() * 0.3, 90, 280, r.width() * 0.1, c);
        }));
        images.push_back(SmallButton("Log" + suffix, s, LogLines));
    }
    for (State s : {State::Normal, State::Selected, State::Disabled}) {
        const QString suffix = s == State::Normal     ? "_Normal.png"
                               : s == State::Selected ? "_Selected.png"
                                                      : "_Disabled.png";
        images.push_back(SmallButton("Browse" + suffix, s, Magnifier));
        images.push_back({"Dot" + suffix, 12, 12, [s](QPainter& p, const QRectF& r) { Dot(p, r, s); }});
    }
    images.push_back({"Welcome.png", 40, 40, [](QPainter& p, const QRectF& r) {
                          Tile(p, r.adjusted(2, 2, -2, -2), kTeal, 8);
                          QFont f("DejaVu Sans");
                          f.setBold(true);
                          f.setPixelSize(22);
                          p.setFont(f);
                          p.setPen(Qt::white);
                          p.drawText(r, Qt::AlignCenter, "?");
                      }});
    images.push_back({"Welcome_Selected.png", 40, 40, [](QPainter& p, const QRectF& r) {
                          Tile(p, r.adjusted(2, 3, -2, -1), kTeal.darker(125), 8);
                          QFont f("DejaVu Sans");
                          f.setBold(true);
                          f.setPixelSize(22);
                          p.setFont(f);
                          p.setPen(Qt::white);
                          p.drawText(r.translated(0, 1), Qt::AlignCenter, "?");
                      }});
    images.push_back({"Win_Close.png", 16, 16, [](QPainter& p, const QRectF& r) {
                          p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
                          p.drawLine(r.topLeft() + QPointF(4, 4), r.bottomRight() - QPointF(4, 4));
                          p.drawLine(QPointF(r.right() - 4, r.top() + 4), QPointF(r.left() + 4, r.bottom() - 4));
                      }});
    images.push_back({"Logo.png", 150, 36, [](QPainter& p, const QRectF& r) {
                          UsbStick(p, QRectF(r.left(), r.top(), 36, 36), kTeal, QColor(200, 205, 210));
                          QFont f("DejaVu Sans");
                          f.setBold(true);
                          f.setPixelSize(20);
                          p.setFont(f);
                          p.setPen(kBlueDark);
                          p.drawText(r.adjusted(40, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, "Halvex");
                      }});
    images.push_back(
        {"Usb_Volume.png", 48, 48, [](QPainter& p, const QRectF& r) { UsbStick(p, r, kBlue, QColor(205, 210, 215)); }});
    images.push_back(
        {"Usb_Normal.png", 48, 48, [](QPainter& p, const QRectF& r) { UsbStick(p, r, kBlue, QColor(205, 210, 215)); }});
    images.push_back({"App.png", 64, 64, [](QPainter& p, const QRectF& r) {
                          Tile(p, r.adjusted(2, 2, -2, -2), kBlue, 14);
                          UsbStick(p, r.adjusted(10, 8, -10, -12), kTeal, QColor(225, 230, 235));
                          ArcArrow(p, r.center() + QPointF(12, 12), 8, 200, 250, 3, Qt::white);
                      }});
    images.push_back(
        {"SystemMenu.png", 22, 22, [](QPainter& p, const QRectF& r) { UsbStick(p, r, kBlue, QColor(220, 224, 228)); }});
    for (int kind = 0; kind < 3; ++kind) {
        static const char* names[] = {"AlertNote.png", "AlertStop.png", "AlertCaution.png"};
        images.push_back({names[kind], 48, 48, [kind](QPainter& p, const QRectF& r) { Alert(p, r, kind); }});
    }
    images.push_back({"Progress_Empty.png", 240, 14, [](QPainter& p, const QRectF& r) { Bar(p, r, false); }});
    images.push_back({"Progress_Fill.png", 240, 14, [](QPainter& p, const QRectF& r) { Bar(p, r, true); }});
    images.push_back({"Computer.png", 48, 48, [](QPainter& p, const QRectF& r) { Monitor(p, r, kBlueLight); }});
    images.push_back({"Computer_Normal.png", 48, 48, [](QPainter& p, const QRectF& r) { Monitor(p, r, kBlueLight); }});
    images.push_back({"Desktop.png", 48, 48, [](QPainter& p, const QRectF& r) { Monitor(p, r, kTeal); }});
    images.push_back({"Documents.png", 48, 48, [](QPainter& p, const QRectF& r) { Document(p, r, kBlue); }});
    images.push_back({"Folder.png", 48, 48, [](QPainter& p, const QRectF& r) { Folder(p, r, kAmber); }});
    images.push_back({"Arrow_Normal.png", 24, 16, [](QPainter& p, const QRectF& r) { Arrow(p, r, kGrey, true); }});
    images.push_back(
        {"Arrow_Pushed.png", 24, 16, [](QPainter& p, const QRectF& r) { Arrow(p, r, kGrey.darker(130), true); }});
    images.push_back({"Arrow_Down.png", 16, 16, [](QPainter& p, const QRectF& r) {
                          QPolygonF tri;
                          tri << QPointF(3, 5) << QPointF(13, 5) << QPointF(8, 11);
                          p.setPen(Qt::NoPen);
                          p.setBrush(kInk);
                          p.drawPolygon(tri);
                      }});
    images.push_back(
        {"Arrow_Green_Right.png", 24, 16, [](QPainter& p, const QRectF& r) { Arrow(p, r, kGreen, true); }});
    images.push_back(
        {"Arrow_Green_Left.png", 24, 16, [](QPainter& p, const QRectF& r) { Arrow(p, r, kGreen, false); }});
    images.push_back({"Prefs_General.png", 32, 32, [](QPainter& p, const QRectF& r) { Gear(p, r, kBlue); }});
    images.push_back({"Prefs_Sync.png", 32, 32, [](QPainter& p, const QRectF& r) { SyncSymbol(p, r, kTeal); }});
    images.push_back({"Prefs_Advanced.png", 32, 32, [](QPainter& p, const QRectF& r) {
                          Gear(p, r.adjusted(0, 0, -8, -8), kBlueDark);
                          Gear(p, r.adjusted(12, 12, 0, 0), kBlue);
                      }});
    images.push_back({"Setup_Background.png", 170, 340, [](QPainter& p, const QRectF& r) {
                          QLinearGradient g(r.topLeft(), r.bottomRight());
                          g.setColorAt(0, kBlue);
                          g.setColorAt(1, kBlueDark);
                          p.fillRect(r, g);
                          p.setOpacity(0.18);
                          UsbStick(p, QRectF(20, 170, 160, 160), Qt::white, Qt::white);
                          p.setOpacity(1);
                      }});
    images.push_back({"CheckBox.png", 16, 16, [](QPainter& p, const QRectF& r) {
                          p.setPen(QPen(kGrey, 1));
                          p.setBrush(Qt::white);
                          p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
                      }});
    images.push_back({"RadioButton.png", 16, 16, [](QPainter& p, const QRectF& r) {
                          p.setPen(QPen(kGrey, 1));
                          p.setBrush(Qt::white);
                          p.drawEllipse(r.adjusted(1.5, 1.5, -1.5, -1.5));
                      }});
    images.push_back({"ListHeader_Sorted.png", 10, 8, [](QPainter& p, const QRectF&) {
                          QPolygonF tri;
                          tri << QPointF(1, 2) << QPointF(9, 2) << QPointF(5, 7);
                          p.setPen(Qt::NoPen);
                          p.setBrush(kInk);
                          p.drawPolygon(tri);
                      }});
    return images;
}
