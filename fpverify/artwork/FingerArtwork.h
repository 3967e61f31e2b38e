#ifndef FINGERARTWORK_H
#define FINGERARTWORK_H

#include <QImage>
#include <QList>

// The program's own pictures, drawn with QPainter: a fingertip with its ridges, and a scan line that
// sweeps over it and lights the ridges it has passed.
namespace FingerArtwork
{

// Frame `frame` of `frameCount` of the finger animation, square, in ARGB32.
QImage fingerFrame(int side, int frame, int frameCount);

// The application icon: the fingerprint on a rounded tile.
QImage appIcon(int side);

// The colours of the animation: every base colour and the blends between them that antialiased
// edges produce.
QList<QRgb> animationPalette();

} // namespace FingerArtwork

#endif
