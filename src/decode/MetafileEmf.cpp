// Enhanced metafile records (EMF) played onto the painter.
#include "MetafilePlayer.h"

namespace decode::metafile {

static LogFont ReadEmfFont(ByteView p)
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
        case 2:
        case 85:
            Bezier(points(28, r.U32(24), type == 85), false);
            break;
        case 3:
        case 86:
            Polygons({points(28, r.U32(24), type == 86)});
            break;
        case 4:
        case 87:
            Polyline(points(28, r.U32(24), type == 87));
            break;
        case 5:
        case 88:
            Bezier(points(28, r.U32(24), type == 88), true);
            break;
        case 6:
        case 89:
            PolylineTo(points(28, r.U32(24), type == 89));
            break;
        case 7:
        case 90:
            for (const auto& line : polyPoly(type == 90))
                Polyline(line);
            break;
        case 8:
        case 91:
            Polygons(polyPoly(type == 91));
            break;
        case 9:
            m_dc.windowExt = pt32(8);
            UpdateTransform();
            break;
        case 10:
            m_dc.windowOrg = pt32(8);
            UpdateTransform();
            break;
        case 11:
            m_dc.viewportExt = pt32(8);
            UpdateTransform();
            break;
        case 12:
            m_dc.viewportOrg = pt32(8);
            UpdateTransform();
            break;
        case 15:
            FillRect(QRectF(pt32(8), QSizeF(1, 1)), QBrush(ColorRef(r.U32(16))));
            break;
        case 17:
            m_dc.mapMode = int(r.U32(8));
            UpdateTransform();
            break;
        case 18:
            m_dc.opaqueBackground = r.U32(8) == 2;
            break;
        case 19:
            m_dc.fillRule = r.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
            break;
        case 22:
            m_dc.textAlign = r.U32(8);
            break;
        case 24:
            m_dc.textColor = ColorRef(r.U32(8));
            break;
        case 25:
            m_dc.bkColor = ColorRef(r.U32(8));
            break;
        case 27:
            m_dc.current = pt32(8);
            if (m_inPath)
                m_path.moveTo(m_dc.current);
            break;
        case 29:
            ExcludeClip(box32(8));
            break;
        case 30:
            IntersectClip(box32(8));
            break;
        case 31:
        case 32: { // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX: xNum, xDenom, yNum, yDenom
            const double xn = r.S32(8), xd = r.S32(12), yn = r.S32(16), yd = r.S32(20);
            if (xd != 0 && yd != 0) {
                QPointF& ext = type == 31 ? m_dc.viewportExt : m_dc.windowExt;
                ext = QPointF(ext.x() * xn / xd, ext.y() * yn / yd);
                UpdateTransform();
            }
            break;
        }
        case 33:
            SaveDc();
            break;
        case 34:
            RestoreDc(r.S32(8));
            break;
        case 35:
        case 36: { // SETWORLDTRANSFORM, MODIFYWORLDTRANSFORM
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
                case 1:
                    m_dc.world = QTransform();
                    break; // MWT_IDENTITY
                case 2:
                    m_dc.world = x * m_dc.world;
                    break; // MWT_LEFTMULTIPLY
                case 3:
                    m_dc.world = m_dc.world * x;
                    break; // MWT_RIGHTMULTIPLY
                case 4:
                    m_dc.world = x;
                    break; // MWT_SET
                default:
                    break;
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
            o.brush =
                !image.isNull() && image.width() <= 256 && image.height() <= 256 ? QBrush(image) : QBrush(Qt::gray);
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
        case 40:
            m_objects.erase(r.U32(8));
            break;
        case 49:
        case 93: // palettes, monochrome brushes: keep the slot
            m_objects[r.U32(8)] = GdiObject();
            break;
        case 42: {
            QPainterPath path;
            path.addEllipse(box32(8));
            Shape(path);
            break;
        }
        case 43: {
            QPainterPath path;
            path.addRect(box32(8));
            Shape(path);
            break;
        }
        case 44: { // ROUNDRECT: box, corner size
            QPainterPath path;
            path.addRoundedRect(box32(8), std::abs(r.S32(24)) / 2.0, std::abs(r.S32(28)) / 2.0);
            Shape(path);
            break;
        }
        case 45:
            ArcShape(ArcKind::Arc, box32(8), pt32(24), pt32(32));
            break;
        case 46:
            ArcShape(ArcKind::Chord, box32(8), pt32(24), pt32(32));
            break;
        case 47:
            ArcShape(ArcKind::Pie, box32(8), pt32(24), pt32(32));
            break;
        case 55:
            ArcShape(ArcKind::ArcTo, box32(8), pt32(24), pt32(32));
            break;
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
        case 57:
            m_dc.clockwiseArcs = r.U32(8) == 2;
            break;
        case 59:
            m_inPath = true;
            m_path = QPainterPath();
            break; // BEGINPATH
        case 60:
            m_inPath = false;
            break; // ENDPATH
        case 61:
            if (m_inPath)
                m_path.closeSubpath();
            break; // CLOSEFIGURE
        case 68:
            m_inPath = false;
            m_path = QPainterPath();
            break; // ABORTPATH
        case 62:
        case 63:
        case 64: { // FILLPATH, STROKEANDFILLPATH, STROKEPATH
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
            case 1:
                m_painter.setClipPath(logical, Qt::IntersectClip);
                break; // RGN_AND
            case 5:
                m_painter.setClipPath(logical, Qt::ReplaceClip);
                break; // RGN_COPY
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
        case 71:
        case 74: { // FILLRGN (with a brush), PAINTRGN (current brush)
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
        case 76:
        case 77:
        case 114: { // BITBLT, STRETCHBLT, ALPHABLEND
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
            DrawDib(dest, r.Sub(r.U32(48), r.U32(52)), r.Sub(r.U32(56), r.U32(60)), DibLayout::Separate, source, true,
                    r.U32(68));
            break;
        }
        case 80: { // SETDIBITSTODEVICE
            const QRectF dest(r.S32(24), r.S32(28), r.S32(40), r.S32(44));
            const QRectF source(r.S32(32), r.S32(36), r.S32(40), r.S32(44));
            DrawDib(dest, r.Sub(r.U32(48), r.U32(52)), r.Sub(r.U32(56), r.U32(60)), DibLayout::Separate, source, true,
                    0x00CC0020);
            break;
        }
        case 83:
        case 84: { // EXTTEXTOUTA, EXTTEXTOUTW
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

} // namespace decode::metafile
