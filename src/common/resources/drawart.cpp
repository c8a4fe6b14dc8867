// Draws the program's icons and splash picture at build time, so that the
// artwork lives as code beside the program instead of as binary files.
// Each picture is written as SVG, and as PNG at each size asked for: the
// desktop's icon theme and a Qt without the SVG icon engine take those; the
// program's icon also as the .ico that Windows shows for the program file.
// Usage: quillon-drawart <output directory> [icon size in pixels]...

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRegularExpression>
#include <QSvgGenerator>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {
using Drawing = std::function<void(QPainter&)>; // draws in a 100 x 100 box

QPainterPath airplane()
{
    const QPointF points[] = {{50, 4},  {55, 11}, {55, 38}, {93, 58}, {93, 66}, {55, 57}, {55, 79},
                              {67, 89}, {67, 95}, {50, 90}, {33, 95}, {33, 89}, {45, 79}, {45, 57},
                              {7, 66},  {7, 58},  {45, 38}, {45, 11}};
    QPainterPath path;
    path.addPolygon(QPolygonF(std::begin(points), std::end(points)));
    path.closeSubpath();
    return path;
}

// A quill: the feather's vane and its shaft.
QPainterPath quill()
{
    QPainterPath vane;
    vane.moveTo(88, 6);
    vane.cubicTo(60, 10, 34, 36, 26, 70);
    vane.lineTo(34, 66);
    vane.cubicTo(46, 44, 70, 22, 88, 6);
    return vane;
}

// The quill's shaft, from the tip of the vane down to the nib.
void drawQuillShaft(QPainter& p, const QColor& color)
{
    p.save();
    p.setPen(QPen(color, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(86, 8), QPointF(18, 84));
    p.restore();
}

void drawAcars(QPainter& p)
{
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xa8), 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(62, 4, 34, 34), 0 * 16, 90 * 16);
    p.drawArc(QRectF(70, 12, 18, 18), 0 * 16, 90 * 16);
    p.save();
    p.translate(45, 52);
    p.scale(0.86, 0.86);
    p.translate(-50, -50);
    p.setPen(QPen(QColor(0x14, 0x2c, 0x4c), 3));
    p.setBrush(QColor(0x3a, 0x7b, 0xd5));
    p.drawPath(airplane());
    p.restore();
}

void drawFlightLog(QPainter& p)
{
    p.setPen(QPen(QColor(0x4a, 0x20, 0x10), 3));
    p.setBrush(QColor(0xf4, 0xf1, 0xe6));
    p.drawRoundedRect(QRectF(24, 10, 62, 82), 4, 4);
    p.setBrush(QColor(0x9b, 0x2d, 0x1f));
    p.drawRoundedRect(QRectF(14, 6, 62, 84), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6e, 0x1c, 0x12));
    p.drawRect(QRectF(16, 8, 10, 80));
    p.setBrush(QColor(0xf4, 0xf1, 0xe6));
    p.drawRect(QRectF(34, 22, 34, 26));
    p.setPen(QPen(QColor(0x5a, 0x5a, 0x5a), 3));
    for (int y : {29, 35, 41})
        p.drawLine(QPointF(38, y), QPointF(64, y));
}

void drawTimeByType(QPainter& p)
{
    p.setPen(Qt::NoPen);
    const QColor bars[] = {QColor(0x3a, 0x7b, 0xd5), QColor(0x2e, 0x9e, 0x5b), QColor(0xe0, 0x8e, 0x1b)};
    const int heights[] = {46, 72, 30};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(bars[i]);
        p.drawRect(QRectF(10 + i * 22, 94 - heights[i], 17, heights[i]));
    }
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 4));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(74, 28), 22, 22);
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(74, 28), QPointF(74, 13));
    p.drawLine(QPointF(74, 28), QPointF(85, 33));
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 3));
    p.drawLine(QPointF(6, 95), QPointF(94, 95));
}

