#include "dialogs/HelpViewer.h"

#include "platform/Desktop.h"
#include "platform/Files.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>

#include <cmath>

namespace {

QPointer<TfHelpViewer> g_current;
constexpr int kPanelHeight = 32;

// WebImage1: the tool bar's pictures, drawn here: 0 back, 1 forward,
// 2 start page, 3 stop, 4 reload.
QIcon webImage(int index)
{
    constexpr int size = 24;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(30, 90, 170);
    switch (index) {
    case 0:
    case 1: {
        QPolygonF arrow;
        arrow << QPointF(3, 12) << QPointF(12, 4) << QPointF(12, 9) << QPointF(21, 9) << QPointF(21, 15)
              << QPointF(12, 15) << QPointF(12, 20);
        if (index == 1) {
            for (QPointF& point : arrow)
                point.setX(size - point.x());
        }
        p.setPen(QPen(blue.darker(130), 1.2));
        p.setBrush(QColor(70, 150, 60));
        p.drawPolygon(arrow);
        break;
    }
    case 2: {
        QPolygonF roof;
        roof << QPointF(2, 12) << QPointF(12, 3) << QPointF(22, 12);
        p.setPen(QPen(QColor(150, 40, 30), 1.2));
        p.setBrush(QColor(210, 70, 50));
        p.drawPolygon(roof);
        p.setPen(QPen(QColor(90, 70, 40), 1.2));
        p.setBrush(QColor(245, 230, 190));
        p.drawRect(QRectF(5, 12, 14, 9));
        p.setBrush(QColor(120, 80, 40));
        p.drawRect(QRectF(10, 15, 4, 6));
        break;
    }
    case 3: {
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            const double angle = (22.5 + 45.0 * i) * 3.14159265358979 / 180.0;
            octagon << QPointF(12 + 9.5 * std::cos(angle), 12 + 9.5 * std::sin(angle));
        }
        p.setPen(QPen(QColor(140, 0, 0), 1.2));
        p.setBrush(QColor(210, 30, 30));
        p.drawPolygon(octagon);
        p.setPen(QPen(Qt::white, 2.5));
        p.drawLine(QPointF(8, 8), QPointF(16, 16));
        p.drawLine(QPointF(16, 8), QPointF(8, 16));
        break;
    }
    default: {
        p.setPen(QPen(blue, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(4, 4, 16, 16), 60 * 16, 290 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        QPolygonF head;
        head << QPointF(13, 1.5) << QPointF(19.5, 5.5) << QPointF(12.5, 9.5);
        p.drawPolygon(head);
        break;
    }
    }
    return QIcon(pixmap);
}

bool isLocal(const QUrl& url)
{
    return url.isLocalFile() || url.scheme().isEmpty() || url.scheme() == QLatin1String("file");
}

} // namespace

TfHelpViewer::TfHelpViewer(QWidget* owner, Settings& settings)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_settings(settings)
{
    setObjectName(QStringLiteral("fHelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ヘルプ"));
    resize(655, 564);

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    const struct {
        const char* hint;
        int image;
    } buttons[] = {{"起動ページに戻る", 2}, {"戻る", 0}, {"進む", 1}, {"読み込み中止", 3}, {"読み直し", 4}};
    for (int i = 0; i < 5; ++i) {
        if (i == 1 || i == 3) {
            QAction* separator = m_toolBar->addSeparator();
            separator->setObjectName(QStringLiteral("ToolButton%1").arg(i == 1 ? 6 : 7));
        }
        auto* b = new QToolButton(m_toolBar);
        b->setObjectName(QStringLiteral("ToolButton%1").arg(i + 1));
        b->setToolTip(QString::fromUtf8(buttons[i].hint));
        b->setIcon(webImage(buttons[i].image));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        m_toolBar->addWidget(b);
        m_buttons[i] = b;
    }

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("WebBrowser1"));
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &TfHelpViewer::OpenLink);

    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Panel1"));
    m_panel->setFrameStyle(QFrame::NoFrame);
    m_close = new QPushButton(QStringLiteral("閉じる(&C)"), m_panel);
    m_close->setObjectName(QStringLiteral("BitBtn1"));
    m_close->resize(89, 25);
    m_close->setDefault(true);
    m_close->setAutoDefault(true);

    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_buttons[0], &QToolButton::clicked, this, &TfHelpViewer::ToolButton1Click);
    connect(m_buttons[1], &QToolButton::clicked, this, &TfHelpViewer::ToolButton2Click);
    connect(m_buttons[2], &QToolButton::clicked, this, &TfHelpViewer::ToolButton3Click);
    connect(m_buttons[3], &QToolButton::clicked, this, &TfHelpViewer::ToolButton4Click);
    connect(m_buttons[4], &QToolButton::clicked, this, &TfHelpViewer::ToolButton5Click);

    FormCreate();
    g_current = this;
}

