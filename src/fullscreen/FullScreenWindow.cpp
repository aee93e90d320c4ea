#include "FullScreenWindow.h"

#include "viewer/ImageControl.h"
#include "viewer/MainWindow.h"
#include "viewer/SharedHelpers.h"
#include "platform/FileNames.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

TfMax::TfMax(TfMain& main) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_main(main)
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
    for (int i = 0; i < 2; ++i) {
        auto* image = new TImageControl(this);
        image->setObjectName(QStringLiteral("Image%1").arg(i));
        image->setGeometry(0, 0, 0, 0);
        connect(image, &TImageControl::mousePressed, this,
                [this](QMouseEvent* e) { m_main.HandleMousePress(e->globalPosition().toPoint()); });
        connect(image, &TImageControl::mouseReleased, this, [this](QMouseEvent* e) {
            m_main.HandleMouseRelease(e->globalPosition().toPoint(), e->button());
        });
        connect(image, &TImageControl::mouseMoved, this, [this, image](QMouseEvent* e) {
            ShowCursorAgain();
            m_main.HandleImageMouseMove(image, e);
        });
        m_images[static_cast<size_t>(i)] = image;
    }
    m_images[1]->setVisible(IsSpread(m_main.Form()));
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

void TfMax::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setAcceptDrops(true);
    m_main.LayoutArea(IsSpread(m_main.Form()));
    m_main.hide();
    activateWindow();
    setFocus();
}

void TfMax::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_main.FullScreenWindow() == this) {
        m_main.LayoutArea(IsSpread(m_main.Form()));
        if (m_main.State.Viewing)
            m_main.ShowImages();
    }
}

void TfMax::closeEvent(QCloseEvent* event)
{
    const bool closedBySystem = m_main.FullScreenWindow() == this;
    if (m_cursorHidden) {
        QApplication::restoreOverrideCursor();
        m_cursorHidden = false;
    }
    if (closedBySystem) {
        m_main.FullScreenClosedBySystem();
    } else if (!m_main.State.Closing) {
        m_main.show();
    }
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
    m_main.HandleKey(event);
}

void TfMax::mousePressEvent(QMouseEvent* event)
{
    m_main.HandleMousePress(event->globalPosition().toPoint());
}

void TfMax::mouseReleaseEvent(QMouseEvent* event)
{
    m_main.HandleMouseRelease(event->globalPosition().toPoint(), event->button());
}

void TfMax::mouseMoveEvent(QMouseEvent* event)
{
    ShowCursorAgain();
    QWidget::mouseMoveEvent(event);
}

void TfMax::wheelEvent(QWheelEvent* event)
{
    m_main.HandleWheel(event->angleDelta().y());
}

void TfMax::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfMax::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << platform::CanonicalPath(platform::LocalPathFromUrl(url));
    }
    event->acceptProposedAction();
    m_main.DropOnFullScreen(paths);
}
