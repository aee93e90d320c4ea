#include "RasterGraphic.h"

#include <QPainter>

void TRasterGraphic::Draw(QPainter& painter, const QRect& target) const
{
    const QImage image = ToImage();
    if (image.isNull() || target.isEmpty())
        return;
    painter.drawImage(target, image);
}
