#include "MetafileGraphic.h"

#include "DisplayInfo.h"
#include "Dib.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QStringDecoder>

#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace decode {

namespace {

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

QColor ColorRef(std::uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

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

GdiObject StockObject(std::uint32_t index)
{
    GdiObject o;
    switch (index & 0x7FFFFFFF) {
    case 0: o.kind = GdiObject::Brush; o.brush = QBrush(Qt::white); break;
    case 1: o.kind = GdiObject::Brush; o.brush = QBrush(QColor(0xC0, 0xC0, 0xC0)); break;
    case 2: o.kind = GdiObject::Brush; o.brush = QBrush(QColor(0x80, 0x80, 0x80)); break;
    case 3: o.kind = GdiObject::Brush; o.brush = QBrush(QColor(0x40, 0x40, 0x40)); break;
    case 4: o.kind = GdiObject::Brush; o.brush = QBrush(Qt::black); break;
    case 5: o.kind = GdiObject::Brush; o.brush = QBrush(Qt::NoBrush); break;
    case 6: o.kind = GdiObject::Pen; o.penColor = Qt::white; break;
    case 7: o.kind = GdiObject::Pen; o.penColor = Qt::black; break;
    case 8: o.kind = GdiObject::Pen; o.nullPen = true; break;
    case 18: o.kind = GdiObject::Brush; o.brush = QBrush(Qt::white); break;
    case 19: o.kind = GdiObject::Pen; o.penColor = Qt::black; break;
    case 10: case 11: case 12: case 13: case 14: case 16: case 17:
        o.kind = GdiObject::Font;
        break;
    default:
        break;
    }
    return o;
}

QBrush MakeBrush(std::uint32_t style, QColor color, std::uint32_t hatch)
{
    switch (style) {
    case 0: // BS_SOLID
        return QBrush(color);
    case 1: // BS_NULL
        return QBrush(Qt::NoBrush);
    case 2: { // BS_HATCHED
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(color, hatch < 6 ? hatches[hatch] : Qt::SolidPattern);
    }
    default:
        return QBrush(color);
    }
}

QBrush PatternBrush(ByteView dib)
{
    try {
        QImage image = DecodeDib(dib, {}, DibLayout::Packed);
        if (!image.isNull() && image.width() <= 256 && image.height() <= 256)
            return QBrush(image);
    } catch (const EGraphicError&) {
    }
    return QBrush(Qt::gray);
}

// Plays one metafile onto a painter.
class Player {
public:
    Player(QPainter& painter, const QRectF& target, const Metafile::Frame& frame, bool enhanced)
        : m_painter(painter), m_target(target), m_frame(frame), m_enhanced(enhanced),
          m_outer(painter.transform())
    {
        m_dc.pen.kind = GdiObject::Pen;
        m_dc.brush.kind = GdiObject::Brush;
        m_dc.brush.brush = QBrush(Qt::white);
        m_dc.font.kind = GdiObject::Font;
        if (!enhanced) {
            m_dc.windowOrg = QPointF(frame.left, frame.top);
            m_dc.windowExt = QPointF(frame.right - frame.left, frame.bottom - frame.top);
            m_dc.mapMode = MM_ANISOTROPIC;
        } else {
            // Reference device pixels of the frame onto the target.
            const double l = frame.left * frame.pixelsPerMmX / 100.0;
            const double t = frame.top * frame.pixelsPerMmY / 100.0;
            const double r = frame.right * frame.pixelsPerMmX / 100.0;
            const double b = frame.bottom * frame.pixelsPerMmY / 100.0;
            const double w = r - l, h = b - t;
            m_device = QTransform::fromTranslate(-l, -t);
            m_device *= QTransform::fromScale(w != 0 ? target.width() / w : 1, h != 0 ? target.height() / h : 1);
            m_device *= QTransform::fromTranslate(target.left(), target.top());
        }
        m_painter.save();
        m_painter.setRenderHint(QPainter::Antialiasing, true);
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        UpdateTransform();
    }

    ~Player()
    {
        while (m_savedDepth > 0) {
            m_painter.restore();
            --m_savedDepth;
        }
        m_painter.restore();
    }

    void PlayWmf(ByteView data);
    void PlayEmf(ByteView data);

private:
    // --- state -----------------------------------------------------------
    QTransform PageTransform() const
    {
        const DcState& dc = m_dc;
        if (!m_enhanced) {
            const double ex = dc.windowExt.x() != 0 ? dc.windowExt.x() : 1;
            const double ey = dc.windowExt.y() != 0 ? dc.windowExt.y() : 1;
            QTransform t = QTransform::fromTranslate(-dc.windowOrg.x(), -dc.windowOrg.y());
            t *= QTransform::fromScale(m_target.width() / ex, m_target.height() / ey);
            t *= QTransform::fromTranslate(m_target.left(), m_target.top());
            return t;
        }
        double sx = 1, sy = 1;
        const double mmx = m_frame.pixelsPerMmX, mmy = m_frame.pixelsPerMmY;
        switch (dc.mapMode) {
        case MM_LOMETRIC: sx = mmx * 0.1; sy = -mmy * 0.1; break;
        case MM_HIMETRIC: sx = mmx * 0.01; sy = -mmy * 0.01; break;
        case MM_LOENGLISH: sx = mmx * 0.254; sy = -mmy * 0.254; break;
        case MM_HIENGLISH: sx = mmx * 0.0254; sy = -mmy * 0.0254; break;
        case MM_TWIPS: sx = mmx * 25.4 / 1440; sy = -mmy * 25.4 / 1440; break;
        case MM_ISOTROPIC:
        case MM_ANISOTROPIC: {
            const double wx = dc.windowExt.x() != 0 ? dc.windowExt.x() : 1;
            const double wy = dc.windowExt.y() != 0 ? dc.windowExt.y() : 1;
            sx = dc.viewportExt.x() / wx;
            sy = dc.viewportExt.y() / wy;
            if (dc.mapMode == MM_ISOTROPIC) {
                const double s = std::min(std::abs(sx), std::abs(sy));
                sx = sx < 0 ? -s : s;
                sy = sy < 0 ? -s : s;
            }
            break;
        }
        default:
            break;
        }
        QTransform t = QTransform::fromTranslate(-dc.windowOrg.x(), -dc.windowOrg.y());
        t *= QTransform::fromScale(sx, sy);
        t *= QTransform::fromTranslate(dc.viewportOrg.x(), dc.viewportOrg.y());
        return t;
    }

    void UpdateTransform()
    {
        m_full = m_dc.world * PageTransform() * m_device * m_outer;
        if (!m_full.isInvertible() || !std::isfinite(m_full.m11()) || !std::isfinite(m_full.m22())
            || !std::isfinite(m_full.dx()) || !std::isfinite(m_full.dy()))
            m_valid = false;
        else
            m_valid = true;
        if (m_valid)
            m_painter.setTransform(m_full);
    }

    double ScaleX() const { return std::hypot(m_full.m11(), m_full.m12()); }
    double ScaleY() const { return std::hypot(m_full.m21(), m_full.m22()); }

    void ApplyPen()
    {
        const GdiObject& p = m_dc.pen;
        const int style = p.penStyle & 0x0F;
        if (p.nullPen || style == 5) {
            m_painter.setPen(Qt::NoPen);
            return;
        }
        // GDI pens keep their shape whatever the mapping: the width is taken
        // along x and stroked in device space, so the pen is cosmetic here.
        QPen pen(p.penColor);
        pen.setCosmetic(true);
        const double deviceWidth = p.penWidth * ScaleX();
        pen.setWidthF(std::isfinite(deviceWidth) ? std::clamp(deviceWidth, 1.0, kMaxPenPixels) : 1.0);
        switch (style) {
        case 1: pen.setStyle(Qt::DashLine); break;
        case 2: pen.setStyle(Qt::DotLine); break;
        case 3: pen.setStyle(Qt::DashDotLine); break;
        case 4: pen.setStyle(Qt::DashDotDotLine); break;
        default: pen.setStyle(Qt::SolidLine); break;
        }
        switch (p.penStyle & 0x0F00) {
        case 0x100: pen.setCapStyle(Qt::SquareCap); break;
        case 0x200: pen.setCapStyle(Qt::FlatCap); break;
        default: pen.setCapStyle(Qt::RoundCap); break;
        }
        switch (p.penStyle & 0xF000) {
        case 0x1000: pen.setJoinStyle(Qt::BevelJoin); break;
        case 0x2000: pen.setJoinStyle(Qt::MiterJoin); break;
        default: pen.setJoinStyle(Qt::RoundJoin); break;
        }
        m_painter.setPen(pen);
    }

    void ApplyBrush() { m_painter.setBrush(m_dc.brush.brush); }

    // --- drawing ---------------------------------------------------------
    // Fills and strokes a closed figure, or adds it to the open path.
    void Shape(const QPainterPath& path, bool fill = true)
    {
        if (m_inPath) {
            m_path.addPath(path);
            return;
        }
        if (!m_valid)
            return;
        ApplyPen();
        if (fill)
            ApplyBrush();
        else
            m_painter.setBrush(Qt::NoBrush);
        QPainterPath p = path;
        p.setFillRule(m_dc.fillRule);
        DrawPath(p);
    }

    // Draws with the painter's pen and brush. Geometry reaching far beyond
    // the drawing surface is cut to it first, in device space: the
    // rasterizer's time grows with the whole extent, visible or not.
    void DrawPath(const QPainterPath& path)
    {
        QPaintDevice* device = m_painter.device();
        if (!device) {
            m_painter.drawPath(path);
            return;
        }
        const QRectF limit = QRectF(0, 0, device->width(), device->height()).adjusted(-256, -256, 256, 256);
        const QPainterPath mapped = m_full.map(path);
        if (limit.contains(mapped.controlPointRect())) {
            m_painter.drawPath(path);
            return;
        }
        QPainterPath box;
        box.addRect(limit);
        const QPen pen = m_painter.pen();
        const QBrush brush = m_painter.brush();
        m_painter.save();
        m_painter.setTransform(QTransform());
        if (brush.style() != Qt::NoBrush)
            m_painter.fillPath(mapped.intersected(box), brush);
        if (pen.style() != Qt::NoPen) {
            QPainterPathStroker stroker;
            stroker.setWidth(pen.widthF());
            stroker.setCapStyle(pen.capStyle());
            stroker.setJoinStyle(pen.joinStyle());
            QPainterPath outline = stroker.createStroke(mapped);
            outline.setFillRule(Qt::WindingFill);
            m_painter.fillPath(outline.intersected(box), pen.color());
        }
        m_painter.restore();
    }

    void Polyline(const std::vector<QPointF>& points)
    {
        if (points.size() < 2)
            return;
        QPainterPath path(points[0]);
        for (std::size_t i = 1; i < points.size(); ++i)
            path.lineTo(points[i]);
        if (m_inPath) {
            m_path.moveTo(points[0]);
            for (std::size_t i = 1; i < points.size(); ++i)
                m_path.lineTo(points[i]);
            return;
        }
        Shape(path, false);
    }

    void PolylineTo(const std::vector<QPointF>& points)
    {
        if (points.empty())
            return;
        if (m_inPath) {
            if (m_path.elementCount() == 0)
                m_path.moveTo(m_dc.current);
            for (const QPointF& p : points)
                m_path.lineTo(p);
        } else {
            std::vector<QPointF> all;
            all.reserve(points.size() + 1);
            all.push_back(m_dc.current);
            all.insert(all.end(), points.begin(), points.end());
            Polyline(all);
        }
        m_dc.current = points.back();
    }

    void Polygons(const std::vector<std::vector<QPointF>>& polygons)
    {
        QPainterPath path;
        for (const auto& poly : polygons) {
            if (poly.empty())
                continue;
            path.moveTo(poly[0]);
            for (std::size_t i = 1; i < poly.size(); ++i)
                path.lineTo(poly[i]);
            path.closeSubpath();
        }
        Shape(path);
    }

    void Bezier(const std::vector<QPointF>& points, bool fromCurrent)
    {
        QPainterPath path;
        std::size_t i = 0;
        if (fromCurrent) {
            path.moveTo(m_dc.current);
        } else {
            if (points.empty())
                return;
            path.moveTo(points[0]);
            i = 1;
        }
        for (; i + 2 < points.size(); i += 3)
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
        if (fromCurrent && i > 0)
            m_dc.current = points[i - 1];
        if (m_inPath) {
            m_path.addPath(path);
            return;
        }
        Shape(path, false);
    }

    static QRectF Box(double l, double t, double r, double b)
    {
        return QRectF(QPointF(std::min(l, r), std::min(t, b)), QPointF(std::max(l, r), std::max(t, b)));
    }

    double AngleOf(const QRectF& box, QPointF p) const
    {
        const QPointF c = box.center();
        const double rx = box.width() / 2, ry = box.height() / 2;
        if (rx <= 0 || ry <= 0)
            return 0;
        return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180.0 / M_PI;
    }

    enum class ArcKind { Arc, Chord, Pie, ArcTo };
    void ArcShape(ArcKind kind, const QRectF& box, QPointF start, QPointF end)
    {
        if (box.isEmpty())
            return;
        const double a0 = AngleOf(box, start);
        const double a1 = AngleOf(box, end);
        double span = a1 - a0;
        if (m_dc.clockwiseArcs) {
            if (span >= 0)
                span -= 360;
        } else if (span <= 0) {
            span += 360;
        }
        QPainterPath path;
        if (kind == ArcKind::Pie) {
            path.moveTo(box.center());
            path.arcTo(box, a0, span);
            path.closeSubpath();
        } else if (kind == ArcKind::ArcTo) {
            path.moveTo(m_dc.current);
            QPainterPath arc;
            arc.arcMoveTo(box, a0);
            path.lineTo(arc.currentPosition());
            path.arcTo(box, a0, span);
            m_dc.current = path.currentPosition();
        } else {
            path.arcMoveTo(box, a0);
            path.arcTo(box, a0, span);
            if (kind == ArcKind::Chord)
                path.closeSubpath();
        }
        Shape(path, kind == ArcKind::Chord || kind == ArcKind::Pie);
    }

    void FillRect(const QRectF& r, const QBrush& brush)
    {
        if (!m_valid)
            return;
        QPainterPath path;
        path.addRect(r);
        m_painter.save();
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(brush);
        DrawPath(path);
        m_painter.restore();
    }

    static QPainter::CompositionMode RopMode(std::uint32_t rop)
    {
        switch (rop) {
        case 0x008800C6: return QPainter::RasterOp_SourceAndDestination; // SRCAND
        case 0x00EE0086: return QPainter::RasterOp_SourceOrDestination;  // SRCPAINT
        case 0x00660046: return QPainter::RasterOp_SourceXorDestination; // SRCINVERT
        default: return QPainter::CompositionMode_SourceOver;
        }
    }

    // A raster operation without a source bitmap.
    void PatternBlt(const QRectF& r, std::uint32_t rop)
    {
        switch (rop) {
        case 0x00000042: FillRect(r, QBrush(Qt::black)); break; // BLACKNESS
        case 0x00FF0062: FillRect(r, QBrush(Qt::white)); break; // WHITENESS
        case 0x00AA0029: break;                                   // destination unchanged
        default: FillRect(r, m_dc.brush.brush); break;            // PATCOPY and the rest
        }
    }

    // Draws the part `source` (pixels, top-down) of the image into dest.
    void DrawImage(const QRectF& dest, const QImage& image, QRectF source, std::uint32_t rop)
    {
        if (!m_valid || image.isNull() || dest.width() == 0 || dest.height() == 0)
            return;
        if (source.width() <= 0 || source.height() <= 0)
            source = image.rect();
        m_painter.save();
        m_painter.setCompositionMode(RopMode(rop));
        // Negative extents mirror the picture.
        QTransform mirror;
        mirror.translate(dest.left(), dest.top());
        mirror.scale(dest.width() < 0 ? -1 : 1, dest.height() < 0 ? -1 : 1);
        m_painter.setTransform(mirror * m_painter.transform());
        m_painter.drawImage(QRectF(0, 0, std::abs(dest.width()), std::abs(dest.height())), image, source);
        m_painter.restore();
    }

    void DrawDib(const QRectF& dest, ByteView info, ByteView bits, DibLayout layout, QRectF source,
                 bool originBottomLeft, std::uint32_t rop)
    {
        QImage image;
        try {
            image = DecodeDib(info, bits, layout);
        } catch (const EGraphicError&) {
            return;
        }
        if (originBottomLeft && source.width() > 0 && source.height() > 0)
            source.moveTop(image.height() - source.top() - source.height());
        DrawImage(dest, image, source, rop);
    }

    QFont MakeFont(double& pixelSize) const
    {
        const LogFont& lf = m_dc.font.font;
        QFont font;
        if (!lf.face.isEmpty())
            font.setFamily(lf.face);
        double h = std::abs(lf.height) * ScaleY();
        if (lf.height > 0)
            h *= 0.85; // cell height to character height
        if (lf.height == 0 || !std::isfinite(h))
            h = 12;
        pixelSize = std::clamp(h, 1.0, kMaxFontPixels);
        font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
        font.setWeight(QFont::Weight(std::clamp(lf.weight == 0 ? 400 : lf.weight, 1, 1000)));
        font.setItalic(lf.italic);
        font.setUnderline(lf.underline);
        font.setStrikeOut(lf.strikeOut);
        return font;
    }

    QString DecodeAnsi(ByteView bytes) const
    {
        const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        const char* encoding = nullptr;
        switch (m_dc.font.font.charset) {
        case 128: encoding = "Shift_JIS"; break;
        case 129: encoding = "EUC-KR"; break;
        case 134: encoding = "GBK"; break;
        case 136: encoding = "Big5"; break;
        default: encoding = "windows-1252"; break;
        }
        QStringDecoder decoder(encoding);
        if (decoder.isValid())
            return decoder.decode(raw);
        return QString::fromLatin1(raw);
    }

    void Text(QPointF reference, const QString& text, const std::vector<double>& dx, std::uint32_t options,
              const QRectF& rect, bool haveRect)
    {
        if (!m_valid || m_inPath)
            return;
        const bool updateCp = m_dc.textAlign & TA_UPDATECP;
        if (updateCp)
            reference = m_dc.current;
        if (haveRect && (options & ETO_OPAQUE))
            FillRect(rect, QBrush(m_dc.bkColor));
        if (text.isEmpty())
            return;

        double pixelSize = 12;
        const QFont font = MakeFont(pixelSize);
        const QFontMetricsF metrics(font);
        const double sx = ScaleX();
        double advance = 0;
        std::vector<double> offsets; // device pixels from the reference point
        if (!dx.empty()) {
            for (std::size_t i = 0; i < std::size_t(text.size()); ++i) {
                offsets.push_back(advance);
                advance += (i < dx.size() ? dx[i] : 0) * sx;
            }
        } else {
            advance = metrics.horizontalAdvance(text);
        }
        double x = 0;
        const std::uint32_t horizontal = m_dc.textAlign & TA_CENTER;
        if (horizontal == TA_CENTER)
            x = -advance / 2;
        else if (horizontal == TA_RIGHT)
            x = -advance;
        double baseline = metrics.ascent();
        const std::uint32_t vertical = m_dc.textAlign & TA_BASELINE;
        if (vertical == TA_BASELINE)
            baseline = 0;
        else if (vertical == TA_BOTTOM)
            baseline = -metrics.descent();

        const QPointF device = m_full.map(reference);
        m_painter.save();
        if (haveRect && (options & ETO_CLIPPED))
            m_painter.setClipRect(rect, Qt::IntersectClip);
        QTransform t;
        t.translate(device.x(), device.y());
        t.rotate(-m_dc.font.font.escapement / 10.0);
        const double sy = ScaleY();
        if (sy > 0 && m_dc.font.font.width != 0 && std::isfinite(sx)) {
            const double wanted = std::abs(m_dc.font.font.width) * sx;
            const double natural = metrics.averageCharWidth();
            if (natural > 0 && wanted > 0)
                t.scale(std::clamp(wanted / natural, 0.05, 20.0), 1);
        }
        m_painter.setTransform(t * m_outer);
        m_painter.setFont(font);
        if (m_dc.opaqueBackground)
            m_painter.fillRect(QRectF(x, baseline - metrics.ascent(), advance, metrics.height()), m_dc.bkColor);
        m_painter.setPen(m_dc.textColor);
        if (offsets.empty()) {
            m_painter.drawText(QPointF(x, baseline), text);
        } else {
            for (qsizetype i = 0; i < text.size(); ++i)
                m_painter.drawText(QPointF(x + offsets[std::size_t(i)], baseline), QString(text.at(i)));
        }
        m_painter.restore();
        if (updateCp && sx > 0)
            m_dc.current = m_full.inverted().map(device + QPointF(advance, 0));
    }

    void SaveDc()
    {
        if (m_saved.size() >= kMaxSavedStates)
            return;
        m_saved.push_back(m_dc);
        m_painter.save();
        ++m_savedDepth;
    }

    void RestoreDc(int which)
    {
        // Negative: relative to the current state; positive: absolute.
        std::int64_t target = which < 0 ? std::int64_t(m_saved.size()) + which : std::int64_t(which) - 1;
        if (target < 0 || target >= std::int64_t(m_saved.size()))
            return;
        while (std::int64_t(m_saved.size()) > target) {
            m_dc = m_saved.back();
            m_saved.pop_back();
            m_painter.restore();
            --m_savedDepth;
        }
        UpdateTransform();
    }

    void IntersectClip(const QRectF& r)
    {
        if (m_valid)
            m_painter.setClipRect(r, Qt::IntersectClip);
    }

    void ExcludeClip(const QRectF& r)
    {
        if (!m_valid)
            return;
        QPainterPath whole;
        if (m_painter.hasClipping()) {
            whole = m_painter.clipPath();
        } else {
            const QRectF outer = m_full.inverted().mapRect(QRectF(-1e6, -1e6, 2e6, 2e6));
            whole.addRect(outer);
        }
        QPainterPath cut;
        cut.addRect(r);
        m_painter.setClipPath(whole.subtracted(cut), Qt::ReplaceClip);
    }

    void Select(const GdiObject& o)
    {
        switch (o.kind) {
        case GdiObject::Pen: m_dc.pen = o; break;
        case GdiObject::Brush: m_dc.brush = o; break;
        case GdiObject::Font: m_dc.font = o; break;
        default: break;
        }
    }

    // The rectangles of a RGNDATA block as one path.
    static QPainterPath RegionPath(ByteView data)
    {
        QPainterPath path;
        const std::uint32_t headerSize = data.U32(0);
        const std::size_t count = data.U32(8);
        if (headerSize < 32 || count > data.size() / 16)
            return path;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = headerSize + 16 * i;
            if (!data.Has(at, 16))
                break;
            path.addRect(Box(data.S32(at), data.S32(at + 4), data.S32(at + 8), data.S32(at + 12)));
        }
        path.setFillRule(Qt::WindingFill);
        return path;
    }

    // --- WMF objects -----------------------------------------------------
    void WmfCreate(GdiObject o)
    {
        int slot;
        if (!m_freeSlots.empty()) {
            slot = *m_freeSlots.begin();
            m_freeSlots.erase(m_freeSlots.begin());
        } else {
            if (m_nextSlot >= 0xFFFF)
                return;
            slot = m_nextSlot++;
        }
        m_objects[std::uint32_t(slot)] = std::move(o);
    }

    void WmfDelete(std::uint32_t index)
    {
        if (m_objects.erase(index))
            m_freeSlots.insert(int(index));
    }

    QPainter& m_painter;
    QRectF m_target;
    Metafile::Frame m_frame;
    bool m_enhanced;
    QTransform m_outer;
    QTransform m_device;
    QTransform m_full;
    bool m_valid = true;
    DcState m_dc;
    std::vector<DcState> m_saved;
    int m_savedDepth = 0;
    std::map<std::uint32_t, GdiObject> m_objects;
    std::set<int> m_freeSlots;
    int m_nextSlot = 0;
    bool m_inPath = false;
    QPainterPath m_path;
};

// --- WMF ---------------------------------------------------------------

LogFont ReadWmfFont(ByteView p)
{
    LogFont f;
    f.height = p.S16(0);
    f.width = p.S16(2);
    f.escapement = p.S16(4);
    f.weight = p.S16(8);
    f.italic = p.U8(10);
    f.underline = p.U8(11);
    f.strikeOut = p.U8(12);
    f.charset = p.U8(13);
    QByteArray face;
    for (std::size_t i = 18; i < 18 + 32 && p.Has(i, 1) && p.U8(i); ++i)
        face.append(char(p.U8(i)));
    QStringDecoder decoder(f.charset == 128 ? "Shift_JIS" : "windows-1252");
    f.face = decoder.isValid() ? decoder.decode(face) : QString::fromLatin1(face);
    return f;
}

void Player::PlayWmf(ByteView data)
{
    std::size_t pos = 0;
    if (data.U32(0) == kPlaceableKey)
        pos = 22;
    const std::size_t headerWords = data.U16(pos + 2);
    pos += headerWords * 2;
    while (data.Has(pos, 6)) {
        const std::uint64_t words = data.U32(pos);
        const std::uint16_t function = data.U16(pos + 4);
        if (words < 3 || words * 2 > data.size() - pos)
            break;
        const ByteView p = data.Sub(pos + 6, std::size_t(words * 2 - 6));
        pos += std::size_t(words * 2);
        auto pt = [&](std::size_t yAt, std::size_t xAt) { return QPointF(p.S16(xAt), p.S16(yAt)); };
        auto points = [&](std::size_t at, std::size_t count) {
            std::vector<QPointF> v;
            count = std::min<std::size_t>(count, p.size() > at ? (p.size() - at) / 4 : 0);
            v.reserve(count);
            for (std::size_t i = 0; i < count; ++i)
                v.emplace_back(p.S16(at + 4 * i), p.S16(at + 4 * i + 2));
            return v;
        };
        switch (function) {
        case 0x0000: // EOF
            return;
        case 0x001E: SaveDc(); break;
        case 0x0127: RestoreDc(p.S16(0)); break;
        case 0x0102: m_dc.opaqueBackground = p.U16(0) == 2; break;
        case 0x0106: m_dc.fillRule = p.U16(0) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
        case 0x012E: m_dc.textAlign = p.U16(0); break;
        case 0x0201: m_dc.bkColor = ColorRef(p.U32(0)); break;
        case 0x0209: m_dc.textColor = ColorRef(p.U32(0)); break;
        case 0x020B: m_dc.windowOrg = pt(0, 2); UpdateTransform(); break;
        case 0x020C: m_dc.windowExt = pt(0, 2); UpdateTransform(); break;
        case 0x020F: m_dc.windowOrg += pt(0, 2); UpdateTransform(); break;
        case 0x0410: { // SCALEWINDOWEXT: yDenom, yNum, xDenom, xNum
            const double yd = p.S16(0), yn = p.S16(2), xd = p.S16(4), xn = p.S16(6);
            if (xd != 0 && yd != 0)
                m_dc.windowExt = QPointF(m_dc.windowExt.x() * xn / xd, m_dc.windowExt.y() * yn / yd);
            UpdateTransform();
            break;
        }
        case 0x0214: m_dc.current = pt(0, 2); break;
        case 0x0213: {
            const QPointF to = pt(0, 2);
            Polyline({m_dc.current, to});
            m_dc.current = to;
            break;
        }
        case 0x041B: { // RECTANGLE
            QPainterPath path;
            path.addRect(Box(p.S16(6), p.S16(4), p.S16(2), p.S16(0)));
            Shape(path);
            break;
        }
        case 0x061C: { // ROUNDRECT: height, width, bottom, right, top, left
            QPainterPath path;
            path.addRoundedRect(Box(p.S16(10), p.S16(8), p.S16(6), p.S16(4)), std::abs(p.S16(2)) / 2.0,
                                std::abs(p.S16(0)) / 2.0);
            Shape(path);
            break;
        }
        case 0x0418: { // ELLIPSE
            QPainterPath path;
            path.addEllipse(Box(p.S16(6), p.S16(4), p.S16(2), p.S16(0)));
            Shape(path);
            break;
        }
        case 0x0817: case 0x081A: case 0x0830: { // ARC, PIE, CHORD
            const ArcKind kind = function == 0x0817 ? ArcKind::Arc : function == 0x081A ? ArcKind::Pie : ArcKind::Chord;
            ArcShape(kind, Box(p.S16(14), p.S16(12), p.S16(10), p.S16(8)), pt(6, 4), pt(2, 0));
            break;
        }
        case 0x0324: // POLYGON
            Polygons({points(2, p.U16(0))});
            break;
        case 0x0325: // POLYLINE
            Polyline(points(2, p.U16(0)));
            break;
        case 0x0538: { // POLYPOLYGON
            const std::size_t n = p.U16(0);
            std::size_t at = 2 + 2 * n;
            std::vector<std::vector<QPointF>> polys;
            for (std::size_t i = 0; i < n && p.Has(2 + 2 * i, 2); ++i) {
                const std::size_t count = p.U16(2 + 2 * i);
                polys.push_back(points(at, count));
                at += 4 * count;
                if (at > p.size())
                    break;
            }
            Polygons(polys);
            break;
        }
        case 0x041F: // SETPIXEL: color, y, x
            FillRect(QRectF(pt(4, 6), QSizeF(1, 1)), QBrush(ColorRef(p.U32(0))));
            break;
        case 0x0521: { // TEXTOUT: count, string, y, x
            const std::size_t count = p.U16(0);
            const std::size_t padded = (count + 1) & ~std::size_t(1);
            if (!p.Has(2, padded + 4))
                break;
            Text(pt(2 + padded, 4 + padded), DecodeAnsi(p.Sub(2, count)), {}, 0, {}, false);
            break;
        }
        case 0x0A32: { // EXTTEXTOUT: y, x, count, options, [rect], string, [dx]
            const QPointF at = pt(0, 2);
            const std::size_t count = p.U16(4);
            const std::uint32_t options = p.U16(6);
            std::size_t s = 8;
            QRectF rect;
            bool haveRect = false;
            if ((options & (ETO_OPAQUE | ETO_CLIPPED)) && p.Has(8, 8)) {
                rect = Box(p.S16(8), p.S16(10), p.S16(12), p.S16(14));
                haveRect = true;
                s = 16;
            }
            const ByteView bytes = p.Sub(s, count);
            std::vector<double> dx;
            const std::size_t dxAt = s + ((count + 1) & ~std::size_t(1));
            if (p.Has(dxAt, count * 2)) {
                for (std::size_t i = 0; i < count; ++i)
                    dx.push_back(p.S16(dxAt + 2 * i));
            }
            QString text = DecodeAnsi(bytes);
            if (std::size_t(text.size()) != count)
                dx.clear(); // multi-byte text: the spacing is per byte
            Text(at, text, dx, options, rect, haveRect);
            break;
        }
        case 0x02FA: { // CREATEPENINDIRECT
            GdiObject o;
            o.kind = GdiObject::Pen;
            o.penStyle = p.U16(0);
            o.penWidth = std::abs(p.S16(2));
            o.penColor = ColorRef(p.U32(6));
            WmfCreate(o);
            break;
        }
        case 0x02FC: { // CREATEBRUSHINDIRECT
            GdiObject o;
            o.kind = GdiObject::Brush;
            o.brush = MakeBrush(p.U16(0), ColorRef(p.U32(2)), p.U16(6));
            WmfCreate(o);
            break;
        }
        case 0x02FB: { // CREATEFONTINDIRECT
            GdiObject o;
            o.kind = GdiObject::Font;
            o.font = ReadWmfFont(p);
            WmfCreate(o);
            break;
        }
        case 0x0142: { // DIBCREATEPATTERNBRUSH
            GdiObject o;
            o.kind = GdiObject::Brush;
            o.brush = PatternBrush(p.From(4));
            WmfCreate(o);
            break;
        }
        case 0x00F7: case 0x01F9: case 0x06FF: // palettes, old pattern brushes, regions
            WmfCreate(GdiObject());
            break;
        case 0x012D: { // SELECTOBJECT
            auto it = m_objects.find(p.U16(0));
            if (it != m_objects.end())
                Select(it->second);
            break;
        }
        case 0x01F0: WmfDelete(p.U16(0)); break;
        case 0x0416: IntersectClip(Box(p.S16(6), p.S16(4), p.S16(2), p.S16(0))); break;
        case 0x0415: ExcludeClip(Box(p.S16(6), p.S16(4), p.S16(2), p.S16(0))); break;
        case 0x061D: // PATBLT: rop, height, width, y, x
            PatternBlt(QRectF(pt(8, 10), QSizeF(p.S16(6), p.S16(4))).normalized(), p.U32(0));
            break;
        case 0x0B41: { // DIBSTRETCHBLT: rop, srcH, srcW, ySrc, xSrc, destH, destW, yDest, xDest, [reserved], DIB
            const std::uint32_t rop = p.U32(0);
            const bool withBitmap = p.size() > 22 && p.U32(20) >= 12; // a DIB header size follows the fields
            if (!withBitmap) {
                PatternBlt(QRectF(p.S16(18), p.S16(16), p.S16(14), p.S16(12)).normalized(), rop);
                break;
            }
            const QRectF dest(p.S16(18), p.S16(16), p.S16(14), p.S16(12));
            const QRectF source(p.S16(10), p.S16(8), p.S16(6), p.S16(4));
            DrawDib(dest, p.From(20), {}, DibLayout::Packed, source, false, rop);
            break;
        }
        case 0x0940: { // DIBBITBLT: rop, ySrc, xSrc, height, width, yDest, xDest, DIB
            const std::uint32_t rop = p.U32(0);
            const bool withBitmap = p.size() > 18 && p.U32(16) >= 12;
            if (!withBitmap) {
                PatternBlt(QRectF(p.S16(16), p.S16(14), p.S16(12), p.S16(10)).normalized(), rop);
                break;
            }
            const QRectF dest(p.S16(14), p.S16(12), p.S16(10), p.S16(8));
            const QRectF source(p.S16(6), p.S16(4), p.S16(10), p.S16(8));
            DrawDib(dest, p.From(16), {}, DibLayout::Packed, source, false, rop);
            break;
        }
        case 0x0F43: { // STRETCHDIB: rop, usage, srcH, srcW, ySrc, xSrc, destH, destW, yDest, xDest, DIB
            const QRectF dest(p.S16(20), p.S16(18), p.S16(16), p.S16(14));
            const QRectF source(p.S16(12), p.S16(10), p.S16(8), p.S16(6));
            DrawDib(dest, p.From(22), {}, DibLayout::Packed, source, true, p.U32(0));
            break;
        }
        case 0x0D33: { // SETDIBTODEV: usage, scans, start, yDib, xDib, height, width, yDest, xDest, DIB
            const QRectF dest(p.S16(16), p.S16(14), p.S16(12), p.S16(10));
            const QRectF source(p.S16(8), p.S16(6), p.S16(12), p.S16(10));
            DrawDib(dest, p.From(18), {}, DibLayout::Packed, source, true, 0x00CC0020);
            break;
        }
        default:
            break; // viewport, palette, region and escape records change nothing we draw
        }
    }
}

// --- EMF ---------------------------------------------------------------

LogFont ReadEmfFont(ByteView p)
{
    LogFont f;
    f.height = p.S32(0);
    f.width = p.S32(4);
    f.escapement = p.S32(8);
    f.weight = p.S32(16);
    f.italic = p.U8(20);
    f.underline = p.U8(21);
    f.strikeOut = p.U8(22);
    f.charset = p.U8(23);
    for (std::size_t i = 0; i < 32 && p.Has(28 + 2 * i, 2); ++i) {
        const char16_t c = char16_t(p.U16(28 + 2 * i));
        if (!c)
            break;
        f.face.append(QChar(c));
    }
    return f;
}

void Player::PlayEmf(ByteView data)
{
    std::size_t pos = 0;
    while (data.Has(pos, 8)) {
        const std::uint32_t type = data.U32(pos);
        const std::uint32_t size = data.U32(pos + 4);
        if (size < 8 || size > data.size() - pos)
            break;
        const ByteView r = data.Sub(pos, size); // offsets below count from the record start
        pos += size;
        auto pt32 = [&](std::size_t at) { return QPointF(r.S32(at), r.S32(at + 4)); };
        auto box32 = [&](std::size_t at) { return Box(r.S32(at), r.S32(at + 4), r.S32(at + 8), r.S32(at + 12)); };
        auto points = [&](std::size_t at, std::size_t count, bool small) {
            std::vector<QPointF> v;
            const std::size_t each = small ? 4 : 8;
            count = std::min<std::size_t>(count, r.size() > at ? (r.size() - at) / each : 0);
            v.reserve(count);
            for (std::size_t i = 0; i < count; ++i) {
                if (small)
                    v.emplace_back(r.S16(at + 4 * i), r.S16(at + 4 * i + 2));
                else
                    v.emplace_back(r.S32(at + 8 * i), r.S32(at + 8 * i + 4));
            }
            return v;
        };
        auto polyPoly = [&](bool small) {
            const std::size_t n = r.U32(24);
            std::vector<std::vector<QPointF>> polys;
            if (n > r.size() / 4)
                return polys;
            std::size_t at = 32 + 4 * n;
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t count = r.U32(32 + 4 * i);
                if (count > r.size())
                    break;
                polys.push_back(points(at, count, small));
                at += count * (small ? 4 : 8);
                if (at > r.size())
                    break;
            }
            return polys;
        };

        switch (type) {
        case 14: // EOF
            return;
        case 2: case 85: Bezier(points(28, r.U32(24), type == 85), false); break;
        case 3: case 86: Polygons({points(28, r.U32(24), type == 86)}); break;
        case 4: case 87: Polyline(points(28, r.U32(24), type == 87)); break;
        case 5: case 88: Bezier(points(28, r.U32(24), type == 88), true); break;
        case 6: case 89: PolylineTo(points(28, r.U32(24), type == 89)); break;
        case 7: case 90:
            for (const auto& line : polyPoly(type == 90))
                Polyline(line);
            break;
        case 8: case 91: Polygons(polyPoly(type == 91)); break;
        case 9: m_dc.windowExt = pt32(8); UpdateTransform(); break;
        case 10: m_dc.windowOrg = pt32(8); UpdateTransform(); break;
        case 11: m_dc.viewportExt = pt32(8); UpdateTransform(); break;
        case 12: m_dc.viewportOrg = pt32(8); UpdateTransform(); break;
        case 15: FillRect(QRectF(pt32(8), QSizeF(1, 1)), QBrush(ColorRef(r.U32(16)))); break;
        case 17: m_dc.mapMode = int(r.U32(8)); UpdateTransform(); break;
        case 18: m_dc.opaqueBackground = r.U32(8) == 2; break;
        case 19: m_dc.fillRule = r.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
        case 22: m_dc.textAlign = r.U32(8); break;
        case 24: m_dc.textColor = ColorRef(r.U32(8)); break;
        case 25: m_dc.bkColor = ColorRef(r.U32(8)); break;
        case 27: m_dc.current = pt32(8); if (m_inPath) m_path.moveTo(m_dc.current); break;
        case 29: ExcludeClip(box32(8)); break;
        case 30: IntersectClip(box32(8)); break;
        case 31: case 32: { // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX: xNum, xDenom, yNum, yDenom
            const double xn = r.S32(8), xd = r.S32(12), yn = r.S32(16), yd = r.S32(20);
            if (xd != 0 && yd != 0) {
                QPointF& ext = type == 31 ? m_dc.viewportExt : m_dc.windowExt;
                ext = QPointF(ext.x() * xn / xd, ext.y() * yn / yd);
                UpdateTransform();
            }
            break;
        }
        case 33: SaveDc(); break;
        case 34: RestoreDc(r.S32(8)); break;
        case 35: case 36: { // SETWORLDTRANSFORM, MODIFYWORLDTRANSFORM
            if (!r.Has(8, 24))
                break;
            float f[6];
            for (int i = 0; i < 6; ++i) {
                const std::uint32_t bits = r.U32(8 + 4 * std::size_t(i));
                std::memcpy(&f[i], &bits, 4);
                if (!std::isfinite(f[i]))
                    f[i] = 0;
            }
            const QTransform x(f[0], f[1], f[2], f[3], f[4], f[5]);
            if (type == 35) {
                m_dc.world = x;
            } else {
                switch (r.U32(32)) {
                case 1: m_dc.world = QTransform(); break;     // MWT_IDENTITY
                case 2: m_dc.world = x * m_dc.world; break;   // MWT_LEFTMULTIPLY
                case 3: m_dc.world = m_dc.world * x; break;   // MWT_RIGHTMULTIPLY
                case 4: m_dc.world = x; break;                // MWT_SET
                default: break;
                }
            }
            UpdateTransform();
            break;
        }
        case 37: { // SELECTOBJECT
            const std::uint32_t index = r.U32(8);
            if (index & 0x80000000u) {
                Select(StockObject(index));
            } else {
                auto it = m_objects.find(index);
                if (it != m_objects.end())
                    Select(it->second);
            }
            break;
        }
        case 38: { // CREATEPEN: ihPen, style, width.x, width.y, color
            GdiObject o;
            o.kind = GdiObject::Pen;
            o.penStyle = int(r.U32(12));
            o.penWidth = std::abs(double(r.S32(16)));
            o.penColor = ColorRef(r.U32(24));
            m_objects[r.U32(8)] = o;
            break;
        }
        case 95: { // EXTCREATEPEN: ihPen, offBmi, cbBmi, offBits, cbBits, style, width, brushStyle, color
            GdiObject o;
            o.kind = GdiObject::Pen;
            o.penStyle = int(r.U32(28));
            o.penWidth = (r.U32(28) & 0x00010000) ? double(r.U32(32)) : 0; // geometric pens only
            o.penColor = ColorRef(r.U32(40));
            if (r.U32(36) == 1)
                o.nullPen = true;
            m_objects[r.U32(8)] = o;
            break;
        }
        case 39: { // CREATEBRUSHINDIRECT: ihBrush, style, color, hatch
            GdiObject o;
            o.kind = GdiObject::Brush;
            o.brush = MakeBrush(r.U32(12), ColorRef(r.U32(16)), r.U32(20));
            m_objects[r.U32(8)] = o;
            break;
        }
        case 94: { // CREATEDIBPATTERNBRUSHPT: ihBrush, usage, offBmi, cbBmi, offBits, cbBits
            GdiObject o;
            o.kind = GdiObject::Brush;
            QImage image;
            try {
                image = DecodeDib(r.Sub(r.U32(16), r.U32(20)), r.Sub(r.U32(24), r.U32(28)), DibLayout::Separate);
            } catch (const EGraphicError&) {
            }
            o.brush = !image.isNull() && image.width() <= 256 && image.height() <= 256 ? QBrush(image)
                                                                                        : QBrush(Qt::gray);
            m_objects[r.U32(8)] = o;
            break;
        }
        case 82: { // EXTCREATEFONTINDIRECTW
            GdiObject o;
            o.kind = GdiObject::Font;
            o.font = ReadEmfFont(r.From(12));
            m_objects[r.U32(8)] = o;
            break;
        }
        case 40: m_objects.erase(r.U32(8)); break;
        case 49: case 93: // palettes, monochrome brushes: keep the slot
            m_objects[r.U32(8)] = GdiObject();
            break;
        case 42: { QPainterPath path; path.addEllipse(box32(8)); Shape(path); break; }
        case 43: { QPainterPath path; path.addRect(box32(8)); Shape(path); break; }
        case 44: { // ROUNDRECT: box, corner size
            QPainterPath path;
            path.addRoundedRect(box32(8), std::abs(r.S32(24)) / 2.0, std::abs(r.S32(28)) / 2.0);
            Shape(path);
            break;
        }
        case 45: ArcShape(ArcKind::Arc, box32(8), pt32(24), pt32(32)); break;
        case 46: ArcShape(ArcKind::Chord, box32(8), pt32(24), pt32(32)); break;
        case 47: ArcShape(ArcKind::Pie, box32(8), pt32(24), pt32(32)); break;
        case 55: ArcShape(ArcKind::ArcTo, box32(8), pt32(24), pt32(32)); break;
        case 54: { // LINETO
            const QPointF to = pt32(8);
            if (m_inPath) {
                if (m_path.elementCount() == 0)
                    m_path.moveTo(m_dc.current);
                m_path.lineTo(to);
            } else {
                Polyline({m_dc.current, to});
            }
            m_dc.current = to;
            break;
        }
        case 57: m_dc.clockwiseArcs = r.U32(8) == 2; break;
        case 59: m_inPath = true; m_path = QPainterPath(); break; // BEGINPATH
        case 60: m_inPath = false; break;                         // ENDPATH
        case 61: if (m_inPath) m_path.closeSubpath(); break;      // CLOSEFIGURE
        case 68: m_inPath = false; m_path = QPainterPath(); break; // ABORTPATH
        case 62: case 63: case 64: { // FILLPATH, STROKEANDFILLPATH, STROKEPATH
            if (m_inPath || !m_valid)
                break;
            QPainterPath path = m_path;
            path.setFillRule(m_dc.fillRule);
            if (type == 62)
                m_painter.setPen(Qt::NoPen);
            else
                ApplyPen();
            if (type == 64)
                m_painter.setBrush(Qt::NoBrush);
            else
                ApplyBrush();
            DrawPath(path);
            m_path = QPainterPath();
            break;
        }
        case 67: // SELECTCLIPPATH
            if (m_valid && !m_inPath)
                m_painter.setClipPath(m_path, r.U32(8) == 5 ? Qt::ReplaceClip : Qt::IntersectClip);
            m_path = QPainterPath();
            break;
        case 75: { // EXTSELECTCLIPRGN: cbRgnData, mode, region (device units)
            const std::uint32_t mode = r.U32(12);
            if (r.U32(8) == 0) {
                if (mode == 5) // RGN_COPY of no region: no clipping
                    m_painter.setClipping(false);
                break;
            }
            if (!m_valid)
                break;
            const QPainterPath device = RegionPath(r.Sub(16, r.U32(8)));
            // Region coordinates are device units: bring them into the current space.
            const QPainterPath logical = (m_device * m_outer * m_full.inverted()).map(device);
            switch (mode) {
            case 1: m_painter.setClipPath(logical, Qt::IntersectClip); break; // RGN_AND
            case 5: m_painter.setClipPath(logical, Qt::ReplaceClip); break;   // RGN_COPY
            case 2: // RGN_OR
                if (m_painter.hasClipping())
                    m_painter.setClipPath(m_painter.clipPath().united(logical), Qt::ReplaceClip);
                break;
            case 4: // RGN_DIFF
                if (m_painter.hasClipping())
                    m_painter.setClipPath(m_painter.clipPath().subtracted(logical), Qt::ReplaceClip);
                break;
            default:
                break;
            }
            break;
        }
        case 71: case 74: { // FILLRGN (with a brush), PAINTRGN (current brush)
            if (!m_valid)
                break;
            // bounds, cbRgnData, [ihBrush], region (logical units)
            QBrush brush = m_dc.brush.brush;
            std::size_t at = 28;
            if (type == 71) {
                const std::uint32_t index = r.U32(28);
                if (index & 0x80000000u) {
                    brush = StockObject(index).brush;
                } else {
                    auto it = m_objects.find(index);
                    if (it != m_objects.end() && it->second.kind == GdiObject::Brush)
                        brush = it->second.brush;
                }
                at = 32;
            }
            const QPainterPath region = RegionPath(r.Sub(at, r.U32(24)));
            m_painter.save();
            m_painter.setPen(Qt::NoPen);
            m_painter.setBrush(brush);
            DrawPath(region);
            m_painter.restore();
            break;
        }
        case 76: case 77: case 114: { // BITBLT, STRETCHBLT, ALPHABLEND
            const QRectF dest(r.S32(24), r.S32(28), r.S32(32), r.S32(36));
            const std::uint32_t rop = type == 114 ? 0x00CC0020 : r.U32(40);
            const std::uint32_t cbBmi = r.U32(88);
            if (cbBmi == 0 || r.size() < 100) {
                PatternBlt(dest.normalized(), rop);
                break;
            }
            QRectF source(r.S32(44), r.S32(48), r.S32(32), r.S32(36));
            if (type != 76)
                source.setSize(QSizeF(r.S32(100), r.S32(104)));
            DrawDib(dest, r.Sub(r.U32(84), cbBmi), r.Sub(r.U32(92), r.U32(96)), DibLayout::Separate, source, false,
                    rop);
            break;
        }
        case 81: { // STRETCHDIBITS
            const QRectF dest(r.S32(24), r.S32(28), r.S32(72), r.S32(76));
            const QRectF source(r.S32(32), r.S32(36), r.S32(40), r.S32(44));
            if (r.U32(52) == 0) {
                PatternBlt(dest.normalized(), r.U32(68));
                break;
            }
            DrawDib(dest, r.Sub(r.U32(48), r.U32(52)), r.Sub(r.U32(56), r.U32(60)), DibLayout::Separate, source,
                    true, r.U32(68));
            break;
        }
        case 80: { // SETDIBITSTODEVICE
            const QRectF dest(r.S32(24), r.S32(28), r.S32(40), r.S32(44));
            const QRectF source(r.S32(32), r.S32(36), r.S32(40), r.S32(44));
            DrawDib(dest, r.Sub(r.U32(48), r.U32(52)), r.Sub(r.U32(56), r.U32(60)), DibLayout::Separate, source,
                    true, 0x00CC0020);
            break;
        }
        case 83: case 84: { // EXTTEXTOUTA, EXTTEXTOUTW
            // rclBounds, graphicsMode, exScale, eyScale, then EMRTEXT at 36
            const QPointF reference = pt32(36);
            const std::size_t count = r.U32(44);
            const std::size_t offString = r.U32(48);
            const std::uint32_t options = r.U32(52);
            const QRectF rect = box32(56);
            const std::size_t offDx = r.U32(72);
            if (count > r.size())
                break;
            QString text;
            if (type == 84) {
                const ByteView s = r.Sub(offString, count * 2);
                for (std::size_t i = 0; i + 1 < s.size(); i += 2)
                    text.append(QChar(char16_t(Le16(s.data() + i))));
            } else {
                text = DecodeAnsi(r.Sub(offString, count));
            }
            std::vector<double> dx;
            if (offDx && r.Has(offDx, count * 4) && std::size_t(text.size()) == count) {
                for (std::size_t i = 0; i < count; ++i)
                    dx.push_back(r.S32(offDx + 4 * i));
            }
            Text(reference, text, dx, options, rect, !rect.isEmpty());
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

Metafile::Metafile(QByteArray data)
{
    const ByteView v(data);
    if (v.size() < 8)
        Fail(QStringLiteral("メタファイルのデータが短すぎます"));
    std::int64_t himetricW = 0, himetricH = 0;
    if (v.U32(0) == 1) { // enhanced metafile
        const std::uint32_t headerSize = v.U32(4);
        if (headerSize < 88 || !v.Has(0, headerSize) || v.U32(40) != kEmfSignature)
            Fail(QStringLiteral("EMF のヘッダーが不正です"));
        m_enhanced = true;
        const std::int64_t fl = v.S32(24), ft = v.S32(28), fr = v.S32(32), fb = v.S32(36);
        const std::int64_t devW = v.S32(72), devH = v.S32(76), mmW = v.S32(80), mmH = v.S32(84);
        if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) {
            m_frame.pixelsPerMmX = double(devW) / double(mmW);
            m_frame.pixelsPerMmY = double(devH) / double(mmH);
        }
        himetricW = fr - fl;
        himetricH = fb - ft;
        m_frame.left = double(fl);
        m_frame.top = double(ft);
        m_frame.right = double(fr);
        m_frame.bottom = double(fb);
        // Every record must lie inside the data, ending with EMR_EOF.
        std::size_t pos = 0;
        bool ended = false;
        while (v.Has(pos, 8)) {
            const std::uint32_t type = v.U32(pos);
            const std::uint32_t size = v.U32(pos + 4);
            if (size < 8 || size % 4 != 0 || size > v.size() - pos)
                break;
            pos += size;
            if (type == 14) {
                ended = true;
                break;
            }
        }
        if (!ended)
            Fail(QStringLiteral("EMF のレコードが途中で切れています"));
    } else if (v.U32(0) == kPlaceableKey) {
        if (!v.Has(0, 22 + 18))
            Fail(QStringLiteral("WMF のヘッダーが足りません"));
        const std::int64_t left = v.S16(6), top = v.S16(8), right = v.S16(10), bottom = v.S16(12);
        const std::int64_t inch = v.U16(14);
        if (inch == 0)
            Fail(QStringLiteral("WMF の単位が不正です"));
        const std::uint16_t type = v.U16(22);
        const std::uint16_t headerWords = v.U16(24);
        if ((type != 1 && type != 2) || headerWords != 9)
            Fail(QStringLiteral("WMF のヘッダーが不正です"));
        himetricW = MulDiv(int(std::abs(right - left)), 2540, int(inch));
        himetricH = MulDiv(int(std::abs(bottom - top)), 2540, int(inch));
        m_frame.left = double(left);
        m_frame.top = double(top);
        m_frame.right = double(right);
        m_frame.bottom = double(bottom);
        std::size_t pos = 22 + 18;
        bool ended = false;
        while (v.Has(pos, 6)) {
            const std::uint64_t words = v.U32(pos);
            const std::uint16_t function = v.U16(pos + 4);
            if (words < 3 || words * 2 > v.size() - pos)
                break;
            pos += std::size_t(words * 2);
            if (function == 0) {
                ended = true;
                break;
            }
        }
        if (!ended)
            Fail(QStringLiteral("WMF のレコードが途中で切れています"));
    } else {
        Fail(QStringLiteral("メタファイルではありません"));
    }
    if (himetricW <= 0 || himetricH <= 0 || himetricW > INT32_MAX || himetricH > INT32_MAX)
        Fail(QStringLiteral("メタファイルの大きさが不正です"));
    m_himetricWidth = int(himetricW);
    m_himetricHeight = int(himetricH);
    m_width = HimetricToPixels(m_himetricWidth);
    m_height = HimetricToPixels(m_himetricHeight);
    CheckImageSize(m_width, m_height);
    m_data = std::move(data);
}

void Metafile::Play(QPainter& painter, const QRectF& target) const
{
    if (m_data.isEmpty() || !target.isValid())
        return;
    Player player(painter, target, m_frame, m_enhanced);
    if (m_enhanced)
        player.PlayEmf(ByteView(m_data));
    else
        player.PlayWmf(ByteView(m_data));
}

QImage Metafile::Render(int width, int height) const
{
    QImage image = AllocateImage(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Play(painter, QRectF(0, 0, width, height));
    painter.end();
    return image;
}

} // namespace decode

const TGraphicClassInfo TMetafileGraphic::ClassInfo = {
    "TMetafile", [] { return std::unique_ptr<TGraphic>(new TMetafileGraphic); }};

void TMetafileGraphic::LoadFromStream(const QByteArray& data)
{
    m_metafile = decode::Metafile(data);
    m_rendered = QImage();
}

void TMetafileGraphic::Draw(QPainter& painter, const QRect& target) const
{
    m_metafile.Play(painter, QRectF(target));
}

QImage TMetafileGraphic::ToImage() const
{
    if (m_metafile.IsNull())
        return {};
    if (m_rendered.isNull())
        m_rendered = m_metafile.Render(m_metafile.Width(), m_metafile.Height());
    return m_rendered;
}
