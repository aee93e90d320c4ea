#pragma once
// Memory for large pictures: pixels of a megabyte and more live in a large
// block kept for reuse (platform/LargeMemory.h), so that the next picture of
// a size seen before costs no fresh memory.
#include <QImage>

namespace decode {

// A picture of the size and format with undefined pixels, like
// QImage(width, height, format); a null picture when there is no memory.
QImage NewPictureImage(int width, int height, QImage::Format format);

} // namespace decode
