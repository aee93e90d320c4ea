#include "dialogs/ShortcutDialog.h"

#include "dialogs/DialogSupport.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ProgramLocation.h"
#include "platform/SpecialFolders.h"
#include "viewer/common/SharedHelpers.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QToolButton>

namespace {

const QString kProductName = QStringLiteral("ミレット");
const QString kDescription = QStringLiteral("ミレットのショートカット作成");

QString onOff(bool on)
{
    return on ? QStringLiteral("On") : QStringLiteral("Off");
}

QString repeatText(int repeat)
{
    if (repeat == 1)
        return QStringLiteral("On");
    if (repeat == 0)
        return QStringLiteral("Off");
    return QStringLiteral("Exit");
}

QLabel* label(const QString& name, const QString& text, QWidget* parent, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QRadioButton* radio(int n, const QString& text, QWidget* parent, int x, int y)
{
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QStringLiteral("RadioButton%1").arg(n));
    r->setGeometry(x, y, 60, 20);
    return r;
}

// Creates a folder together with its missing parents.
void makeFolders(const QString& path)
{
    if (path.isEmpty() || platform::DirectoryExists(path))
        return;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        makeFolders(path.left(slash));
    platform::CreateDirectory(path);
}

QGroupBox* group(const QString& name, const QString& title, QWidget* parent, QRect geometry)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(name);
    g->setGeometry(geometry);
    return g;
}

} // namespace

QString IntervalSecondsText(int interval, int intervalM)
{
    const double seconds = interval + intervalM / 1000.0;
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(seconds, 'g', QLocale::FloatingPointShortest);
}

QStringList MakeSwitchArguments(const ShortcutChoice& c)
{
    return {c.PictureFolder,
            QStringLiteral("/Time=") + IntervalSecondsText(c.Interval, c.IntervalM),
            QStringLiteral("/Auto=") + onOff(c.Auto),
            QStringLiteral("/Box=") + onOff(c.Box),
            QStringLiteral("/Button=") + onOff(c.Button),
            QStringLiteral("/Full=") + onOff(c.Full),
            QStringLiteral("/Zoom=") + onOff(c.Zoom),
            QStringLiteral("/Repeat=") + repeatText(c.Repeat)};
}

QString MakeSwitchLine(const ShortcutChoice& choice)
{
    const QStringList args = MakeSwitchArguments(choice);
    QString line = QLatin1Char('"') + args.first() + QLatin1Char('"');
    for (qsizetype i = 1; i < args.size(); ++i)
        line += QLatin1Char(' ') + args[i];
    return line;
}

