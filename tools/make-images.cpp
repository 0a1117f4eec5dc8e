// Draws the toolbar pictures and the about window's pictures as BMP files into the folder given as the only argument,
// and the program's icon into its icons/ folder: an SVG and PNGs at 48, 128 and 256 pixels.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <fstream>
#include <functional>

static const QColor ink(34, 74, 140);
static const QColor accent(230, 140, 30);
static const QColor paper(240, 240, 240);

static bool drawPicture(const QString& path, int width, int height, const QColor& background,
                        const std::function<void(QPainter&)>& draw)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter);
    painter.end();
    return image.save(path, "BMP");
}

// A square toolbar picture, drawn on a 24-unit grid.
static bool drawImage(const QString& path, int size, const std::function<void(QPainter&, qreal)>& draw)
{
    return drawPicture(path, size, size, paper, [&](QPainter& p) { draw(p, size / 24.0); });
}

static void arrow(QPainter& p, qreal u, bool pointsLeft)
{
    if (!pointsLeft) { // the same arrow, mirrored
        p.translate(24 * u, 0);
        p.scale(-1, 1);
    }
    QPainterPath path;
    path.moveTo(3 * u, 12 * u);
    path.lineTo(12 * u, 4 * u);
    path.lineTo(12 * u, 9 * u);
    path.lineTo(21 * u, 9 * u);
    path.lineTo(21 * u, 15 * u);
    path.lineTo(12 * u, 15 * u);
    path.lineTo(12 * u, 20 * u);
    path.closeSubpath();
    p.setPen(QPen(ink.darker(130), u));
    p.setBrush(ink);
    p.drawPath(path);
}

// The magnifier: the search picture, the tray's picture and the program's icon. Its SVG form is written from the
// same numbers, so the launcher shows the picture the window and the tray show.
static const QColor lensGlass(200, 225, 250);
static constexpr qreal lensCentre = 10, lensRadius = 6, lensPen = 2.5;
static constexpr qreal handleFrom = 14.5, handleTo = 20.5, handlePen = 3.5;
static constexpr qreal tileCorner = 4;

static void magnifier(QPainter& p, qreal u)
{
    p.setPen(QPen(ink, lensPen * u, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(lensGlass);
    p.drawEllipse(QPointF(lensCentre * u, lensCentre * u), lensRadius * u, lensRadius * u);
    p.setPen(QPen(accent, handlePen * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(handleFrom * u, handleFrom * u), QPointF(handleTo * u, handleTo * u));
}

// The icon: the magnifier on a tile of the pictures' paper colour, so that on paper it is the search picture.
static void programIcon(QPainter& p, qreal u)
{
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(0, 0, 24 * u, 24 * u), tileCorner * u, tileCorner * u);
    magnifier(p, u);
}

static bool drawIconPng(const QString& path, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    programIcon(painter, size / 24.0);
    painter.end();
    return image.save(path, "PNG");
}

static bool writeIconSvg(const QString& path)
{
    const QString svg = QString(R"(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">
  <rect width="24" height="24" rx="%1" fill="%2"/>
  <circle cx="%3" cy="%3" r="%4" fill="%5" stroke="%6" stroke-width="%7"/>
  <line x1="%8" y1="%8" x2="%9" y2="%9" stroke="%10" stroke-width="%11" stroke-linecap="round"/>
</svg>
)")
                            .arg(tileCorner)
                            .arg(paper.name())
                            .arg(lensCentre)
                            .arg(lensRadius)
                            .arg(lensGlass.name())
                            .arg(ink.name())
                            .arg(lensPen)
                            .arg(handleFrom)
                            .arg(handleTo)
                            .arg(accent.name())
                            .arg(handlePen);
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    out << svg.toStdString();
    return bool(out.flush());
}

static void house(QPainter& p, qreal u)
{
    QPainterPath roof;
    roof.moveTo(2 * u, 12 * u);
    roof.lineTo(12 * u, 3 * u);
    roof.lineTo(22 * u, 12 * u);
    roof.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawPath(roof);
    p.setBrush(ink);
    p.drawRect(QRectF(5 * u, 12 * u, 14 * u, 9 * u));
    p.setBrush(paper);
    p.drawRect(QRectF(10 * u, 15 * u, 4 * u, 6 * u));
}

static void builder(QPainter& p, qreal u)
{
    p.setPen(QPen(ink, 1.2 * u));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3 * u, 3 * u, 15 * u, 18 * u));
    p.setPen(QPen(ink, 1.5 * u));
    for (int row = 0; row < 4; ++row)
        p.drawLine(QPointF(6 * u, (7 + 4 * row) * u), QPointF(15 * u, (7 + 4 * row) * u));
    p.setPen(QPen(accent, 2.5 * u, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(QColor(255, 235, 200));
    p.drawEllipse(QPointF(16 * u, 15 * u), 4 * u, 4 * u);
    p.drawLine(QPointF(19 * u, 18 * u), QPointF(22 * u, 21.5 * u));
}

static void helpMark(QPainter& p, qreal u)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(12 * u, 12 * u), 10 * u, 10 * u);
    p.setPen(QPen(Qt::white, 2.6 * u, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath hook;
    hook.moveTo(8.5 * u, 9 * u);
    hook.cubicTo(8.5 * u, 4.5 * u, 15.5 * u, 4.5 * u, 15.5 * u, 9 * u);
    hook.cubicTo(15.5 * u, 11.5 * u, 12 * u, 11.5 * u, 12 * u, 14 * u);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12 * u, 18 * u), 1.6 * u, 1.6 * u);
}

