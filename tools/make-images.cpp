// Draws the toolbar pictures as BMP files into the folder given as the only argument.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

static const QColor ink(34, 74, 140);
static const QColor accent(230, 140, 30);
static const QColor paper(240, 240, 240);

static bool drawImage(const QString& path, int size, const std::function<void(QPainter&, qreal)>& draw)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(paper);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, size / 24.0);
    painter.end();
    return image.save(path, "BMP");
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

static void magnifier(QPainter& p, qreal u)
{
    p.setPen(QPen(ink, 2.5 * u, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(QColor(200, 225, 250));
    p.drawEllipse(QPointF(10 * u, 10 * u), 6 * u, 6 * u);
    p.setPen(QPen(accent, 3.5 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14.5 * u, 14.5 * u), QPointF(20.5 * u, 20.5 * u));
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
    ok &= drawImage(folder + "search.bmp", 32, magnifier);
    ok &= drawImage(folder + "home2.bmp", 48, house);
    ok &= drawImage(folder + "builder.bmp", 24, builder);
    ok &= drawImage(folder + "help.bmp", 48, helpMark);
    return ok ? 0 : 1;
}
