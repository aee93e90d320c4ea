#include "organize/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void drawFolder(QPainter& p, const QColor& body, const QColor& edge)
{
    p.setPen(QPen(edge, 1));
    p.setBrush(body.darker(115));
    p.drawRect(QRectF(1.5, 3.5, 6, 2));
    p.setBrush(body);
    p.drawRect(QRectF(1.5, 5.5, 13, 8));
}

void arrowHead(QPainter& p, QPointF tip, QPointF back1, QPointF back2)
{
    QPainterPath path;
    path.moveTo(tip);
    path.lineTo(back1);
    path.lineTo(back2);
    path.closeSubpath();
    p.drawPath(path);
}

} // namespace

QPixmap GlyphPixmap(Glyph glyph)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor navy(0, 0, 128);
    const QColor purple(128, 0, 128);
    switch (glyph) {
    case Glyph::Destination:
        drawFolder(p, QColor(250, 210, 90), QColor(150, 110, 20));
        p.setPen(QPen(navy, 1.6));
        p.drawLine(QPointF(5, 9.5), QPointF(10, 9.5));
        p.setBrush(navy);
        arrowHead(p, QPointF(12.5, 9.5), QPointF(9.5, 7), QPointF(9.5, 12));
        break;
    case Glyph::RunTimeChoice: {
        drawFolder(p, QColor(230, 190, 240), purple);
        QFont f;
        f.setPixelSize(9);
        f.setBold(true);
        p.setFont(f);
        p.setPen(purple);
        p.drawText(QRectF(1.5, 5.5, 13, 8), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Glyph::Random:
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        for (QPointF c :
             {QPointF(4.8, 4.8), QPointF(8, 8), QPointF(11.2, 11.2), QPointF(11.2, 4.8), QPointF(4.8, 11.2)})
            p.drawEllipse(c, 1.3, 1.3);
        break;
    case Glyph::Normal:
    case Glyph::Reverse: {
        // Bars rising (normal) or falling (reverse) with an arrow.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 110, 0));
        for (int k = 0; k < 4; ++k) {
            const int h = glyph == Glyph::Normal ? 3 + 3 * k : 12 - 3 * k;
            p.drawRect(QRectF(1 + 3.5 * k, 15 - h, 2.5, h));
        }
        break;
    }
    case Glyph::Back:
    case Glyph::Front: {
        p.setPen(Qt::NoPen);
        p.setBrush(navy);
        const bool back = glyph == Glyph::Back;
        const double tip = back ? 2 : 14;
        const double base = back ? 9 : 7;
        arrowHead(p, QPointF(tip, 8), QPointF(base, 2), QPointF(base, 14));
        p.drawRect(back ? QRectF(9, 5.5, 5, 5) : QRectF(2, 5.5, 5, 5));
        break;
    }
    case Glyph::Door:
        p.setPen(QPen(QColor(90, 50, 10), 1));
        p.setBrush(QColor(200, 140, 70));
        p.drawRect(QRectF(3.5, 1.5, 9, 13));
        p.setBrush(QColor(240, 200, 0));
        p.drawEllipse(QPointF(10.5, 8.5), 1, 1);
        break;
    case Glyph::Turnback: {
        QPen pen(QColor(0, 120, 0), 2);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, -250 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 120, 0));
        arrowHead(p, QPointF(3, 4), QPointF(8.5, 1), QPointF(8.5, 7));
        break;
    }
    case Glyph::FileCopy:
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(220, 220, 220));
        p.drawRect(QRectF(1.5, 1.5, 8, 10));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 4.5, 8, 10));
        p.setPen(QPen(QColor(0, 90, 200), 1));
        p.drawLine(QPointF(8, 7.5), QPointF(13, 7.5));
        p.drawLine(QPointF(8, 10), QPointF(13, 10));
        p.drawLine(QPointF(8, 12.5), QPointF(11, 12.5));
        break;
    }
    return pixmap;
}

QIcon MakeGlyph(Glyph glyph)
{
    return QIcon(GlyphPixmap(glyph));
}
