#pragma once
// Windows metafiles (placeable WMF) and enhanced metafiles (EMF), played
// back with QPainter.
#include "DecodeLimits.h"
#include "Graphic.h"

#include <QByteArray>
#include <QRectF>

class QPainter;

namespace decode {

class Metafile {
public:
    Metafile() = default;
    // Reads the header and checks that every record lies inside the data and
    // the end record is present. Raises EGraphicError for data that is not a
    // placeable WMF or an EMF, or whose picture size is empty or too large.
    explicit Metafile(QByteArray data);

    bool IsNull() const { return m_data.isEmpty(); }
    bool Enhanced() const { return m_enhanced; }
    // The picture's size in HIMETRIC units (0.01 mm) and in pixels at 96 dpi.
    int HimetricWidth() const { return m_himetricWidth; }
    int HimetricHeight() const { return m_himetricHeight; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Plays the records scaled into the rectangle. Records that cannot be
    // understood are skipped; playing never raises.
    void Play(QPainter& painter, const QRectF& target) const;
    // Renders into a new ARGB32 image of the given size (transparent where
    // nothing is drawn).
    QImage Render(int width, int height) const;

    // Header data the player needs.
    struct Frame {
        // WMF: the bounding box in logical units.
        double left = 0, top = 0, right = 0, bottom = 0;
        // EMF: reference device pixels per millimetre.
        double pixelsPerMmX = 96 / 25.4, pixelsPerMmY = 96 / 25.4;
    };

private:
    QByteArray m_data;
    bool m_enhanced = false;
    int m_himetricWidth = 0;
    int m_himetricHeight = 0;
    int m_width = 0;
    int m_height = 0;
    Frame m_frame;
};

} // namespace decode

// The platform metafile picture: WMF and EMF files.
class TMetafileGraphic : public TGraphic {
public:
    void LoadFromStream(const QByteArray& data) override;
    int Width() const override { return m_metafile.Width(); }
    int Height() const override { return m_metafile.Height(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    QImage ToImage() const override;

    const decode::Metafile& Metafile() const { return m_metafile; }

    static const TGraphicClassInfo ClassInfo;

private:
    decode::Metafile m_metafile;
    mutable QImage m_rendered; // ToImage() is rendered once
};
