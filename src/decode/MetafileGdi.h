#pragma once
// The GDI vocabulary of the metafile players: record constants, map modes,
// colours, fonts, pens and brushes as metafiles describe them, and the
// stock objects. Internal to the decoder.
#include "MetafileGraphic.h"

#include "Dib.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>

#include <cstdint>

namespace decode::metafile {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"

// How much playback state may be saved at once.
constexpr std::size_t kMaxSavedStates = 1024;
// The largest font size (device pixels) the player asks for.
constexpr double kMaxFontPixels = 20000;
// The widest pen the player strokes (device pixels).
constexpr double kMaxPenPixels = 4096;

enum MapMode {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8,
};

enum TextAlign : std::uint32_t {
    TA_UPDATECP = 1,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};

enum ExtTextOptions : std::uint32_t {
    ETO_OPAQUE = 2,
    ETO_CLIPPED = 4,
};

inline QColor ColorRef(std::uint32_t c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

struct LogFont {
    double height = 0; // logical units; negative: character height, positive: cell height
    double width = 0;
    double escapement = 0; // tenths of a degree
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = 1;
    QString face;
};

struct GdiObject {
    enum Kind { Other, Pen, Brush, Font } kind = Other;
    // pen
    bool nullPen = false;
    int penStyle = 0;
    double penWidth = 0;
    QColor penColor = Qt::black;
    // brush
    QBrush brush;
    // font
    LogFont font;
};

struct DcState {
    GdiObject pen;
    GdiObject brush;
    GdiObject font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    bool opaqueBackground = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    std::uint32_t textAlign = 0;
    int mapMode = MM_TEXT;
    QPointF windowOrg{0, 0};
    QPointF windowExt{1, 1};
    QPointF viewportOrg{0, 0};
    QPointF viewportExt{1, 1};
    QTransform world;
    QPointF current{0, 0};
    bool clockwiseArcs = false;
};

inline GdiObject StockObject(std::uint32_t index)
{
    GdiObject o;
    switch (index & 0x7FFFFFFF) {
    case 0:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(Qt::white);
        break;
    case 1:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(QColor(0xC0, 0xC0, 0xC0));
        break;
    case 2:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(QColor(0x80, 0x80, 0x80));
        break;
    case 3:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(QColor(0x40, 0x40, 0x40));
        break;
    case 4:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(Qt::black);
        break;
    case 5:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(Qt::NoBrush);
        break;
    case 6:
        o.kind = GdiObject::Pen;
        o.penColor = Qt::white;
        break;
    case 7:
        o.kind = GdiObject::Pen;
        o.penColor = Qt::black;
        break;
    case 8:
        o.kind = GdiObject::Pen;
        o.nullPen = true;
        break;
    case 18:
        o.kind = GdiObject::Brush;
        o.brush = QBrush(Qt::white);
        break;
    case 19:
        o.kind = GdiObject::Pen;
        o.penColor = Qt::black;
        break;
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17:
        o.kind = GdiObject::Font;
        break;
    default:
        break;
    }
    return o;
}

inline QBrush MakeBrush(std::uint32_t style, QColor color, std::uint32_t hatch)
{
    switch (style) {
    case 0: // BS_SOLID
        return QBrush(color);
    case 1: // BS_NULL
        return QBrush(Qt::NoBrush);
    case 2: { // BS_HATCHED
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(color, hatch < 6 ? hatches[hatch] : Qt::SolidPattern);
    }
    default:
        return QBrush(color);
    }
}

inline QBrush PatternBrush(ByteView dib)
{
    try {
        QImage image = DecodeDib(dib, {}, DibLayout::Packed);
        if (!image.isNull() && image.width() <= 256 && image.height() <= 256)
            return QBrush(image);
    } catch (const EGraphicError&) {
    }
    return QBrush(Qt::gray);
}

} // namespace decode::metafile
