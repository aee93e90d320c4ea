#include "ImageControl.h"

#include "decode/Graphic.h"

#include <QMouseEvent>
#include <QPainter>

TImageControl::TImageControl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
}

void TImageControl::SetGraphic(const TGraphic* graphic)
{
    m_graphic = graphic;
    update();
}

void TImageControl::Clear()
{
    m_graphic = nullptr;
    update();
}

void TImageControl::SetHint(const QString& hint)
{
    m_hint = hint;
    setToolTip(hint);
}

void TImageControl::paintEvent(QPaintEvent*)
{
    if (!m_graphic || m_graphic->Empty() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_graphic->Draw(painter, rect());
}

void TImageControl::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event);
}

void TImageControl::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseReleased(event);
}

void TImageControl::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved(event);
}