TfHelpViewer::~TfHelpViewer()
{
    // A viewer still open when the main window goes is destroyed with it;
    // the settings may already be gone then, so only the reference is cleared.
    if (g_current == this)
        g_current = nullptr;
}

TfHelpViewer* TfHelpViewer::Current()
{
    return g_current;
}

void TfHelpViewer::FormCreate()
{
    move(m_settings.Help.Left, m_settings.Help.Top);
    resize(m_settings.Help.Width, m_settings.Help.Height);
}

void TfHelpViewer::FormClose()
{
    m_settings.Help.Left = x();
    m_settings.Help.Top = y();
    m_settings.Help.Width = width();
    m_settings.Help.Height = height();
    if (g_current == this)
        g_current = nullptr;
}

void TfHelpViewer::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TfHelpViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int toolHeight = m_toolBar->sizeHint().height();
    m_toolBar->setGeometry(0, 0, width(), toolHeight);
    m_panel->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
    m_browser->setGeometry(0, toolHeight, width(), std::max(0, height() - toolHeight - kPanelHeight));
    FormResize();
}

void TfHelpViewer::FormResize()
{
    m_close->move((width() - m_close->width()) / 2, (kPanelHeight - m_close->height()) / 2);
}

void TfHelpViewer::keyPressEvent(QKeyEvent* event)
{
    // The close button is both the default and the cancel button.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_close->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfHelpViewer::Navigate(const QString& path)
{
    Show(QUrl::fromLocalFile(path));
}

void TfHelpViewer::Show(const QUrl& url)
{
    const QString file = url.toLocalFile();
    if (!file.isEmpty() && !platform::FileExists(file)) {
        // The browser's own error page.
        m_browser->setHtml(
            QStringLiteral("<html><body><h3>ページを表示できません</h3><p>%1 が見つかりません。</p></body></html>")
                .arg(file.toHtmlEscaped()));
        return;
    }
    m_browser->setSource(url);
}

void TfHelpViewer::OpenLink(const QUrl& link)
{
    const QUrl url = m_browser->source().resolved(link);
    if (isLocal(url)) {
        if (link.toString().startsWith(QLatin1Char('#')))
            m_browser->scrollToAnchor(link.fragment());
        else
            Show(url);
        return;
    }
    platform::OpenUrl(url.toString());
}

void TfHelpViewer::ToolButton1Click()
{
    if (!StartPage.isEmpty())
        Navigate(StartPage);
}

void TfHelpViewer::ToolButton2Click()
{
    m_browser->backward(); // nothing happens without an earlier page
}

void TfHelpViewer::ToolButton3Click()
{
    m_browser->forward();
}

void TfHelpViewer::ToolButton4Click()
{
    // A local document is read at once; there is no load in progress to stop.
}

void TfHelpViewer::ToolButton5Click()
{
    if (!m_browser->source().isEmpty())
        m_browser->reload();
}
