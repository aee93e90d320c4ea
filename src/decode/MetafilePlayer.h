#pragma once
// The metafile player shared by the WMF and EMF record players: drawing
// state and the painter operations the records map onto (the GDI objects
// are in MetafileGdi.h).
// Internal to the decoder.
#include "MetafileGdi.h"
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

namespace decode::metafile {

// Plays one metafile onto a painter.
class Player {
public:
    Player(QPainter& painter, const QRectF& target, const Metafile::Frame& frame, bool enhanced)
        : m_painter(painter),
          m_target(target),
          m_frame(frame),
          m_enhanced(enhanced),
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
        case MM_LOMETRIC:
            sx = mmx * 0.1;
            sy = -mmy * 0.1;
            break;
        case MM_HIMETRIC:
            sx = mmx * 0.01;
            sy = -mmy * 0.01;
            break;
        case MM_LOENGLISH:
            sx = mmx * 0.254;
            sy = -mmy * 0.254;
            break;
        case MM_HIENGLISH:
            sx = mmx * 0.0254;
            sy = -mmy * 0.0254;
            break;
        case MM_TWIPS:
            sx = mmx * 25.4 / 1440;
            sy = -mmy * 25.4 / 1440;
            break;
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
        case 1:
            pen.setStyle(Qt::DashLine);
            break;
        case 2:
            pen.setStyle(Qt::DotLine);
            break;
        case 3:
            pen.setStyle(Qt::DashDotLine);
            break;
        case 4:
            pen.setStyle(Qt::DashDotDotLine);
            break;
        default:
            pen.setStyle(Qt::SolidLine);
            break;
        }
        switch (p.penStyle & 0x0F00) {
        case 0x100:
            pen.setCapStyle(Qt::SquareCap);
            break;
        case 0x200:
            pen.setCapStyle(Qt::FlatCap);
            break;
        default:
            pen.setCapStyle(Qt::RoundCap);
            break;
        }
        switch (p.penStyle & 0xF000) {
        case 0x1000:
            pen.setJoinStyle(Qt::BevelJoin);
            break;
        case 0x2000:
            pen.setJoinStyle(Qt::MiterJoin);
            break;
        default:
            pen.setJoinStyle(Qt::RoundJoin);
            break;
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
        case 0x008800C6:
            return QPainter::RasterOp_SourceAndDestination; // SRCAND
        case 0x00EE0086:
            return QPainter::RasterOp_SourceOrDestination; // SRCPAINT
        case 0x00660046:
            return QPainter::RasterOp_SourceXorDestination; // SRCINVERT
        default:
            return QPainter::CompositionMode_SourceOver;
        }
    }

    // A raster operation without a source bitmap.
    void PatternBlt(const QRectF& r, std::uint32_t rop)
    {
        switch (rop) {
        case 0x00000042:
            FillRect(r, QBrush(Qt::black));
            break; // BLACKNESS
        case 0x00FF0062:
            FillRect(r, QBrush(Qt::white));
            break; // WHITENESS
        case 0x00AA0029:
            break; // destination unchanged
        default:
            FillRect(r, m_dc.brush.brush);
            break; // PATCOPY and the rest
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
        case 128:
            encoding = "Shift_JIS";
            break;
        case 129:
            encoding = "EUC-KR";
            break;
        case 134:
            encoding = "GBK";
            break;
        case 136:
            encoding = "Big5";
            break;
        default:
            encoding = "windows-1252";
            break;
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
        case GdiObject::Pen:
            m_dc.pen = o;
            break;
        case GdiObject::Brush:
            m_dc.brush = o;
            break;
        case GdiObject::Font:
            m_dc.font = o;
            break;
        default:
            break;
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

} // namespace decode::metafile