TfShortCut::TfShortCut(QWidget* owner, Settings& settings)
    : QDialog(owner),
      ProgramPath(platform::ProgramFilePath()),
      m_settings(settings),
      m_browse(std::make_unique<TplBrowseFolder>(this))
{
    setObjectName(QStringLiteral("fShortCut"));
    setWindowTitle(QStringLiteral("ショートカットの作成"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(280, 420);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    QGroupBox* slide =
        group(QStringLiteral("GroupBox1"), QStringLiteral("スライドショーの設定"), this, QRect(8, 8, 265, 73));
    label(QStringLiteral("Label1"), QStringLiteral("表示間隔"), slide, 10, 22);
    m_spin1 = new TArrowSpinEdit(0, 20, 1, slide);
    m_spin1->setObjectName(QStringLiteral("SpinEdit1"));
    m_spin1->setGeometry(70, 18, 45, 22);
    label(QStringLiteral("Label2"), QStringLiteral("秒"), slide, 119, 22);
    m_spin3 = new TArrowSpinEdit(0, 900, 100, slide);
    m_spin3->setObjectName(QStringLiteral("SpinEdit3"));
    m_spin3->setGeometry(140, 18, 55, 22);
    label(QStringLiteral("Label5"), QStringLiteral("m秒"), slide, 199, 22);
    label(QStringLiteral("Label6"), QStringLiteral("起動時に自動的に開始"), slide, 10, 49);
    m_radio[2] = radio(3, QStringLiteral("On"), slide, 140, 46);
    m_radio[3] = radio(4, QStringLiteral("Off"), slide, 200, 46);

    QGroupBox* box = group(QStringLiteral("GroupBox2"), QStringLiteral("Tool Boxの表示"), this, QRect(8, 88, 129, 41));
    m_radio[0] = radio(1, QStringLiteral("On"), box, 10, 17);
    m_radio[1] = radio(2, QStringLiteral("Off"), box, 70, 17);
    QGroupBox* button =
        group(QStringLiteral("GroupBox3"), QStringLiteral("転送ボタンの表示"), this, QRect(144, 88, 129, 41));
    m_radio[6] = radio(7, QStringLiteral("On"), button, 10, 17);
    m_radio[7] = radio(8, QStringLiteral("Off"), button, 70, 17);
    QGroupBox* full = group(QStringLiteral("GroupBox4"), QStringLiteral("全画面表示"), this, QRect(8, 136, 129, 41));
    m_radio[4] = radio(5, QStringLiteral("On"), full, 10, 17);
    m_radio[5] = radio(6, QStringLiteral("Off"), full, 70, 17);
    QGroupBox* zoom =
        group(QStringLiteral("GroupBox5"), QStringLiteral("自動拡大表示"), this, QRect(144, 136, 129, 41));
    m_radio[8] = radio(9, QStringLiteral("On"), zoom, 10, 17);
    m_radio[9] = radio(10, QStringLiteral("Off"), zoom, 70, 17);
    QGroupBox* repeat =
        group(QStringLiteral("GroupBox6"), QStringLiteral("リピート設定"), this, QRect(8, 184, 265, 41));
    repeat->setToolTip(QStringLiteral("スライドショーのリピート設定"));
    m_radio[10] = radio(11, QStringLiteral("On"), repeat, 10, 17);
    m_radio[11] = radio(12, QStringLiteral("Off"), repeat, 90, 17);
    m_radio[12] = radio(13, QStringLiteral("Exit"), repeat, 170, 17);
    m_radio[10]->setToolTip(QStringLiteral("スライドショーを繰り返しし続ける"));
    m_radio[11]->setToolTip(QStringLiteral("スライドショーは一回のみで終わるが、本ソフトはそのまま。"));
    m_radio[12]->setToolTip(QStringLiteral("スライドショーを一回終了後、本ソフトも終了する。"));

    label(QStringLiteral("Label4"), QStringLiteral("表示画像フォルダ"), this, 8, 232);
    m_edit1 = new QLineEdit(this);
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setGeometry(8, 248, 241, 21);
    m_browseButton = new QToolButton(this);
    m_browseButton->setObjectName(QStringLiteral("SpeedButton1"));
    m_browseButton->setIcon(GlyphIcon(Glyph::Folder));
    m_browseButton->setFocusPolicy(Qt::NoFocus);
    m_browseButton->setGeometry(252, 247, 22, 23);

    QLabel* nameLabel =
        label(QStringLiteral("Label3"), QStringLiteral("ショートカット名(.lnk:拡張子自動付加)"), this, 8, 272);
    nameLabel->setToolTip(QStringLiteral("拡張子はつけない"));
    m_edit2 = new QLineEdit(this);
    m_edit2->setObjectName(QStringLiteral("Edit2"));
    m_edit2->setGeometry(8, 288, 241, 21);
    m_edit2->setToolTip(QStringLiteral("拡張子はつけない"));

    m_placeGroup =
        group(QStringLiteral("RadioGroup1"), QStringLiteral("ショートカット作成場所"), this, QRect(8, 315, 265, 57));
    const QString places[3] = {QStringLiteral("デスクトップ"), QStringLiteral("プログラム"),
                               QStringLiteral("マイ\u3000コンピュータ")};
    for (int i = 0; i < 3; ++i) {
        m_place[i] = new QRadioButton(places[i], m_placeGroup);
        m_place[i]->setObjectName(QStringLiteral("RadioGroup1_%1").arg(i));
        m_place[i]->setGeometry(10 + (i % 2) * 130, 17 + (i / 2) * 19, i == 2 ? 245 : 120, 19);
    }

    m_create = new QPushButton(GlyphIcon(Glyph::Ok), QStringLiteral("ショートカット作成"), this);
    m_create->setObjectName(QStringLiteral("BitBtn1"));
    m_create->setGeometry(16, 384, 138, 25);
    m_create->setDefault(true);
    m_cancel = new QPushButton(GlyphIcon(Glyph::Cancel), QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("BitBtn2"));
    m_cancel->setGeometry(176, 384, 90, 25);

    connect(m_create, &QPushButton::clicked, this, &TfShortCut::BitBtn1Click);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_browseButton, &QToolButton::clicked, this, &TfShortCut::SpeedButton1Click);

    FormCreate();
}

TfShortCut::~TfShortCut() = default;

void TfShortCut::FormCreate()
{
    const auto& s = m_settings.ShortCut;
    m_spin1->setValue(s.Interval);
    m_spin3->setValue(s.IntervalM);
    (s.Auto ? m_radio[2] : m_radio[3])->setChecked(true);
    (s.Box ? m_radio[0] : m_radio[1])->setChecked(true);
    (s.Button ? m_radio[6] : m_radio[7])->setChecked(true);
    (s.Full ? m_radio[4] : m_radio[5])->setChecked(true);
    (s.Zoom ? m_radio[8] : m_radio[9])->setChecked(true);
    (s.Repeat == 1 ? m_radio[10] : s.Repeat == 0 ? m_radio[11] : m_radio[12])->setChecked(true);
    m_edit1->setText(s.PictureFolder);
    SetMakePlace(s.MakePlace);
}

void TfShortCut::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        CenterOver(this, parentWidget());
}

int TfShortCut::MakePlace() const
{
    for (int i = 0; i < 3; ++i) {
        if (m_place[i]->isChecked())
            return i;
    }
    return -1;
}

void TfShortCut::SetMakePlace(int item)
{
    if (item >= 0 && item < 3)
        m_place[item]->setChecked(true);
}

