// Draws the program's own artwork: the banner strip, the main window's background picture and
// the application icon in several sizes. Run once after changing the drawing:
//   cmake -S tools/artwork -B build-artwork && cmake --build build-artwork && ./build-artwork/make_artwork resources
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor deepBlue(24, 78, 140);
const QColor skyBlue(58, 140, 196);
const QColor amber(240, 160, 40);

// The emblem: a roof over a speech bubble.
void drawEmblem(QPainter &p, const QRectF &box)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = box.width() / 64.0;
    p.translate(box.topLeft());
    p.scale(s, s);
    QLinearGradient fill(0, 0, 64, 64);
    fill.setColorAt(0, skyBlue);
    fill.setColorAt(1, deepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
    p.setBrush(Qt::white);
    const QPointF roof[] = {{10, 31}, {32, 12}, {54, 31}, {48, 31}, {32, 18}, {16, 31}};
    p.drawPolygon(roof, 6);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(17, 29, 30, 20), 5, 5);
    const QPointF tail[] = {{24, 48}, {22, 55}, {31, 48}};
    bubble.addPolygon(QPolygonF(QVector<QPointF>(std::begin(tail), std::end(tail))));
    p.drawPath(bubble.simplified());
    p.setBrush(amber);
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(24 + i * 8, 39), 2.6, 2.6);
    p.restore();
}

QImage banner()
{
    // 1028 x 54. The middle (from x = 590) is a plain band that the main window repeats to any
    // width; the part from 590 on is also drawn, narrowed, at the right-hand end.
    QImage image(1028, 54, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient band(0, 0, 0, 54);
    band.setColorAt(0, QColor(36, 98, 166));
    band.setColorAt(1, QColor(20, 66, 122));
    p.fillRect(image.rect(), band);
    QLinearGradient glow(0, 0, 590, 0);
    glow.setColorAt(0, QColor(255, 255, 255, 40));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, 590, 54), glow);
    drawEmblem(p, QRectF(14, 7, 40, 40));
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont title(QStringLiteral("WenQuanYi Micro Hei"));
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(66, 4, 500, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavimor 物业投诉管理"));
    QFont sub = title;
    sub.setPixelSize(11);
    sub.setBold(false);
    p.setFont(sub);
    p.setPen(QColor(200, 224, 246));
    p.drawText(QRect(68, 32, 500, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("接待 · 受理 · 处理 · 阅处 · 统计"));
    // A low skyline on the right-hand part; it stays readable when drawn narrower.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 34));
    const int heights[] = {18, 30, 22, 38, 26, 16, 34, 24, 28, 20, 36, 18, 26};
    int x = 660;
    for (int i = 0; x < 1020; ++i) {
        const int h = heights[i % 13];
        const int w = 18 + (i * 7) % 14;
        p.drawRect(QRect(x, 54 - h, w, h));
        x += w + 6;
    }
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(QPointF(960, 14), 7, 7);
    return image;
}

QImage background()
{
    QImage image(1024, 768, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 768);
    sky.setColorAt(0, QColor(226, 236, 246));
    sky.setColorAt(1, QColor(196, 214, 232));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient light(QPointF(820, 160), 420);
    light.setColorAt(0, QColor(255, 255, 255, 120));
    light.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(image.rect(), light);
    // Faint residential blocks along the bottom.
    p.setPen(Qt::NoPen);
    const int widths[] = {90, 60, 120, 80, 70, 110, 64, 96, 84, 72, 118, 66};
    const int heights[] = {180, 120, 240, 160, 130, 210, 110, 190, 150, 140, 230, 120};
    int x = 0;
    for (int i = 0; x < 1024; ++i) {
        const int w = widths[i % 12];
        const int h = heights[(i * 5) % 12];
        p.setBrush(QColor(150, 176, 204, 70));
        p.drawRect(QRect(x, 768 - h, w, h));
        p.setBrush(QColor(255, 255, 255, 60));
        for (int wy = 768 - h + 14; wy < 760; wy += 22)
            for (int wx = x + 10; wx < x + w - 12; wx += 18) p.drawRect(QRect(wx, wy, 8, 10));
        x += w + 14;
    }
    drawEmblem(p, QRectF(452, 270, 120, 120));
    return image;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources");
    QDir().mkpath(out);
    bool ok = banner().save(out + QStringLiteral("/banner.bmp"), "BMP");
    ok = background().save(out + QStringLiteral("/MDI.BMP"), "BMP") && ok;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage icon(size, size, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QPainter p(&icon);
        drawEmblem(p, QRectF(0, 0, size, size));
        p.end();
        const QString dir = out + QStringLiteral("/icons/%1x%1").arg(size);
        QDir().mkpath(dir);
        ok = icon.save(dir + QStringLiteral("/tavimor-complaints.png"), "PNG") && ok;
    }
    std::printf("%s\n", ok ? "artwork written" : "could not write the artwork");
    return ok ? 0 : 1;
}