// Monthly bars under a rising line: the charts item.
void drawCharts(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x7b, 0xd5));
    const int heights[] = {30, 48, 38, 62};
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(12 + i * 20, 92 - heights[i], 14, heights[i]));
    p.setPen(QPen(QColor(0xd9, 0x3a, 0x2b), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF rising[] = {{10, 50}, {38, 36}, {62, 28}, {90, 8}};
    p.drawPolyline(rising, 4);
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 3));
    p.drawLine(QPointF(6, 95), QPointF(94, 95));
    p.drawLine(QPointF(6, 95), QPointF(6, 6));
}

void drawProgram(QPainter& p)
{
    QLinearGradient sky(0, 0, 0, 100);
    sky.setColorAt(0, QColor(0x1c, 0x4e, 0x8f));
    sky.setColorAt(1, QColor(0x0d, 0x26, 0x47));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 2, 96, 96), 18, 18);
    p.setBrush(QColor(0xf2, 0xc1, 0x4e));
    p.drawPath(quill());
    drawQuillShaft(p, QColor(0xf2, 0xc1, 0x4e));
    p.save();
    p.translate(54, 56);
    p.rotate(45);
    p.scale(0.6, 0.6);
    p.translate(-50, -50);
    p.setBrush(Qt::white);
    p.drawPath(airplane());
    p.restore();
}

// Dusk over a runway, an airliner climbing out and a quill across the sky.
void drawSplash(QPainter& p, const QSize& size)
{
    const qreal w = size.width();
    const qreal h = size.height();
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(0x0b, 0x1d, 0x3f));
    sky.setColorAt(0.55, QColor(0x3d, 0x5f, 0x9c));
    sky.setColorAt(0.78, QColor(0xf0, 0x9a, 0x4a));
    sky.setColorAt(0.80, QColor(0x2a, 0x2a, 0x30));
    sky.setColorAt(1.0, QColor(0x18, 0x18, 0x1c));
    p.fillRect(QRectF(0, 0, w, h), sky);

    QRadialGradient sun(w * 0.7, h * 0.78, w * 0.35);
    sun.setColorAt(0, QColor(255, 220, 150, 200));
    sun.setColorAt(1, QColor(255, 220, 150, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawRect(QRectF(0, h * 0.4, w, h * 0.39));

    p.setPen(QPen(QColor(0xf5, 0xe6, 0xa0), 2, Qt::DashLine));
    p.drawLine(QPointF(w * 0.5, h * 0.81), QPointF(w * 0.5, h));
    p.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), 2));
    p.drawLine(QPointF(w * 0.42, h * 0.81), QPointF(w * 0.12, h));
    p.drawLine(QPointF(w * 0.58, h * 0.81), QPointF(w * 0.88, h));

    p.setPen(Qt::NoPen);
    p.save();
    p.translate(w * 0.15, h * 0.02);
    p.scale(w / 100 * 0.8, w / 100 * 0.8);
    p.setBrush(QColor(0xf2, 0xc1, 0x4e, 220));
    p.drawPath(quill());
    drawQuillShaft(p, QColor(0xf2, 0xc1, 0x4e, 220));
    p.restore();

    p.save();
    p.translate(w * 0.58, h * 0.48);
    p.rotate(30);
    p.scale(w / 100 * 0.45, w / 100 * 0.45);
    p.translate(-50, -50);
    p.setBrush(Qt::white);
    p.drawPath(airplane());
    p.restore();
}

bool writeImage(const QImage& image, const QString& path)
{
    if (image.save(path))
        return true;
    std::fprintf(stderr, "quillon-drawart: cannot write %s\n", qPrintable(path));
    return false;
}

