#include "dialogs/OptionDialog.h"

#include "dialogs/DialogSupport.h"
#include "platform/Files.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QToolButton>

namespace {

constexpr int kListRow = 13; // height of one row of the application list
constexpr int kMaxApplications = 5;

QLabel* label(const QString& name, const QString& text, QWidget* parent, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->move(x, y);
    l->adjustSize();
    return l;
}

} // namespace

TfOption::TfOption(QWidget* owner, Settings& settings, const QStringList& applications, IOptionTarget& target)
    : QDialog(owner),
      m_settings(settings),
      m_applications(applications),
      m_target(target),
      m_browse(std::make_unique<TplBrowseFolder>(this))
{
    setObjectName(QStringLiteral("fOption"));
    setWindowTitle(QStringLiteral("各種設定"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(304, 362);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Panel1: interval and button count.
    m_panel1 = new QFrame(this);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_panel1->setGeometry(8, 8, 289, 65);
    label(QStringLiteral("Label1"), QStringLiteral("スライドショー表示間隔"), m_panel1, 10, 12);
    m_spin1 = new TArrowSpinEdit(0, 20, 1, m_panel1);
    m_spin1->setObjectName(QStringLiteral("SpinEdit1"));
    m_spin1->setGeometry(146, 8, 40, 22);
    label(QStringLiteral("Label2"), QStringLiteral("秒"), m_panel1, 189, 12);
    m_spin3 = new TArrowSpinEdit(0, 900, 100, m_panel1);
    m_spin3->setObjectName(QStringLiteral("SpinEdit3"));
    m_spin3->setGeometry(205, 8, 50, 22);
    label(QStringLiteral("Label5"), QStringLiteral("m秒"), m_panel1, 258, 12);
    label(QStringLiteral("Label3"), QStringLiteral("転送ボタン数"), m_panel1, 10, 40);
    m_spin2 = new TArrowSpinEdit(1, 10, 1, m_panel1);
    m_spin2->setObjectName(QStringLiteral("SpinEdit2"));
    m_spin2->setGeometry(146, 36, 40, 22);
    label(QStringLiteral("Label4"), QStringLiteral("個"), m_panel1, 189, 40);

    // numbering1: a radio group of two columns.
    m_numbering = new QGroupBox(QStringLiteral("同ファイル名時、自動連番機能(コピー・移動)"), this);
    m_numbering->setObjectName(QStringLiteral("numbering1"));
    m_numbering->setGeometry(8, 80, 289, 41);
    m_numberingOn = new QRadioButton(QStringLiteral("on"), m_numbering);
    m_numberingOn->setObjectName(QStringLiteral("numbering1_on"));
    m_numberingOn->setGeometry(10, 17, 130, 20);
    m_numberingOff = new QRadioButton(QStringLiteral("off"), m_numbering);
    m_numberingOff->setObjectName(QStringLiteral("numbering1_off"));
    m_numberingOff->setGeometry(150, 17, 130, 20);

    // GroupBox1: the application list with its row numbers and buttons.
    m_group1 = new QGroupBox(QStringLiteral("起動アプリケーション"), this);
    m_group1->setObjectName(QStringLiteral("GroupBox1"));
    m_group1->setGeometry(8, 128, 289, 121);
    m_list = new QListWidget(m_group1);
    m_list->setObjectName(QStringLiteral("ListBox1"));
    m_list->setGeometry(23, 15, 263, 73);
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideMiddle);
    for (int row = 0; row < kMaxApplications; ++row) {
        QLabel* number = label(QStringLiteral("No%1").arg(row + 1), QStringLiteral("%1.").arg(row + 1), m_group1, 8,
                               15 + m_list->frameWidth() + row * kListRow);
        number->setFixedHeight(kListRow);
        number->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    const struct {
        const char* hint;
        Glyph glyph;
    } buttons[] = {{"追加", Glyph::Add}, {"削除", Glyph::Remove}, {"上へ", Glyph::Up}, {"下へ", Glyph::Down}};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(m_group1);
        b->setObjectName(QStringLiteral("SpeedButton%1").arg(i + 1));
        b->setToolTip(QString::fromUtf8(buttons[i].hint));
        b->setIcon(GlyphIcon(buttons[i].glyph));
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(23 + i * 30, 92, 25, 23);
        m_speed[i] = b;
    }

    // GroupBox2: the plug-in folder.
    m_group2 = new QGroupBox(QStringLiteral("Susie Plug-in インストール\u3000Directory"), this);
    m_group2->setObjectName(QStringLiteral("GroupBox2"));
    m_group2->setGeometry(8, 256, 289, 41);
    m_edit1 = new QLineEdit(m_group2);
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setGeometry(8, 15, 245, 21);
    m_speed[4] = new QToolButton(m_group2);
    m_speed[4]->setObjectName(QStringLiteral("SpeedButton5"));
    m_speed[4]->setIcon(GlyphIcon(Glyph::Folder));
    m_speed[4]->setFocusPolicy(Qt::NoFocus);
    m_speed[4]->setGeometry(257, 14, 25, 23);

    m_autoRotate = new QCheckBox(QStringLiteral("Exif の回転情報に従う"), this);
    m_autoRotate->setObjectName(QStringLiteral("AutoRotate1"));
    m_autoRotate->setGeometry(16, 303, 273, 20);

    m_ok = new QPushButton(GlyphIcon(Glyph::Ok), QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("BitBtn1"));
    m_ok->setGeometry(65, 330, 82, 25);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(GlyphIcon(Glyph::Cancel), QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("BitBtn2"));
    m_cancel->setGeometry(161, 330, 82, 25);

    connect(m_ok, &QPushButton::clicked, this, &TfOption::BitBtn1Click);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_speed[0], &QToolButton::clicked, this, &TfOption::SpeedButton1Click);
    connect(m_speed[1], &QToolButton::clicked, this, &TfOption::SpeedButton2Click);
    connect(m_speed[2], &QToolButton::clicked, this, &TfOption::SpeedButton3Click);
    connect(m_speed[3], &QToolButton::clicked, this, &TfOption::SpeedButton4Click);
    connect(m_speed[4], &QToolButton::clicked, this, &TfOption::SpeedButton5Click);
    setTabOrder(m_numberingOn, m_list);
    setTabOrder(m_list, m_edit1);
    setTabOrder(m_edit1, m_autoRotate);
    setTabOrder(m_autoRotate, m_ok);
    setTabOrder(m_ok, m_cancel);

    FormCreate();
}

