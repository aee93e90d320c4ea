#pragma once
// Shrinking large pictures for display: an area-averaging box filter by a
// whole factor in one pass over the source, followed by an area-averaging
// scale for the remaining factor below 3. Same quality as a smooth scale of
// the whole picture at a fraction of its cost for very large pictures. Large
// results live in memory kept for reuse (decode/PictureMemory.h).
#include <QImage>

// Averages factor x factor blocks. Takes RGB888, RGB32 and
// ARGB32_Premultiplied pictures; gives RGB32 (or ARGB32_Premultiplied for
// a picture with alpha). Other formats are converted first.
QImage BoxShrink(const QImage& source, int factor);

// The picture scaled to exactly `target` (smaller than the source).
QImage SmoothShrink(const QImage& source, const QSize& target);
