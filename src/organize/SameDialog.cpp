#include "organize/SameDialog.h"

#include "organize/FittedText.h"
#include "organize/TransferEngine.h"
#include "platform/FileNames.h"
#include "viewer/FitPicture.h"
#include "viewer/common/ImageControl.h"
#include "viewer/common/SharedHelpers.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

QString GroupThousands(qint64 value)
{
    const bool negative = value < 0;
    QString digits = QString::number(negative ? -value : value);
    for (int at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return negative ? QStringLiteral("-") + digits : digits;
}

QString SameSizeLine(int width, int height, qint64 size)
{
    return QStringLiteral("%1 x %2 - Size: %3 byte").arg(width).arg(height).arg(GroupThousands(size));
}

QString SameNameLine(const QString& fileName)
{
    return QStringLiteral("[ %1 ]").arg(fileName);
}

QString SameInfoLine(int width, int height, qint64 size, const QString& fileName)
{
    return SameSizeLine(width, height, size) + QStringLiteral(" - ") + SameNameLine(fileName);
}

QString FittedSameNameLine(const QFontMetrics& metrics, int available, const QString& fileName)
{
    return FittedText(metrics, available, QStringLiteral("[ "), fileName, QStringLiteral(" ]"));
}

namespace {

QLabel* makeLabel(const QString& text, QWidget* parent, int pixelSize, bool bold, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    label->adjustSize();
    return label;
}

QPushButton* makeButton(const QString& text, QWidget* parent, int width, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->resize(width, 25);
    return button;
}

} // namespace

TfSame::TfSame(const QString& source, const QString& destination, const QRect& geometry, bool zoom, QWidget* parent)
    : QDialog(parent),
      m_source(source),
      m_destination(destination),
      m_zoom(zoom)
{
    setObjectName(QStringLiteral("fSame"));
    setWindowTitle(QStringLiteral("ファイル名が同じです。ファイル名を変更しますか。"));
    setMinimumSize(350, 250);

    m_top = new QFrame(this);
    m_top->setObjectName(QStringLiteral("TopPanel"));
    m_label2 = makeLabel(QStringLiteral("移動・複写元の画像"), m_top, 16, true, "Label2");
    m_label1 = makeLabel(QStringLiteral("移動・複写先の画像"), m_top, 16, true, "Label1");
    m_label3 = makeLabel(QStringLiteral("---→"), m_top, 19, true, "Label3");
    QFont fixed(QStringLiteral("ＭＳ ゴシック"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPixelSize(19);
    fixed.setBold(true);
    m_label3->setFont(fixed);
    m_label3->setStyleSheet(QStringLiteral("color: red;"));
    m_label3->adjustSize();
    for (QLabel** text : {&m_leftText, &m_rightText, &m_leftName, &m_rightName}) {
        *text = new QLabel(m_top);
        (*text)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        (*text)->setFixedHeight(16);
        // A 12-pixel type fits the 16-pixel line and leaves room for the name.
        QFont small = (*text)->font();
        small.setPixelSize(12);
        (*text)->setFont(small);
    }
    m_leftText->setObjectName(QStringLiteral("LeftText"));
    m_rightText->setObjectName(QStringLiteral("RightText"));
    m_leftName->setObjectName(QStringLiteral("LeftName"));
    m_rightName->setObjectName(QStringLiteral("RightName"));

    auto makePanel = [this](const char* name, TImageControl*& image, QLabel*& label, const char* imageName,
                            const char* labelName) {
        auto* panel = new QFrame(this);
        panel->setObjectName(QString::fromLatin1(name));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        image = new TImageControl(panel);
        image->setObjectName(QString::fromLatin1(imageName));
        label = makeLabel(QStringLiteral("表示不可"), panel, 27, true, labelName);
        label->setStyleSheet(QStringLiteral("color: fuchsia;"));
        label->hide();
        return panel;
    };
    m_leftPanel = makePanel("LeftPanel", m_leftImage, m_leftLabel, "LeftImage", "LeftLabel");
    m_rightPanel = makePanel("RightPanel", m_rightImage, m_rightLabel, "RightImage", "RightLabel");

    m_bottom = new QFrame(this);
    m_bottom->setObjectName(QStringLiteral("BottomPanel"));
    m_btn1 = makeButton(QStringLiteral("変更後、実行"), m_bottom, 100, "BitBtn1");
    m_btn3 = makeButton(QStringLiteral("元の画像を削除して中止"), m_bottom, 160, "BitBtn3");
    m_btn2 = makeButton(QStringLiteral("キャンセル"), m_bottom, 100, "BitBtn2");
    m_btn4 = makeButton(QStringLiteral("先の画像を削除して実行"), m_bottom, 160, "BitBtn4");
    m_btn1->setDefault(true);
    connect(m_btn1, &QPushButton::clicked, this, [this] { done(srRename); });
    connect(m_btn3, &QPushButton::clicked, this, [this] { done(srDeleteSource); });
    connect(m_btn2, &QPushButton::clicked, this, [this] { done(srCancel); });
    connect(m_btn4, &QPushButton::clicked, this, [this] { done(srDeleteExisting); });

    // Both pictures are decoded once; every layout pass shows them again.
    m_sourceLoaded = LoadPictureSafe(m_source, m_sourcePicture);
    m_destinationLoaded = LoadPictureSafe(m_destination, m_destinationPicture);

    const QRect wanted(geometry.left(), geometry.top(), std::max(geometry.width(), 350),
                       std::max(geometry.height(), 250));
    setGeometry(wanted);
    LayoutControls();
}

int TfSame::Ask()
{
    const int result = exec();
    return result == srRename || result == srDeleteSource || result == srDeleteExisting ? result : srCancel;
}

void TfSame::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    KeepOnDesktop(this);
}

void TfSame::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayoutControls();
}

void TfSame::LayoutControls()
{
    const int cw = width();
    const int ch = height();
    const int W = frameGeometry().width();
    // The top holds the headings and, per side, a size line and a name line.
    const int topHeight = 75;
    const int bottomHeight = 62;
    m_top->setGeometry(0, 0, cw, topHeight);
    m_bottom->setGeometry(0, std::max(topHeight, ch - bottomHeight), cw, bottomHeight);
    const int middleTop = topHeight;
    const int middleHeight = std::max(0, ch - topHeight - bottomHeight);
    // 1.
    const int rightWidth = cw / 2;
    m_rightPanel->setGeometry(cw - rightWidth, middleTop, rightWidth, middleHeight);
    m_leftPanel->setGeometry(0, middleTop, cw - rightWidth, middleHeight);
    // 2. and 3.
    m_btn1->move((W - m_btn1->width() - m_btn3->width() - 25) / 2, 5);
    m_btn3->move(m_btn1->x() + m_btn1->width() + 25, 5);
    m_btn2->move((W - m_btn1->width() - m_btn4->width() - 25) / 2, 34);
    m_btn4->move(m_btn2->x() + m_btn2->width() + 25, 34);
    // 4.
    m_label2->move((W - m_label2->width() - m_label1->width()) / 4, 8);
    m_label1->move(3 * m_label2->x() + m_label2->width(), 8);
    m_label3->move((W - m_label3->width()) / 2, 6);
    // In a narrow dialog those places put the headings over the arrow; they
    // are then spread with equal gaps instead.
    if (m_label2->geometry().right() >= m_label3->x() || m_label3->geometry().right() >= m_label1->x()
        || m_label1->geometry().right() >= cw) {
        const int gap = std::max(0, (cw - m_label2->width() - m_label3->width() - m_label1->width()) / 4);
        m_label2->move(gap, 8);
        m_label3->move(m_label2->x() + m_label2->width() + gap, 6);
        m_label1->move(m_label3->x() + m_label3->width() + gap, 8);
    }
    // 5.
    m_leftText->setGeometry(10, 35, m_leftPanel->width() - 20, 16);
    m_rightText->setGeometry(m_leftPanel->width() + 10, 35, m_leftText->width(), 16);
    m_leftName->setGeometry(m_leftText->x(), 53, m_leftText->width(), 16);
    m_rightName->setGeometry(m_rightText->x(), 53, m_rightText->width(), 16);
    // 6.
    ShowSide(m_source, m_sourcePicture, m_sourceLoaded, m_leftPanel, m_leftImage, m_leftLabel, m_leftText, m_leftName);
    ShowSide(m_destination, m_destinationPicture, m_destinationLoaded, m_rightPanel, m_rightImage, m_rightLabel,
             m_rightText, m_rightName);
}

void TfSame::ShowSide(const QString& path, TPicture& picture, bool loaded, QFrame* panel, TImageControl* image,
                      QLabel* label, QLabel* text, QLabel* nameLine)
{
    QString info;
    QString shownName;
    QString whole;
    QString name;
    if (loaded) {
        // A long name is shortened in its middle and a size line too wide
        // for a narrow dialog at its end; the tips hold them whole.
        name = platform::DisplayFileName(FileNameOf(path));
        const qint64 size = FileSizeOf(path);
        const int available = text->contentsRect().width() - 2 * text->margin() - 4;
        info = text->fontMetrics().elidedText(SameSizeLine(picture.Width(), picture.Height(), size), Qt::ElideRight,
                                              available);
        shownName = FittedSameNameLine(nameLine->fontMetrics(), available, name);
        whole = SameInfoLine(picture.Width(), picture.Height(), size, name);
        FitInput in;
        in.areaWidth = panel->width();
        in.areaHeight = panel->height();
        in.position = 0;
        in.pictureWidth = picture.Width();
        in.pictureHeight = picture.Height();
        in.zoom = m_zoom;
        in.spread = false;
        in.menuHeight = 0;
        image->setGeometry(FitPictureRect(in));
        image->SetGraphic(picture.Graphic());
        image->show();
        label->hide();
    } else {
        label->adjustSize();
        label->move((panel->width() - label->width()) / 2, (panel->height() - label->height()) / 2);
        label->show();
        image->Clear();
    }
    text->setText(info);
    text->setToolTip(whole);
    nameLine->setText(shownName);
    nameLine->setToolTip(name);
    text->repaint();
    nameLine->repaint();
}
