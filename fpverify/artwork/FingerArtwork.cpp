#include "FingerArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace
{

const QColor kBackground(0xf4, 0xf6, 0xf8);
const QColor kSkin(0xfb, 0xe3, 0xd2);
const QColor kOutline(0x9a, 0x6e, 0x58);
const QColor kRidge(0xb8, 0x8f, 0x7c);
const QColor kRidgeLit(0x1e, 0x6f, 0xc8);
const QColor kScan(0x2e, 0xc4, 0x6d);

// The fingertip in a unit square: a rounded top over straight sides, cut off at the bottom.
QPainterPath fingertip(qreal side)
{
    const qreal left = side * 0.22, right = side * 0.78, top = side * 0.08, bottom = side * 1.02;
    const qreal width = right - left;
    QPainterPath path;
    path.moveTo(left, bottom);
    path.lineTo(left, top + width * 0.5);
    path.arcTo(QRectF(left, top, width, width), 180, -180);
    path.lineTo(right, bottom);
    path.closeSubpath();
    return path;
}

// The ridges: open arcs around a core a little above the middle of the tip.
QList<QPainterPath> ridges(qreal side)
{
    QList<QPainterPath> paths;
    const QPointF core(side * 0.5, side * 0.50);
    for (int i = 0; i < 7; ++i) {
        const qreal rx = side * (0.045 + 0.04 * i);
        const qreal ry = side * (0.06 + 0.052 * i);
        const QRectF box(core.x() - rx, core.y() - ry, 2 * rx, 2 * ry);
        QPainterPath path;
        // Each ridge leaves a gap that turns a little from ring to ring, like a whorl.
        const qreal gap = 50 + 8 * i;
        const qreal start = -90 + gap / 2 + 12 * (i % 3);
        path.arcMoveTo(box, start);
        path.arcTo(box, start, 360 - gap);
        paths.append(path);
    }
    return paths;
}

void drawFingerprint(QPainter& painter, qreal side, qreal scanY, bool lit)
{
    const QPainterPath tip = fingertip(side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSkin);
    painter.drawPath(tip);

    painter.save();
    painter.setClipPath(tip);
    const qreal ridgeWidth = qMax<qreal>(1.5, side * 0.022);
    for (const QPainterPath& ridge : ridges(side)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kRidge, ridgeWidth, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(ridge);
        if (lit) {
            // The part the scan line has passed is drawn again in the lit colour.
            painter.save();
            painter.setClipRect(QRectF(0, 0, side, scanY), Qt::IntersectClip);
            painter.setPen(QPen(kRidgeLit, ridgeWidth, Qt::SolidLine, Qt::RoundCap));
            painter.drawPath(ridge);
            painter.restore();
        }
    }
    painter.restore();

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kOutline, qMax<qreal>(1.0, side * 0.018)));
    painter.drawPath(tip);
}

QRgb blend(QRgb a, QRgb b, int step, int steps)
{
    auto mix = [&](int x, int y) { return (x * (steps - step) + y * step) / steps; };
    return qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
}

} // namespace

namespace FingerArtwork
{

QImage fingerFrame(int side, int frame, int frameCount)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // The scan line goes down over the tip in the first three quarters of the loop, then the lit
    // print rests before the next sweep.
    const int sweepFrames = qMax(1, frameCount * 3 / 4);
    const qreal top = side * 0.1, bottom = side * 0.98;
    const qreal progress = frame < sweepFrames ? qreal(frame) / (sweepFrames - 1 > 0 ? sweepFrames - 1 : 1) : 1.0;
    const qreal scanY = top + (bottom - top) * progress;
    drawFingerprint(painter, side, scanY, true);

    if (frame < sweepFrames) {
        painter.setPen(QPen(kScan, qMax<qreal>(2.0, side * 0.03), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(side * 0.12, scanY), QPointF(side * 0.88, scanY));
    }
    painter.end();
    return image;
}

QImage appIcon(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient tile(0, 0, 0, side);
    tile.setColorAt(0, QColor(0x3a, 0x8e, 0xe6));
    tile.setColorAt(1, QColor(0x1b, 0x5f, 0xb0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    const qreal radius = side * 0.2;
    painter.drawRoundedRect(QRectF(side * 0.04, side * 0.04, side * 0.92, side * 0.92), radius, radius);

    // The fingerprint, smaller and centred on the tile, with every ridge lit.
    painter.translate(side * 0.14, side * 0.12);
    painter.scale(0.72, 0.72);
    drawFingerprint(painter, side, side, true);
    painter.end();
    return image;
}

QList<QRgb> animationPalette()
{
    const QList<QColor> base = { kBackground, kSkin, kOutline, kRidge, kRidgeLit, kScan };
    QList<QRgb> palette;
    for (const QColor& colour : base)
        palette.append(colour.rgb());
    const int steps = 16;
    for (int a = 0; a < base.size(); ++a) {
        for (int b = a + 1; b < base.size(); ++b) {
            for (int step = 1; step < steps; ++step)
                palette.append(blend(base[a].rgb(), base[b].rgb(), step, steps));
        }
    }
    // 6 colours and 15 pairs of 15 blends: 231 entries, within the 256 of a GIF colour table.
    return palette;
}

} // namespace FingerArtwork