// The about window's pictures.

static void caption(QPainter& p, const QRectF& box, const QString& text, const QColor& colour, int pixelSize,
                    bool bold = true, Qt::Alignment alignment = Qt::AlignCenter)
{
    QFont font("Liberation Sans");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, alignment, text);
}

// A raised button face filling the picture, with a one-pixel margin.
static void buttonFace(QPainter& p, const QSizeF& size, const QColor& border)
{
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, Qt::white);
    shade.setColorAt(1, QColor(228, 232, 238));
    p.setPen(QPen(border, 1.2));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), 5, 5);
}

static void logo(QPainter& p)
{
    p.save();
    p.translate(6, 5);
    magnifier(p, 60 / 24.0);
    p.restore();
    caption(p, QRectF(70, 8, 176, 40), "Quillobrand", ink, 31, true, Qt::AlignLeft | Qt::AlignVCenter);
    caption(p, QRectF(72, 46, 176, 16), "many cities, one page", accent.darker(115), 12, false,
            Qt::AlignLeft | Qt::AlignVCenter);
}

static void bitcoinButton(QPainter& p)
{
    buttonFace(p, QSizeF(110, 30), accent.darker(120));
    // The coin: a gold disc with a B crossed by two short strokes at its top and foot.
    p.setPen(QPen(accent.darker(140), 1));
    p.setBrush(accent);
    p.drawEllipse(QPointF(18, 15), 10.5, 10.5);
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::FlatCap));
    for (qreal x : {16.5, 19.5}) {
        p.drawLine(QPointF(x, 6.5), QPointF(x, 9.5));
        p.drawLine(QPointF(x, 20.5), QPointF(x, 23.5));
    }
    caption(p, QRectF(8, 5, 20, 20), "B", Qt::white, 14);
    caption(p, QRectF(33, 0, 74, 30), "Bitcoin", QColor(60, 60, 60), 15);
}

static void paypalButton(QPainter& p)
{
    buttonFace(p, QSizeF(110, 30), ink);
    caption(p, QRectF(0, 0, 110, 30), "PayPal", ink, 17);
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + "/";
    QDir().mkpath(folder);
    bool ok = true;
    ok &= drawImage(folder + "back.bmp", 24, [](QPainter& p, qreal u) { arrow(p, u, true); });
    ok &= drawImage(folder + "fwd.bmp", 24, [](QPainter& p, qreal u) { arrow(p, u, false); });
    ok &= drawImage(folder + "search.bmp", 32, programIcon);
    ok &= drawImage(folder + "home2.bmp", 48, house);
    ok &= drawImage(folder + "builder.bmp", 24, builder);
    ok &= drawImage(folder + "help.bmp", 48, helpMark);
    const QString about = folder + "about/";
    QDir().mkpath(about);
    ok &= drawPicture(about + "logo.bmp", 250, 70, Qt::white, logo);
    ok &= drawPicture(about + "bitcoin.bmp", 110, 30, Qt::white, bitcoinButton);
    ok &= drawPicture(about + "paypal.bmp", 110, 30, Qt::white, paypalButton);
    const QString icons = folder + "icons/";
    QDir().mkpath(icons);
    ok &= writeIconSvg(icons + "quillobrand.svg");
    for (int size : {48, 128, 256})
        ok &= drawIconPng(icons + QString("quillobrand-%1.png").arg(size), size);
    return ok ? 0 : 1;
}
