#pragma once
// An image control: draws its picture stretched to the control's own size.
// The owner sizes and places it. Its hint is the path of the shown file.
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <functional>

class TGraphic;

class TImageControl : public QWidget {
    Q_OBJECT
public:
    explicit TImageControl(QWidget* parent = nullptr);

    void SetGraphic(const TGraphic* graphic);
    // The graphic with a copy already shrunk to the size it is shown at
    // (used while the control has exactly that size).
    void SetGraphic(const TGraphic* graphic, const QImage& shrunk);
    const TGraphic* Graphic() const { return m_graphic; }
    void Clear();
    // Drops the scaled copy (the graphic changed in place).
    void Invalidate();

    void SetHint(const QString& hint);
    const QString& Hint() const { return m_hint; }

signals:
    void mousePressed(QMouseEvent* event);
    void mouseReleased(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void renderCache();

    const TGraphic* m_graphic = nullptr;
    // The picture scaled to the control's size, made once per picture and size.
    QPixmap m_cache;
    bool m_cacheValid = false;
    QImage m_shrunk;
    QString m_hint;
};
