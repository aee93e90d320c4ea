#pragma once
// A graphic whose decoded form is one raster image.
#include "Graphic.h"

#include <QImage>

class TRasterGraphic : public TGraphic {
public:
    int Width() const override { return m_fullSize.isValid() ? m_fullSize.width() : m_image.width(); }
    int Height() const override { return m_fullSize.isValid() ? m_fullSize.height() : m_image.height(); }
    bool IsReduced() const override { return m_fullSize.isValid() && m_fullSize != m_image.size(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    QImage ToImage() const override { return m_image; }
    void Reorient(int orientation) override;

    // The decoded pixels as they are held.
    const QImage& Image() const { return m_image; }

protected:
    void SetImage(QImage image)
    {
        m_image = std::move(image);
        m_fullSize = QSize();
    }
    // Pixels of a reduced decode of a picture of fullSize.
    void SetReducedImage(QImage image, const QSize& fullSize)
    {
        m_image = std::move(image);
        m_fullSize = fullSize;
    }

private:
    QImage m_image;
    QSize m_fullSize; // invalid: the image is the full picture
};
