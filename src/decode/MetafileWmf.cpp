// Windows metafile records (WMF) played onto the painter.
#include "MetafilePlayer.h"

namespace decode::metafile {

static LogFont ReadWmfFont(ByteView p)
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
        case 0x001E:
            SaveDc();
            break;
        case 0x0127:
            RestoreDc(p.S16(0));
            break;
        case 0x0102:
            m_dc.opaqueBackground = p.U16(0) == 2;
            break;
        case 0x0106:
            m_dc.fillRule = p.U16(0) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
            break;
        case 0x012E:
            m_dc.textAlign = p.U16(0);
            break;
        case 0x0201:
            m_dc.bkColor = ColorRef(p.U32(0));
            break;
        case 0x0209:
            m_dc.textColor = ColorRef(p.U32(0));
            break;
        case 0x020B:
            m_dc.windowOrg = pt(0, 2);
            UpdateTransform();
            break;
        case 0x020C:
            m_dc.windowExt = pt(0, 2);
            UpdateTransform();
            break;
        case 0x020F:
            m_dc.windowOrg += pt(0, 2);
            UpdateTransform();
            break;
        case 0x0410: { // SCALEWINDOWEXT: yDenom, yNum, xDenom, xNum
            const double yd = p.S16(0), yn = p.S16(2), xd = p.S16(4), xn = p.S16(6);
            if (xd != 0 && yd != 0)
                m_dc.windowExt = QPointF(m_dc.windowExt.x() * xn / xd, m_dc.windowExt.y() * yn / yd);
            UpdateTransform();
            break;
        }
        case 0x0214:
            m_dc.current = pt(0, 2);
            break;
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
        case 0x0817:
        case 0x081A:
        case 0x0830: { // ARC, PIE, CHORD
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
        case 0x00F7:
        case 0x01F9:
        case 0x06FF: // palettes, old pattern brushes, regions
            WmfCreate(GdiObject());
            break;
        case 0x012D: { // SELECTOBJECT
            auto it = m_objects.find(p.U16(0));
            if (it != m_objects.end())
                Select(it->second);
            break;
        }
        case 0x01F0:
            WmfDelete(p.U16(0));
            break;
        case 0x0416:
            IntersectClip(Box(p.S16(6), p.S16(4), p.S16(2), p.S16(0)));
            break;
        case 0x0415:
            ExcludeClip(Box(p.S16(6), p.S16(4), p.S16(2), p.S16(0)));
            break;
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

} // namespace decode::metafile
