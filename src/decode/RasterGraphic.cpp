#include "RasterGraphic.h"

#include "Orientation.h"

#include <QPainter>

void TRasterGraphic::Draw(QPainter& painter, const QRect& target) const
{
    const QImage image = ToImage();
    if (image.isNull() || target.isEmpty())
        return;
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    if (image.size() != target.size())
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

void TRasterGraphic::Reorient(int orientation)
{
    m_image = decode::ApplyOrientation(m_image, orientation);
    // A reduced decode remembers the whole picture's size: it turns too.
    if (m_fullSize.isValid() && orientation >= 5 && orientation <= 8)
        m_fullSize.transpose();
}
