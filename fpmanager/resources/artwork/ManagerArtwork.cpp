#include "ManagerArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace
{

// Ridges of a fingerprint: nested arcs around (cx, cy), open at the bottom, as a finger pad
// seen from the front.
void drawFingerprint(QPainter& p, const QPointF& centre, qreal radius, const QColor& colour, qreal ridgeWidth)
{
    QPen pen(colour, ridgeWidth, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const int ridges = 5;
    for (int i = 0; i < ridges; ++i) {
        const qreal r = radius * (0.22 + 0.78 * i / (ridges - 1));
        const QRectF box(centre.x() - r * 0.78, centre.y() - r, r * 1.56, r * 2.0);
        // Inner ridges close further round; every second ridge is broken once, as real ones are.
        const int span = 300 - i * 14;
        const int start = 270 - span / 2 + 180;
        if (i % 2 == 1) {
            p.drawArc(box, start * 16, (span / 2 - 12) * 16);
            p.drawArc(box, (start + span / 2 + 12) * 16, (span / 2 - 12) * 16);
        } else {
            p.drawArc(box, start * 16, span * 16);
        }
    }
    // The core: a short upright loop.
    const qreal core = radius * 0.12;
    p.drawLine(QPointF(centre.x(), centre.y() - core), QPointF(centre.x(), centre.y() + core * 1.6));
}

} // namespace

namespace ManagerArtwork
{

QImage applicationIcon(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal s = side;
    const qreal margin = s / 32.0;
    const QRectF tile(margin, margin, s - 2 * margin, s - 2 * margin);
    QLinearGradient blue(tile.topLeft(), tile.bottomLeft());
    blue.setColorAt(0.0, QColor(58, 140, 222));
    blue.setColorAt(1.0, QColor(18, 78, 160));
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawRoundedRect(tile, s / 6.0, s / 6.0);

    // The printer: a light body with a paper slot along the bottom of the tile.
    const QRectF body(s * 0.16, s * 0.56, s * 0.68, s * 0.26);
    p.setBrush(QColor(236, 241, 247));
    p.drawRoundedRect(body, s / 24.0, s / 24.0);
    p.setBrush(QColor(120, 130, 145));
    p.drawRect(QRectF(s * 0.26, s * 0.70, s * 0.48, qMax<qreal>(1.0, s * 0.035)));
    p.setBrush(QColor(80, 200, 120));
    const qreal led = qMax<qreal>(1.5, s * 0.05);
    p.drawEllipse(QRectF(s * 0.72, s * 0.60, led, led));

    // The finger pad above it.
    const qreal ridge = qMax<qreal>(1.0, s / 28.0);
    drawFingerprint(p, QPointF(s * 0.5, s * 0.36), s * 0.27, Qt::white, ridge);
    p.end();
    return image;
}

QImage aboutLogo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal w = width;
    const qreal h = height;
    // A sheet of paper with a folded corner.
    QPainterPath sheet;
    const qreal fold = w * 0.16;
    sheet.moveTo(w * 0.14, h * 0.06);
    sheet.lineTo(w * 0.86 - fold, h * 0.06);
    sheet.lineTo(w * 0.86, h * 0.06 + fold);
    sheet.lineTo(w * 0.86, h * 0.94);
    sheet.lineTo(w * 0.14, h * 0.94);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(150, 160, 175), 2));
    p.setBrush(QColor(244, 247, 251));
    p.drawPath(sheet);
    p.setBrush(QColor(214, 222, 232));
    QPainterPath corner;
    corner.moveTo(w * 0.86 - fold, h * 0.06);
    corner.lineTo(w * 0.86 - fold, h * 0.06 + fold);
    corner.lineTo(w * 0.86, h * 0.06 + fold);
    corner.closeSubpath();
    p.drawPath(corner);

    // Printed lines at the foot of the sheet.
    p.setPen(QPen(QColor(170, 180, 195), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const qreal y = h * (0.78 + 0.06 * i);
        p.drawLine(QPointF(w * 0.24, y), QPointF(w * (i == 2 ? 0.56 : 0.76), y));
    }

    drawFingerprint(p, QPointF(w * 0.5, h * 0.42), w * 0.30, QColor(22, 92, 178), 3.2);
    p.end();
    return image;
}

} // namespace ManagerArtwork
