// TfMain: keys, clicks, wheel turns and drops of the main window and the
// full-screen window, and the full-screen window itself.
#include "MainWindow.h"

#include "viewer/common/DropPaths.h"
#include "viewer/common/ImageControl.h"
#include "viewer/common/SharedHelpers.h"
#include "fullscreen/FullScreenWindow.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QWheelEvent>

#include <cmath>

// ---------------------------------------------------------------- keys and mouse

void TfMain::HandleKey(QKeyEvent* event)
{
    ViewerSession& s = *m_session;
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        s.SetClosing(true);
        close();
        return;
    }
    if (!s.State().Viewing)
        return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_PageDown:
    case Qt::Key_Up:
    case Qt::Key_Right:
        s.StepImage(true);
        s.ShowPage();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Down:
        s.StepImage(false);
        s.ShowPage();
        return;
    case Qt::Key_Delete:
        if (s.Form() == DisplayForm::SinglePage) {
            s.DeleteCurrentImage();
            if (s.State().Viewing)
                s.ShowPage();
        } else {
            s.ShowPage();
        }
        return;
    default:
        break;
    }
    if (s.Form() != DisplayForm::SinglePage || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return;
    const QString text = event->text();
    const QStringList& applications = s.Applications();
    if (text == QStringLiteral(" ")) {
        if (applications.size() == 1) {
            s.LaunchApp(0);
        } else if (applications.size() > 1) {
            const QRect g = geometry();
            m_popupMenu->popup(QPoint(g.left() + width() / 2, g.top() + height() / 2));
        }
    } else if (text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9')) {
        const int digit = text[0].unicode() - '0';
        if (digit <= s.Config().Option.nButton - 1 && TransferHandler)
            TransferHandler(*this, digit);
    }
}

void TfMain::keyPressEvent(QKeyEvent* event)
{
    HandleKey(event);
}

void TfMain::HandleMousePress(const QPoint& globalPos)
{
    if (!m_session->Images().IsEmpty())
        m_mouseDown = globalPos;
}

void TfMain::HandleMouseRelease(const QPoint& globalPos, Qt::MouseButton button)
{
    const QPoint d = globalPos - m_mouseDown;
    if (std::abs(d.x()) + std::abs(d.y()) > 10 || !m_session->State().Viewing)
        return;
    if (button == Qt::LeftButton) {
        m_session->StepImage(true);
        m_session->ShowPage();
    } else if (button == Qt::RightButton) {
        m_session->StepImage(false);
        m_session->ShowPage();
    }
}

void TfMain::HandleWheel(int delta)
{
    if (delta == 0)
        return;
    m_session->StepImage(delta > 0); // wheel up: forward, wheel down: backward
    m_session->ShowPage();
}

void TfMain::HandleImageMouseMove(TImageControl* control, QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || m_session->SlideshowRunning() || control->Hint().isEmpty())
        return;
    if (!DragOutHandler)
        return;
    const QPoint d = event->globalPosition().toPoint() - m_mouseDown;
    if (d.manhattanLength() < QApplication::startDragDistance())
        return;
    SetDropTargets(false);
    DragOutHandler(*this, control);
    SetDropTargets(true);
}

void TfMain::mousePressEvent(QMouseEvent* event)
{
    HandleMousePress(event->globalPosition().toPoint());
}

void TfMain::mouseReleaseEvent(QMouseEvent* event)
{
    HandleMouseRelease(event->globalPosition().toPoint(), event->button());
}

void TfMain::wheelEvent(QWheelEvent* event)
{
    HandleWheel(event->angleDelta().y());
}

bool TfMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_display) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            HandleMousePress(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            HandleMouseRelease(e->globalPosition().toPoint(), e->button());
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event)
{
    const QStringList paths = DroppedPaths(event->mimeData());
    event->acceptProposedAction();
    m_session->DropPaths(paths);
}

// ---------------------------------------------------------------- full screen

TfMax* TfMain::FullScreenWindow() const
{
    return m_fullScreen;
}

void TfMain::ToggleFullScreen()
{
    const bool on = !m_session->State().FullScreen;
    m_actions.Max1->setChecked(m_session->State().FullScreen); // undo Qt's own toggling
    if (!on) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
    m_session->SetFullScreen(on);
}

void TfMain::ApplyFullScreen()
{
    const bool on = m_session->State().FullScreen;
    bool changed = false;
    if (on && !m_fullScreen) {
        auto* window = new TfMax(m_actions, IsSpread(m_session->Form()));
        m_fullScreen = window;
        connect(window, &TfMax::shown, this, &TfMain::FullScreenShown);
        connect(window, &TfMax::resized, this, &TfMain::FullScreenResized);
        connect(window, &TfMax::closedBySystem, this, &TfMain::FullScreenClosedBySystem);
        connect(window, &TfMax::closedByOwner, this, [this] {
            if (!m_session->State().Closing)
                show();
        });
        connect(window, &TfMax::keyPressed, this, &TfMain::HandleKey);
        connect(window, &TfMax::mousePressed, this, &TfMain::HandleMousePress);
        connect(window, &TfMax::mouseReleased, this, &TfMain::HandleMouseRelease);
        connect(window, &TfMax::imageMouseMoved, this, &TfMain::HandleImageMouseMove);
        connect(window, &TfMax::wheelTurned, this, &TfMain::HandleWheel);
        connect(window, &TfMax::pathsDropped, m_session, &ViewerSession::DropOnFullScreen);
        if (QScreen* own = screen()) // cover the screen the main window is on
            window->setGeometry(own->geometry());
        window->showFullScreen();
        changed = true;
    } else if (!on && m_fullScreen) {
        TfMax* window = m_fullScreen;
        m_fullScreen = nullptr;
        window->CloseByOwner();
        changed = true;
    }
    if (changed && m_session->State().Viewing) {
        LayoutArea(IsSpread(m_session->Form()));
        m_session->ShowPage();
    }
}

void TfMain::FullScreenShown()
{
    LayoutArea(IsSpread(m_session->Form()));
    hide();
}

void TfMain::FullScreenResized()
{
    if (!m_fullScreen || m_fullScreen != sender())
        return;
    LayoutArea(IsSpread(m_session->Form()));
    if (m_session->State().Viewing)
        m_session->ShowPage();
}

void TfMain::FullScreenClosedBySystem()
{
    // The window went away without Max1: bring everything back in line.
    m_fullScreen = nullptr;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    m_session->SetFullScreen(false);
    if (!m_session->State().Closing) {
        show();
        LayoutArea(IsSpread(m_session->Form()));
        if (m_session->State().Viewing)
            m_session->ShowPage();
    }
}
