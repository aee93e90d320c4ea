#pragma once
// A graphic whose decoded form is one raster image.
#include "Graphic.h"

#include <QImage>

class TRasterGraphic : public TGraphic {
public:
    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    QImage ToImage() const override { return m_image; }
    void Reorient(int orientation) override;

    // The decoded pixels as they are held.
    const QImage& Image() const { return m_image; }

protected:
    void SetImage(QImage image) { m_image = std::move(image); }

private:
    QImage m_image;
};
