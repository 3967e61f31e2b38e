#ifndef MANAGERARTWORK_H
#define MANAGERARTWORK_H

#include <QImage>

// fpmanager's own pictures, drawn with QPainter: no outside artwork is used.
namespace ManagerArtwork
{

// The application icon at side × side pixels: a fingerprint in front of a printer on a blue tile.
QImage applicationIcon(int side);

// The logo of the About window, width × height pixels: a large fingerprint over a paper sheet.
QImage aboutLogo(int width, int height);

} // namespace ManagerArtwork

#endif
