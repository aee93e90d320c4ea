#include "dialogs/DialogSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

TArrowSpinEdit::TArrowSpinEdit(int minimum, int maximum, int step, QWidget* parent) : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setSingleStep(step);
    setFocusPolicy(Qt::NoFocus);
    lineEdit()->setReadOnly(true);
    lineEdit()->setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void CenterOver(QWidget* window, const QWidget* over)
{
    if (!over)
        return;
    const QRect outer = over->frameGeometry();
    const QSize own = window->frameGeometry().size();
    window->move(outer.left() + (outer.width() - own.width()) / 2,
                 outer.top() + (outer.height() - own.height()) / 2);
}

QPixmap ProgramIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
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
    return pixmap;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

QIcon GlyphIcon(Glyph glyph)
{
    constexpr int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = QApplication::palette().color(QPalette::ButtonText);
    switch (glyph) {
    case Glyph::Add:
        p.setPen(QPen(QColor(0, 128, 0), 2.5));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case Glyph::Remove:
    case Glyph::Cancel:
        p.setPen(QPen(QColor(192, 0, 0), 2.5));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case Glyph::Up:
    case Glyph::Down: {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        QPolygonF arrow;
        if (glyph == Glyph::Up)
            arrow << QPointF(8, 3) << QPointF(14, 12) << QPointF(2, 12);
        else
            arrow << QPointF(8, 13) << QPointF(14, 4) << QPointF(2, 4);
        p.drawPolygon(arrow);
        break;
    }
    case Glyph::Folder: {
        p.setPen(QPen(QColor(120, 90, 20), 1.0));
        p.setBrush(QColor(240, 200, 90));
        QPolygonF folder;
        folder << QPointF(1.5, 4.5) << QPointF(6, 4.5) << QPointF(7.5, 6) << QPointF(14.5, 6)
               << QPointF(14.5, 13.5) << QPointF(1.5, 13.5);
        p.drawPolygon(folder);
        break;
    }
    case Glyph::Ok:
        p.setPen(QPen(QColor(0, 128, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF() << QPointF(3, 8) << QPointF(7, 12) << QPointF(13, 4));
        break;
    }
    return QIcon(pixmap);
}
