#include "dialogs/DialogSupport.h"
#include "dialogs/ProgramIconDrawing.h"

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
    window->move(outer.left() + (outer.width() - own.width()) / 2, outer.top() + (outer.height() - own.height()) / 2);
}

QPixmap ProgramIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    DrawProgramIcon(p, size);
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
        folder << QPointF(1.5, 4.5) << QPointF(6, 4.5) << QPointF(7.5, 6) << QPointF(14.5, 6) << QPointF(14.5, 13.5)
               << QPointF(1.5, 13.5);
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
