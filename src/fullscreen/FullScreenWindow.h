#pragma once
// TfMax: the borderless black full-screen window. Its owner paints into its
// two image controls; keys, clicks, wheel turns and drops are handed on as
// signals. The menu commands' actions are added to it, so their shortcuts
// work while it is the only window shown.
#include "viewer/common/ViewerActions.h"

#include <QStringList>
#include <QWidget>

#include <array>

class QTimer;
class TImageControl;

class TfMax : public QWidget {
    Q_OBJECT
public:
    TfMax(const ViewerActions& actions, bool spread);
    ~TfMax() override;

    TImageControl* ImageAt(int position) const { return m_images[static_cast<size_t>(position & 1)]; }
    QTimer* CursorTimer() const { return m_timer; }
    // Closes the window at the owner's request (not the system's).
    void CloseByOwner();
    bool ClosingByOwner() const { return m_closedByOwner; }

signals:
    void shown();
    void resized();
    // Closed by the system or the window manager, not by its owner.
    void closedBySystem();
    // Closed by CloseByOwner().
    void closedByOwner();
    void keyPressed(QKeyEvent* event);
    void mousePressed(const QPoint& globalPos);
    void mouseReleased(const QPoint& globalPos, Qt::MouseButton button);
    void imageMouseMoved(TImageControl* control, QMouseEvent* event);
    void wheelTurned(int delta);
    void pathsDropped(const QStringList& paths);

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

    std::array<TImageControl*, 2> m_images{};
    QTimer* m_timer = nullptr;
    bool m_cursorHidden = false;
    bool m_closedByOwner = false;
};
