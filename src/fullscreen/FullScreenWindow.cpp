#include "FullScreenWindow.h"

#include "viewer/common/DropPaths.h"
#include "viewer/common/ImageControl.h"
#include "viewer/common/ProductTexts.h"
#include "viewer/common/SharedHelpers.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

TfMax::TfMax(const ViewerActions& actions, bool spread) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("fMax"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(MainTexts::ProductName);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    setFont(f);
    // The main window is hidden meanwhile: its menus' shortcuts live here.
    addActions(actions.All());
    for (int i = 0; i < 2; ++i) {
        auto* image = new TImageControl(this);
        image->setObjectName(QStringLiteral("Image%1").arg(i));
        image->setGeometry(0, 0, 0, 0);
        connect(image, &TImageControl::mousePressed, this,
                [this](QMouseEvent* e) { emit mousePressed(e->globalPosition().toPoint()); });
        connect(image, &TImageControl::mouseReleased, this,
                [this](QMouseEvent* e) { emit mouseReleased(e->globalPosition().toPoint(), e->button()); });
        connect(image, &TImageControl::mouseMoved, this, [this, image](QMouseEvent* e) {
            ShowCursorAgain();
            emit imageMouseMoved(image, e);
        });
        m_images[static_cast<size_t>(i)] = image;
    }
    m_images[1]->setVisible(spread);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(3000);
    m_timer->setSingleShot(false);
    connect(m_timer, &QTimer::timeout, this, &TfMax::HideCursor);
    m_timer->start();
    RegisterDropTarget(this);
}

TfMax::~TfMax()
{
    UnregisterDropTarget(this);
    if (m_cursorHidden)
        QApplication::restoreOverrideCursor();
}

void TfMax::CloseByOwner()
{
    m_closedByOwner = true;
    close();
}

void TfMax::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setAcceptDrops(true);
    emit shown();
    activateWindow();
    setFocus();
}

void TfMax::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_closedByOwner)
        emit resized();
}

void TfMax::closeEvent(QCloseEvent* event)
{
    if (m_cursorHidden) {
        QApplication::restoreOverrideCursor();
        m_cursorHidden = false;
    }
    if (m_closedByOwner)
        emit closedByOwner();
    else
        emit closedBySystem();
    event->accept();
}

void TfMax::ShowCursorAgain()
{
    if (m_cursorHidden) {
        QApplication::restoreOverrideCursor();
        m_cursorHidden = false;
    }
    if (!m_timer->isActive())
        m_timer->start(); // a running timer is not restarted
}

void TfMax::HideCursor()
{
    if (!m_cursorHidden) {
        QApplication::setOverrideCursor(Qt::BlankCursor);
        m_cursorHidden = true;
    }
    m_timer->stop();
}

void TfMax::keyPressEvent(QKeyEvent* event)
{
    emit keyPressed(event);
}

void TfMax::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event->globalPosition().toPoint());
}

void TfMax::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseReleased(event->globalPosition().toPoint(), event->button());
}

void TfMax::mouseMoveEvent(QMouseEvent* event)
{
    ShowCursorAgain();
    QWidget::mouseMoveEvent(event);
}

void TfMax::wheelEvent(QWheelEvent* event)
{
    emit wheelTurned(event->angleDelta().y());
}

void TfMax::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfMax::dropEvent(QDropEvent* event)
{
    const QStringList paths = DroppedPaths(event->mimeData());
    event->acceptProposedAction();
    emit pathsDropped(paths);
}
