#include "MsgDialog.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

TfMsgDialog::TfMsgDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("fMsgDialog"));
    setFixedSize(204, 52);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Panel1"));
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_panel->setLineWidth(2);
    m_panel->setStyleSheet(QStringLiteral("#Panel1 { background: black; border: 2px outset #808080; }"));
    layout->addWidget(m_panel);
    auto* inner = new QVBoxLayout(m_panel);
    inner->setContentsMargins(2, 2, 2, 2);
    m_text = new QLabel(QStringLiteral("複写完了！"), m_panel);
    m_text->setObjectName(QStringLiteral("StaticText1"));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setAutoFillBackground(true);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(27);
    m_text->setFont(font);
    m_text->setStyleSheet(QStringLiteral("color: lime; background: black;"));
    inner->addWidget(m_text);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &TfMsgDialog::owari);
    m_timer->start();

    if (parent)
        m_center = parent->frameGeometry();
}

void TfMsgDialog::SetText(const QString& text)
{
    m_text->setText(text);
}

QString TfMsgDialog::Text() const
{
    return m_text->text();
}

QPoint TfMsgDialog::CenteredPosition(const QRect& over, const QSize& own)
{
    // div rounds toward zero, as C++ integer division does.
    return QPoint(over.left() + (over.width() - own.width()) / 2, over.top() + (over.height() - own.height()) / 2);
}

void TfMsgDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_center.isValid())
        move(CenteredPosition(m_center, frameGeometry().size()));
}

void TfMsgDialog::owari()
{
    accept();
}

void TfMsgDialog::ShowMessage(QWidget* mainWindow, const QString& text)
{
    TfMsgDialog dialog(mainWindow);
    dialog.SetText(text);
    dialog.exec();
}
