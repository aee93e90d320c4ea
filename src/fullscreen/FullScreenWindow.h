#pragma once
// TfMax: the borderless black full-screen window. The main window paints
// into its two image controls; keys, clicks, wheel turns and drags go back
// to the main window.
#include <QWidget>

#include <array>

class QTimer;
class TfMain;
class TImageControl;

class TfMax : public QWidget {
    Q_OBJECT
public:
    explicit TfMax(TfMain& main);
    ~TfMax() override;

    TImageControl* ImageAt(int position) const { return m_images[static_cast<size_t>(position & 1)]; }
    QTimer* CursorTimer() const { return m_timer; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowCursorAgain();
    void HideCursor();

    TfMain& m_main;
    std::array<TImageControl*, 2> m_images{};
    QTimer* m_timer = nullptr;
    bool m_cursorHidden = false;
    bool m_closedByMain = false;
    friend class TfMain;
};
