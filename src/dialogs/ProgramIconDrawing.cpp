#include "dialogs/ProgramIconDrawing.h"

#include <QPainterPath>

void DrawProgramIcon(QPainter& p, qreal size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Two pages of an open album, slightly tilted towards the spine.
    const QColor pageEdge(40, 52, 96);
    p.setPen(QPen(pageEdge, 2.0));
    QPainterPath left;
    left.moveTo(32, 14);
    left.cubicTo(24, 9, 12, 9, 4, 12);
    left.lineTo(4, 54);
    left.cubicTo(12, 51, 24, 51, 32, 56);
    left.closeSubpath();
    QPainterPath right;
    right.moveTo(32, 14);
    right.cubicTo(40, 9, 52, 9, 60, 12);
    right.lineTo(60, 54);
    right.cubicTo(52, 51, 40, 51, 32, 56);
    right.closeSubpath();
    p.setBrush(QColor(250, 246, 232));
    p.drawPath(left);
    p.drawPath(right);

    // The picture on the left page: sky, sun and a hill.
    const QRectF photo(8, 17, 20, 26);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 180, 235));
    p.drawRect(photo);
    p.setBrush(QColor(255, 200, 40));
    p.drawEllipse(QPointF(22, 23), 3.2, 3.2);
    QPainterPath hill;
    hill.moveTo(8, 43);
    hill.cubicTo(12, 31, 20, 31, 28, 38);
    hill.lineTo(28, 43);
    hill.closeSubpath();
    p.setBrush(QColor(70, 150, 70));
    p.drawPath(hill);
    p.setPen(QPen(pageEdge, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(photo);

    // The right page: a second picture frame and the reading arrow.
    p.setPen(QPen(QColor(150, 140, 120), 1.5));
    p.drawRect(QRectF(36, 17, 20, 26));
    p.setPen(QPen(QColor(200, 40, 40), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(40, 30), QPointF(52, 30));
    p.drawLine(QPointF(47, 25), QPointF(52, 30));
    p.drawLine(QPointF(47, 35), QPointF(52, 30));

    // The ribbon hanging from the spine.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 40, 40));
    QPainterPath ribbon;
    ribbon.moveTo(30.5, 14);
    ribbon.lineTo(33.5, 14);
    ribbon.lineTo(33.5, 62);
    ribbon.lineTo(32, 59);
    ribbon.lineTo(30.5, 62);
    ribbon.closeSubpath();
    p.drawPath(ribbon);
    p.restore();
}
