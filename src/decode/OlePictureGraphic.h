#pragma once
// The graphic registered for files without an extension: loading does
// nothing and leaves it empty (0 x 0).
#include "Graphic.h"

class TOleGraphic : public TGraphic {
public:
    void LoadFromFile(const QString&) override {}
    void LoadFromStream(const QByteArray&) override {}
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    void Draw(QPainter&, const QRect&) const override {}
    QImage ToImage() const override { return {}; }

    static const TGraphicClassInfo ClassInfo;
};
