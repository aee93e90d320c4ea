#include "dialogs/AboutBox.h"

#include "dialogs/DialogSupport.h"
#include "viewer/common/ProductTexts.h"
#include "viewer/common/SharedHelpers.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void TEllipseShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QBrush(QColor(255, 160, 160), Qt::BDiagPattern));
    p.drawEllipse(area);
    p.setPen(QPen(Qt::red, 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(area);
}

namespace {

QLabel* coloured(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

TClickLabel* linkLabel(const QString& name, const QString& text, QWidget* parent, int x, int y)
{
    auto* l = new TClickLabel(text, parent);
    l->setObjectName(name);
    QFont font = l->font();
    font.setUnderline(true);
    l->setFont(font);
    coloured(l, Qt::blue);
    l->setCursor(Qt::PointingHandCursor);
    l->move(x, y);
    l->adjustSize();
    return l;
}

} // namespace

TfAbout::TfAbout(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("fAbout"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(329, 200);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Panel1: lowered outer and raised inner bevel.
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Panel1"));
    m_panel->setFrameShape(QFrame::Box);
    m_panel->setFrameShadow(QFrame::Sunken);
    m_panel->setLineWidth(1);
    m_panel->setMidLineWidth(0);
    m_panel->setGeometry(8, 8, 313, 150);

    m_icon = new QLabel(m_panel);
    m_icon->setObjectName(QStringLiteral("ProgramIcon"));
    m_icon->setGeometry(12, 12, 32, 32);
    m_icon->setPixmap(ProgramIconPixmap(32));

    m_label1 = new QLabel(QStringLiteral("ソフト名"), m_panel);
    m_label1->setObjectName(QStringLiteral("Label1"));
    QFont big(QStringLiteral("ＭＳ Ｐゴシック"), 18, QFont::Bold);
    m_label1->setFont(big);
    coloured(m_label1, QColor(0, 0, 128));
    m_label1->move(56, 10);

    m_version = new QLabel(QStringLiteral("Ver 1.0"), m_panel);
    m_version->setObjectName(QStringLiteral("Version"));
    QFont bold(QStringLiteral("ＭＳ Ｐゴシック"), 10, QFont::Bold);
    m_version->setFont(bold);
    coloured(m_version, QColor(128, 128, 0));
    m_version->move(58, 44);

    m_shape = new TEllipseShape(m_panel);
    m_shape->setObjectName(QStringLiteral("Shape1"));
    m_shape->setGeometry(196, 10, 106, 50);
    m_label2 = new QLabel(AboutTexts::Signature, m_panel);
    m_label2->setObjectName(QStringLiteral("Label2"));
    QFont signature(QStringLiteral("Serif"), 12, QFont::Bold);
    signature.setItalic(true);
    m_label2->setFont(signature);
    coloured(m_label2, QColor(0, 0, 128));
    m_label2->setAlignment(Qt::AlignCenter);
    m_label2->setGeometry(m_shape->geometry());
    m_label2->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_rights = new QLabel(AboutTexts::Rights, m_panel);
    m_rights->setObjectName(QStringLiteral("Copyright"));
    m_rights->move(12, 70);
    m_rights->adjustSize();

    m_button1 = new QPushButton(QStringLiteral("URL:"), m_panel);
    m_button1->setObjectName(QStringLiteral("Button1"));
    m_button1->setProperty("Tag", 1);
    m_button1->setToolTip(QStringLiteral("URLをクリップボードにコピーします。"));
    m_button1->setGeometry(12, 92, 48, 22);
    m_url = linkLabel(QStringLiteral("Url"), AboutTexts::WebAddress, m_panel, 68, 96);

    m_button2 = new QPushButton(QStringLiteral("Mail:"), m_panel);
    m_button2->setObjectName(QStringLiteral("Button2"));
    m_button2->setProperty("Tag", 2);
    m_button2->setToolTip(QStringLiteral("Mailアドレスをクリップボードにコピーします。"));
    m_button2->setGeometry(12, 118, 48, 22);
    m_mail = linkLabel(QStringLiteral("Mail"), AboutTexts::MailAddress, m_panel, 68, 122);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OKButton"));
    m_ok->setGeometry((329 - 75) / 2, 166, 75, 25);
    m_ok->setDefault(true);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_url, &TClickLabel::clicked, this, &TfAbout::UrlClick);
    connect(m_mail, &TClickLabel::clicked, this, &TfAbout::MailClick);
    connect(m_button1, &QPushButton::clicked, this, [this] { ButtonClick(m_button1); });
    connect(m_button2, &QPushButton::clicked, this, [this] { ButtonClick(m_button2); });

    FormCreate();
}

void TfAbout::FormCreate()
{
    m_label1->setText(MainTexts::ProductName);
    m_label1->adjustSize();
    m_version->setText(MainTexts::Version);
    m_version->adjustSize();
}

void TfAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        CenterOver(this, parentWidget());
}

void TfAbout::UrlClick()
{
    OpenUrl(m_url->text());
}

void TfAbout::MailClick()
{
    SendMailTo(QStringLiteral("mailto:") + m_mail->text() + QStringLiteral("?"));
}

void TfAbout::ButtonClick(QPushButton* sender)
{
    const int tag = sender ? sender->property("Tag").toInt() : 0;
    const QString text = tag == 1 ? m_url->text() : tag == 2 ? m_mail->text() : QString();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
