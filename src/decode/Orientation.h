#pragma once
// How a picture file says its stored pixels are to be turned to stand
// upright, and turning decoded pictures accordingly. Orientations use the
// eight values of the Exif Orientation tag: 1 as stored, 2 mirrored left to
// right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored along the
// main diagonal, 6 turned a quarter clockwise, 7 mirrored along the other
// diagonal, 8 turned a quarter anticlockwise.
#include <QImage>
#include <QString>

class QIODevice;

namespace decode {

struct StoredOrientation {
    // What turns the stored pixels upright (1..8).
    int orientation = 1;
    // The decoder hands the picture upright already (HEIF readers must
    // apply the file's rotation and mirroring together with its crop).
    bool appliedByDecoder = false;
};

// Reads the orientation of a JPEG (Exif), TIFF (Orientation tag), WebP (Exif
// chunk), HEIF or AVIF (rotation and mirroring properties of the primary
// image) or JPEG XL (code stream header) file, told apart by content. Any
// other or unreadable content gives orientation 1.
StoredOrientation ReadOrientation(QIODevice& file);
StoredOrientation ReadOrientationOfFile(const QString& path);

// The orientation of an Exif or TIFF structure starting with its byte
// order mark ("II*\0", "MM\0*" or BigTIFF), 1 when it has none.
int OrientationOfTiffStructure(QIODevice& file, qint64 start);

// The orientation that undoes the given one, and the one that has the
// effect of first applying `first`, then `then`.
int InverseOrientation(int orientation);
int ComposeOrientations(int first, int then);

// The picture turned as the orientation says (values outside 2..8 leave it
// as it is).
QImage ApplyOrientation(const QImage& image, int orientation);

// Whether pictures are shown upright as their files say (on by default).
void SetAutoRotate(bool on);
bool AutoRotate();

// What still has to be applied to a decoded picture: its orientation when
// turning is on and the decoder left it, the reverse when turning is off
// and the decoder applied it, else 1.
int OrientationToApply(const StoredOrientation& stored, bool autoRotate);

} // namespace decode