TfOption::~TfOption() = default;

void TfOption::FormCreate()
{
    const OptionChoice start = OptionChoiceOf(m_settings, m_applications);
    m_spin1->setValue(start.Interval);
    m_spin3->setValue(start.IntervalM);
    m_spin2->setValue(start.nButton);
    SetNumberingIndex(start.Numbering ? 0 : 1);
    m_edit1->setText(start.PluginDir);
    m_autoRotate->setChecked(start.AutoRotate);
}

void TfOption::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CenterOver(this, parentWidget());
        FormShow();
    }
}

void TfOption::FormShow()
{
    m_list->clear();
    m_list->addItems(m_applications);
    for (int row = 0; row < m_list->count(); ++row)
        m_list->item(row)->setSizeHint(QSize(0, kListRow));
}

int TfOption::NumberingIndex() const
{
    if (m_numberingOn->isChecked())
        return 0;
    if (m_numberingOff->isChecked())
        return 1;
    return -1;
}

void TfOption::SetNumberingIndex(int index)
{
    (index == 0 ? m_numberingOn : m_numberingOff)->setChecked(true);
}

QStringList TfOption::Applications() const
{
    QStringList out;
    for (int row = 0; row < m_list->count(); ++row)
        out << m_list->item(row)->text();
    return out;
}

OptionChoice TfOption::Choice() const
{
    OptionChoice choice;
    choice.Interval = m_spin1->value();
    choice.IntervalM = m_spin3->value();
    choice.nButton = m_spin2->value();
    choice.Numbering = NumberingIndex() == 0;
    choice.Applications = Applications();
    choice.PluginDir = m_edit1->text();
    choice.AutoRotate = m_autoRotate->isChecked();
    return choice;
}

void TfOption::BitBtn1Click()
{
    ApplyOptionDialogSide(Choice(), m_settings, m_target);
    accept();
}

void TfOption::SpeedButton1Click()
{
    m_browse->SetCaption(QStringLiteral("起動アプリケーション指定ダイアログ"));
    // Just right of the add button.
    const QPoint rightOfButton = m_speed[0]->mapToGlobal(QPoint(m_speed[0]->width(), 0));
    m_browse->SetFormTop(frameGeometry().top());
    m_browse->SetFormLeft(rightOfButton.x());
    m_browse->Options |= bifBrowseIncludeFiles;
    if (!m_browse->Execute())
        return;
    if (m_list->count() >= kMaxApplications)
        delete m_list->takeItem(0);
    m_list->addItem(m_browse->Directory());
    m_list->item(m_list->count() - 1)->setSizeHint(QSize(0, kListRow));
}

void TfOption::SpeedButton2Click()
{
    const int row = m_list->currentRow();
    if (row >= 0 && m_list->currentItem() && m_list->currentItem()->isSelected())
        delete m_list->takeItem(row);
}

void TfOption::SpeedButton3Click()
{
    const int row = m_list->currentRow();
    if (row <= 0 || !m_list->currentItem()->isSelected())
        return;
    QListWidgetItem* item = m_list->takeItem(row);
    m_list->insertItem(row - 1, item);
    m_list->setCurrentRow(row - 1);
}

void TfOption::SpeedButton4Click()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_list->count() - 1 || !m_list->currentItem()->isSelected())
        return;
    QListWidgetItem* item = m_list->takeItem(row);
    m_list->insertItem(row + 1, item);
    m_list->setCurrentRow(row + 1);
}

void TfOption::SpeedButton5Click()
{
    if (platform::DirectoryExists(m_edit1->text()))
        m_pluginBrowseFolder = m_edit1->text();
    m_browse->SetInitDir(m_pluginBrowseFolder);
    if (m_browse->Execute())
        m_edit1->setText(m_browse->Directory());
}