// The picture as SVG, drawn in a box of `size` units, so that the program can
// draw it as sharp at any size and pixel density. Its width and height are
// given in pixels: the generator's millimetres would not come back exactly,
// and the picture's shape would change by a pixel at some sizes.
bool writeSvg(const Drawing& draw, const QSize& size, const QString& path)
{
    QBuffer bytes;
    QSvgGenerator svg;
    svg.setOutputDevice(&bytes);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Quillon"));
    QPainter painter(&svg);
    draw(painter);
    painter.end();

    QString text = QString::fromUtf8(bytes.data());
    static const QRegularExpression sizeInMm(QStringLiteral("<svg width=\"[0-9.]+mm\" height=\"[0-9.]+mm\""));
    text.replace(sizeInMm,
                 QStringLiteral("<svg width=\"%1\" height=\"%2\"").arg(size.width()).arg(size.height()));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.flush())
        return true;
    std::fprintf(stderr, "quillon-drawart: cannot write %s\n", qPrintable(path));
    return false;
}

// The picture drawn in a box of `size` units, scaled by `scale`.
QImage render(const Drawing& draw, const QSize& size, qreal scale)
{
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    draw(painter);
    painter.end();
    return image;
}

bool writePng(const Drawing& draw, const QSize& size, qreal scale, const QString& path)
{
    return writeImage(render(draw, size, scale), path);
}

// The icon Windows shows for the program file: an .ico holding the drawing at
// each size up to 256 pixels, every entry a PNG (read by Windows since Vista).
bool writeIco(const Drawing& draw, const QList<int>& sizes, const QString& path)
{
    QList<QByteArray> pngs;
    for (int sizePx : sizes) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        render(draw, QSize(100, 100), sizePx / 100.0).save(&png, "PNG");
        pngs.append(png.data());
    }
    QByteArray ico;
    QDataStream out(&ico, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(sizes.size()); // reserved, icon type, entries
    quint32 offset = 6 + 16 * sizes.size();
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const auto side = quint8(sizes[i] % 256); // 0 stands for 256
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32) << quint32(pngs[i].size())
            << offset;
        offset += pngs[i].size();
    }
    for (const QByteArray& png : pngs)
        out.writeRawData(png.constData(), int(png.size()));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.flush())
        return true;
    std::fprintf(stderr, "quillon-drawart: cannot write %s\n", qPrintable(path));
    return false;
}
} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon-drawart <output directory> [icon size in pixels]...\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const struct {
        const char* name;
        Drawing draw;
    } icons[] = {{"acars", drawAcars}, {"flightlog", drawFlightLog}, {"timebytype", drawTimeByType},
                 {"quillon", drawProgram}, {"charts", drawCharts}};

    bool ok = out.mkpath(QStringLiteral("icons"));
    for (const auto& icon : icons) {
        const QString path = out.filePath(QStringLiteral("icons/%1.svg").arg(QLatin1String(icon.name)));
        ok = writeSvg(icon.draw, QSize(100, 100), path) && ok;
    }
    const QSize splashSize(200, 300);
    const Drawing splash = [splashSize](QPainter& p) { drawSplash(p, splashSize); };
    ok = writeSvg(splash, splashSize, out.filePath(QStringLiteral("splash.svg"))) && ok;
    // Three times its size: Qt scales it down for densities up to 3.
    ok = writePng(splash, splashSize, 3, out.filePath(QStringLiteral("splash.png"))) && ok;

    QList<int> icoSizes;
    for (int i = 2; i < argc; ++i) {
        const int sizePx = std::atoi(argv[i]);
        if (sizePx > 0 && sizePx <= 256)
            icoSizes.append(sizePx);
        ok = out.mkpath(QStringLiteral("icons/%1").arg(sizePx)) && ok;
        for (const auto& icon : icons) {
            const QString path = out.filePath(QStringLiteral("icons/%1/%2.png").arg(sizePx).arg(QLatin1String(icon.name)));
            ok = writePng(icon.draw, QSize(100, 100), sizePx / 100.0, path) && ok;
        }
    }
    ok = writeIco(drawProgram, icoSizes, out.filePath(QStringLiteral("icons/quillon.ico"))) && ok;
    return ok ? 0 : 1;
}
