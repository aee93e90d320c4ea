#include "ImageControl.h"

#include "viewer/common/FastShrink.h"
#include "decode/Graphic.h"

#include <QMouseEvent>
#include <QPainter>

TImageControl::TImageControl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
}

void TImageControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_cacheValid = false;
}

void TImageControl::SetGraphic(const TGraphic* graphic)
{
    SetGraphic(graphic, QImage());
}

void TImageControl::SetGraphic(const TGraphic* graphic, const QImage& shrunk)
{
    m_graphic = graphic;
    m_shrunk = shrunk;
    Invalidate();
}

void TImageControl::Clear()
{
    m_graphic = nullptr;
    m_shrunk = QImage();
    Invalidate();
}

void TImageControl::Invalidate()
{
    m_cacheValid = false;
    m_cache = QPixmap();
    update();
}

void TImageControl::renderCache()
{
    m_cacheValid = true;
    m_cache = QPixmap();
    const QSize target = size();
    if (!m_shrunk.isNull() && m_shrunk.size() == target) {
        m_cache = QPixmap::fromImage(m_shrunk);
        return;
    }
    const QImage source = m_graphic->ToImage();
    if (!source.isNull() && source.width() >= target.width() && source.height() >= target.height()) {
        // Shrinking: area-averaging scale once, then plain blits.
        m_cache = QPixmap::fromImage(SmoothShrink(source, target));
        return;
    }
    // Enlarging (or a picture that draws itself): let the graphic draw.
    QImage canvas(target, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_graphic->Draw(painter, QRect(QPoint(0, 0), target));
    painter.end();
    m_cache = QPixmap::fromImage(canvas);
}

void TImageControl::SetHint(const QString& hint)
{
    // The path goes with a drag out of the control; it is not shown as a
    // tooltip, which would cover the picture.
    m_hint = hint;
}

void TImageControl::paintEvent(QPaintEvent*)
{
    if (!m_graphic || m_graphic->Empty() || width() <= 0 || height() <= 0)
        return;
    if (!m_cacheValid || m_cache.size() != size())
        renderCache();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
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