ShortcutChoice TfShortCut::Choice() const
{
    ShortcutChoice c;
    c.PictureFolder = m_edit1->text();
    c.Interval = m_spin1->value();
    c.IntervalM = m_spin3->value();
    c.Auto = m_radio[2]->isChecked();
    c.Box = m_radio[0]->isChecked();
    c.Button = m_radio[6]->isChecked();
    c.Full = m_radio[4]->isChecked();
    c.Zoom = m_radio[8]->isChecked();
    c.Repeat = m_radio[10]->isChecked() ? 1 : m_radio[11]->isChecked() ? 0 : -1;
    return c;
}

QString TfShortCut::MakeSwitchLine() const
{
    return ::MakeSwitchLine(Choice());
}

QStringList TfShortCut::MakeSwitchArguments() const
{
    return ::MakeSwitchArguments(Choice());
}

void TfShortCut::SpeedButton1Click()
{
    if (platform::DirectoryExists(m_edit1->text()))
        m_pictureBrowseFolder = m_edit1->text();
    m_browse->SetInitDir(m_pictureBrowseFolder);
    if (m_browse->Execute())
        m_edit1->setText(m_browse->Directory());
}

QString TfShortCut::PlaceFolder(bool& cancelled)
{
    cancelled = false;
    const int item = MakePlace();
    if (item != 1 && item != 2)
        return SpecialFolderPath(platform::CSIDL_DESKTOP);
    m_browse->RootSpecialDir = item == 1 ? sfProgrmas : sfDrives;
    if (item == 1) {
        // The user's applications folder is where desktop entries belong;
        // it is made when it is missing, as desktop environments do.
        const QString programs = SpecialFolderPath(platform::CSIDL_PROGRAMS);
        makeFolders(programs);
    }
    if (!m_browse->Execute()) {
        cancelled = true;
        return QString();
    }
    return m_browse->Directory();
}

void TfShortCut::BitBtn1Click()
{
    // 1.
    if (!platform::DirectoryExists(m_edit1->text())) {
        platform::Beep();
        platform::MessageBox(this, QStringLiteral("画像フォルダ名が不適切です。"), platform::MsgIcon::Error,
                             platform::MsgOk);
        return;
    }
    // The entry is started from another folder: a folder typed relative to
    // this program's current folder is written as the absolute path.
    if (!m_edit1->text().startsWith(QLatin1Char('/')))
        m_edit1->setText(platform::CanonicalPath(m_edit1->text()));
    // 2.
    QString name = m_edit2->text().trimmed();
    m_edit2->setText(name);
    if (name.isEmpty()) {
        name = kProductName;
        m_edit2->setText(name);
    }
    // 3. and 4.
    bool cancelled = false;
    QString place = PlaceFolder(cancelled);
    const bool onDesktop = MakePlace() != 1 && MakePlace() != 2;
    if (onDesktop && !platform::DirectoryExists(place)) {
        // A fresh account may have no desktop folder: say so instead of a
        // bare beep, so the user knows to choose another place.
        const QString text =
            place.isEmpty()
                ? QStringLiteral("デスクトップのフォルダが見つかりません。\n作成場所に別の場所を選んでください。")
                : QStringLiteral("デスクトップのフォルダ %1 がありません。\n作成場所に別の場所を選んでください。")
                      .arg(place);
        platform::MessageBox(this, text, platform::MsgIcon::Error, platform::MsgOk);
        return;
    }
    if (cancelled || !platform::DirectoryExists(place)) {
        platform::Beep();
        return;
    }
    // 5.
    if (place.endsWith(QLatin1Char('/')))
        place.chop(1);
    const QString link = place + QLatin1Char('/') + name + QStringLiteral(".lnk");
    const QString file = ShortcutFileName(link);
    // A name that is not a plain file name (a folder separator in it) cannot
    // be written as asked; it is reported like any other failure.
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0))) {
        platform::MessageBox(this, QStringLiteral("ショートカットの作成に失敗しました。"), platform::MsgIcon::Error,
                             platform::MsgOk);
        return;
    }
    // 6.
    if (platform::FileExists(file)
        && platform::MessageBox(this, QStringLiteral("上書きで作成してもいいですか？"), platform::MsgIcon::Question,
                                platform::MsgOk | platform::MsgCancel)
               != platform::MsgOk)
        return;
    // 7.
    const bool failed = MakeShortcutFile(link, ProgramPath, MakeSwitchArguments(), QString(), kDescription);
    // 8.
    if (failed) {
        platform::MessageBox(this, QStringLiteral("ショートカットの作成に失敗しました。"), platform::MsgIcon::Error,
                             platform::MsgOk);
        return;
    }
    // 9.
    const ShortcutChoice c = Choice();
    auto& s = m_settings.ShortCut;
    s.Interval = c.Interval;
    s.IntervalM = c.IntervalM;
    s.MakePlace = MakePlace() < 0 ? 0 : MakePlace();
    s.PictureFolder = c.PictureFolder;
    s.Auto = c.Auto;
    s.Box = c.Box;
    s.Button = c.Button;
    s.Full = c.Full;
    s.Zoom = c.Zoom;
    s.Repeat = c.Repeat;
    m_created = file;
    accept();
}
