#include "organize/ToolBox.h"

#include "organize/Glyphs.h"
#include "organize/TransferEngine.h"
#include "platform/FileNames.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "viewer/ViewerSession.h"
#include "viewer/common/DropPaths.h"
#include "viewer/common/SharedHelpers.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include <algorithm>

namespace {

QToolButton* speedButton(QWidget* parent, const char* name, QRect place, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    return button;
}

// The caption editor: losing the focus ends the editing.
class CaptionEdit : public QLineEdit {
public:
    CaptionEdit(QWidget* parent, std::function<void()> onExit) : QLineEdit(parent), m_onExit(std::move(onExit)) {}

protected:
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        if (m_onExit)
            m_onExit();
    }
    // Enter ends the editing (through returnPressed) and goes no further:
    // left unaccepted it would reach the window and step the picture.
    void keyPressEvent(QKeyEvent* event) override
    {
        QLineEdit::keyPressEvent(event);
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            event->accept();
    }

private:
    std::function<void()> m_onExit;
};

} // namespace

// ---------------------------------------------------------------- TRadioGroup

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, QWidget* parent) : QWidget(parent)
{
    m_box = new QGroupBox(title, this);
    m_group = new QButtonGroup(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], m_box);
        radio->setFocusPolicy(Qt::NoFocus);
        m_group->addButton(radio, i);
        m_items.push_back(radio);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &TRadioGroup::clicked);
}

int TRadioGroup::ItemIndex() const
{
    return m_group->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < static_cast<int>(m_items.size()))
        m_items[static_cast<size_t>(index)]->setChecked(true);
}

QRadioButton* TRadioGroup::Item(int index) const
{
    return m_items.at(static_cast<size_t>(index));
}

// ---------------------------------------------------------------- TToolBox

TToolBox::TToolBox(ViewerSession& session, const ViewerActions& actions, TTransferEngine& engine, BrowseFunction browse,
                   QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint),
      m_session(session),
      m_actions(actions),
      m_engine(engine),
      m_browse(std::move(browse))
{
    setObjectName(QStringLiteral("ToolBox"));
    setWindowTitle(QStringLiteral("Tool Box"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);

    BackBtn = speedButton(this, "BackBtn", QRect(4, 3, 33, 33), QStringLiteral("前画像"));
    BackBtn->setIcon(MakeGlyph(Glyph::Back));
    AutoBtn = speedButton(this, "AutoBtn", QRect(43, 7, 33, 25), QStringLiteral("スライド ショー"));
    AutoBtn->setText(QStringLiteral("Auto"));
    FrontBtn = speedButton(this, "FrontBtn", QRect(82, 3, 33, 33), QStringLiteral("次画像"));
    FrontBtn->setIcon(MakeGlyph(Glyph::Front));
    connect(BackBtn, &QToolButton::clicked, this, [this] { BtnClick(-1); });
    connect(AutoBtn, &QToolButton::clicked, this, [this] { BtnClick(0); });
    connect(FrontBtn, &QToolButton::clicked, this, [this] { BtnClick(1); });

    TrackBar = new QSlider(Qt::Horizontal, this);
    TrackBar->setObjectName(QStringLiteral("TrackBar"));
    TrackBar->setGeometry(0, 40, 116, 41);
    TrackBar->setPageStep(10);
    TrackBar->setTickPosition(QSlider::TicksAbove);
    TrackBar->setFocusPolicy(Qt::NoFocus);
    connect(TrackBar, &QSlider::valueChanged, this, [this] { TrackBarChange(); });

    CheckBox1 = new QCheckBox(QStringLiteral("自動拡大"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->move(8, 82);
    CheckBox1->setFocusPolicy(Qt::NoFocus);
    CheckBox2 = new QCheckBox(QStringLiteral("フルスクリーン"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->move(8, 98);
    CheckBox2->setFocusPolicy(Qt::NoFocus);
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });

    rgState = new TRadioGroup(
        QStringLiteral("表示形式"),
        {QStringLiteral("単ページ"), QStringLiteral("見開き(奇数)"), QStringLiteral("見開き(偶数)")}, this);
    rgState->setObjectName(QStringLiteral("rgState"));
    rgState->setGeometry(8, 120, 105, 69);
    rgOrient = new TRadioGroup(QStringLiteral("表示方向"), {QStringLiteral("左→右"), QStringLiteral("左←右")}, this);
    rgOrient->setObjectName(QStringLiteral("rgOrient"));
    rgOrient->setGeometry(8, 189, 105, 53);
    for (TRadioGroup* group : {rgState, rgOrient}) {
        auto* box = group->findChild<QGroupBox*>();
        box->setGeometry(0, 0, group->width(), group->height());
        int y = 15;
        for (QRadioButton* radio : box->findChildren<QRadioButton*>()) {
            radio->setGeometry(8, y, group->width() - 12, 17);
            y += 17;
        }
    }
    connect(rgState, &TRadioGroup::clicked, this, [this] { rgStateClick(); });
    connect(rgOrient, &TRadioGroup::clicked, this, [this] { rgOrientClick(); });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    const struct {
        const char* name;
        const char* caption;
        int tag;
        Glyph glyph;
    } orders[] = {
        {"sort_random", "ランダム", 1, Glyph::Random},
        {"sort_normal", "正順", 2, Glyph::Normal},
        {"sort_reverse", "逆順", 3, Glyph::Reverse},
    };
    for (const auto& o : orders) {
        QAction* item = PopupMenu2->addAction(MakeGlyph(o.glyph), QString::fromUtf8(o.caption));
        item->setObjectName(QString::fromLatin1(o.name));
        item->setData(o.tag);
        connect(item, &QAction::triggered, this, [this, tag = o.tag] { list_click(tag); });
    }
    Button1 = new QToolButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 248, 106, 25);
    Button1->setPopupMode(QToolButton::MenuButtonPopup);
    Button1->setMenu(PopupMenu2);
    Button1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Button1->setFocusPolicy(Qt::NoFocus);
    connect(Button1, &QToolButton::clicked, this, [this] { Button1Click(); });

    NameChangeBtn = new QPushButton(QStringLiteral("ファイル名変更"), this);
    NameChangeBtn->setObjectName(QStringLiteral("NameChangeBtn"));
    NameChangeBtn->setGeometry(8, 279, 105, 25);
    connect(NameChangeBtn, &QPushButton::clicked, this, [this] { m_engine.RenameCurrent(); });

    BtnDoor = speedButton(this, "BtnDoor", QRect(8, 309, 35, 20), QStringLiteral("転送ボタンの開閉"));
    BtnDoor->setIcon(MakeGlyph(Glyph::Door));
    connect(BtnDoor, &QToolButton::clicked, this, &TToolBox::transferToggleRequested);
    DeleteBtn =
        speedButton(this, "DeleteBtn", QRect(56, 307, 57, 25), QStringLiteral("ゴミ箱を利用したファイルの削除"));
    DeleteBtn->setText(QStringLiteral("削除"));
    connect(DeleteBtn, &QToolButton::clicked, this, [this] { BtnClick(-9); });

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel1->setGeometry(0, kBevelTop, kClientWidth, 2);

    TurnbackBtn = speedButton(this, "TurnbackBtn", QRect(2, 343, 25, 25), QStringLiteral("復活"));
    TurnbackBtn->setIcon(MakeGlyph(Glyph::Turnback));
    connect(TurnbackBtn, &QToolButton::clicked, this, [this] { m_engine.UndoLastMove(); });
    FileCopy1 = speedButton(this, "FileCopy1", QRect(28, 343, 25, 25), QStringLiteral("画像ファイルの複写"));
    FileCopy1->setIcon(MakeGlyph(Glyph::FileCopy));
    FileCopy1->installEventFilter(this);
    BtnCopy = speedButton(this, "BtnCopy", QRect(54, 343, 30, 25), QString());
    BtnCopy->setText(QStringLiteral("複写"));
    BtnMove = speedButton(this, "BtnMove", QRect(84, 343, 30, 25), QString());
    BtnMove->setText(QStringLiteral("移動"));
    m_modeGroup = new QButtonGroup(this);
    for (QToolButton* b : {BtnCopy, BtnMove}) {
        QFont bold = b->font();
        bold.setBold(true);
        b->setFont(bold);
        b->setCheckable(true);
        m_modeGroup->addButton(b);
    }
    m_modeGroup->setExclusive(true);
    connect(BtnCopy, &QToolButton::clicked, this, [this] { BtnCMCheck(1); });
    connect(BtnMove, &QToolButton::clicked, this, [this] { BtnCMCheck(2); });

    myEdit = new CaptionEdit(this, [this] { myEditExit(); });
    myEdit->setObjectName(QStringLiteral("myEdit"));
    myEdit->hide();
    connect(myEdit, &QLineEdit::returnPressed, this, [this] { myEditExit(); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const struct {
        const char* name;
        const char* caption;
        void (TToolBox::*handler)();
    } items[] = {
        {"N1", "転送先", &TToolBox::ChoiceFolder},
        {"N4", "転送先→実行時選択", &TToolBox::RunChoiceClick},
        {"N2", "転送先 消去", &TToolBox::FolderErase},
        {"N3", "表示名", &TToolBox::ButtonNameClick},
    };
    for (const auto& item : items) {
        QAction* action = PopupMenu1->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        connect(action, &QAction::triggered, this, item.handler);
    }

    // The undo button follows the main window's undo command, which the
    // main window also switches off when a new list is loaded.
    QAction* undo = m_actions.MoveUndo1;
    connect(undo, &QAction::changed, this, [this, undo] { TurnbackBtn->setEnabled(undo->isEnabled()); });

    // The controls follow the session.
    connect(&m_session, &ViewerSession::listChanged, this, &TToolBox::RefreshNavControls);
    connect(&m_session, &ViewerSession::pageChanged, this, &TToolBox::SetTrackPosition);
    connect(&m_session, &ViewerSession::copyModeChanged, this, &TToolBox::ShowCopyMode);
    connect(&m_session, &ViewerSession::undoRecordChanged, this, &TToolBox::RefreshUndoControls);
    connect(&m_session, &ViewerSession::organizingChanged, this, &TToolBox::EnableOrganizingButtons);
    connect(&m_session, &ViewerSession::playOrderChanged, this, &TToolBox::ShowPlayOrder);
    connect(&m_session, &ViewerSession::fullScreenChanged, this, &TToolBox::ShowFullScreen);
    connect(&m_session, &ViewerSession::displayFormChanged, this, &TToolBox::DisplayFormChanged);
    connect(&m_session, &ViewerSession::zoomChanged, CheckBox1, &QCheckBox::setChecked);
    connect(&m_session, &ViewerSession::transferOpenChanged, this, [this] { SetTransferArea(); });
    connect(&m_session, &ViewerSession::transferButtonsChanged, this, [this] { SetTransferArea(); });

    AutoBtn->installEventFilter(this);
    WatchKeys(this);
    for (QWidget* child : findChildren<QWidget*>())
        WatchKeys(child);
    setFixedSize(kClientWidth, kBevelTop);
}

TToolBox::~TToolBox()
{
    UnregisterDropTarget(this);
}

void TToolBox::WatchKeys(QWidget* widget)
{
    if (widget != myEdit)
        widget->installEventFilter(this);
}

void TToolBox::FormCreate()
{
    const Settings& config = m_session.Config();
    CheckBox1->setChecked(config.Option.Zoom);
    CheckBox2->setChecked(m_session.State().FullScreen);
    rgState->SetItemIndex(config.Tool.State);
    rgOrient->SetItemIndex(config.Tool.Orient);
    rgOrient->setEnabled(config.Tool.State != 0);
    ShowCopyMode(config.Option.Copy);
    SetTransferArea();
    RefreshNavControls();
    m_session.ReapplyDisplayForm();
    m_editIndex = 0;
    ShowPlayOrder(m_session.State().PlayOrder);
}

void TToolBox::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

void TToolBox::FormShow()
{
    setAcceptDrops(true);
    RegisterDropTarget(this);
    const Settings& config = m_session.Config();
    QWidget* owner = parentWidget();
    if (config.Tool.Left == 0 && config.Tool.Top == 0 && owner && owner->isVisible()) {
        // Never placed yet: stand beside the owning window instead of on
        // top of its menu bar. On a first start the window manager places
        // that window only after this; the toolbox follows it for a moment.
        PlaceBesideMain();
        m_followMain = true;
        m_followClock.start();
        owner->installEventFilter(this);
    } else {
        setGeometry(config.Tool.Left, config.Tool.Top, width(), height());
    }
    RefreshUndoControls();
    KeepOnDesktop(this);
}

QPoint PlaceBeside(const QRect& main, const QSize& tool, const QRect& desktop)
{
    const int desktopRight = desktop.x() + desktop.width();
    int left;
    if (main.x() + main.width() + tool.width() <= desktopRight)
        left = main.x() + main.width();
    else if (main.x() - tool.width() >= desktop.x())
        left = main.x() - tool.width();
    else
        left = desktopRight - tool.width();
    const int lowest = desktop.y() + std::max(0, desktop.height() - tool.height());
    const int top = std::clamp(main.y(), desktop.y(), lowest);
    return {std::max(left, desktop.x()), top};
}

void TToolBox::PlaceBesideMain()
{
    const QWidget* owner = parentWidget();
    if (!owner)
        return;
    const QRect desktop = platform::DesktopRect();
    const QRect frame = owner->frameGeometry();
    // Before the toolbox is first mapped its frame is not known yet: a title
    // bar of the owner's height is allowed for.
    QSize tool = frameGeometry().size();
    if (tool == size())
        tool += owner->frameGeometry().size() - owner->size();
    // move() places the frame, title bar included.
    move(desktop.isEmpty() ? QPoint(frame.x() + frame.width(), frame.y()) : PlaceBeside(frame, tool, desktop));
}

void TToolBox::closeEvent(QCloseEvent* event)
{
    // FormCloseQuery: keep the place.
    Settings& config = m_session.Config();
    config.Tool.Top = geometry().top();
    config.Tool.Left = geometry().left();
    myEditExit();
    event->accept();
    // FormClose.
    UnregisterDropTarget(this);
    emit closed();
    deleteLater();
}

// ---------------------------------------------------------------- following the session

void TToolBox::RefreshNavControls()
{
    const int count = m_session.Images().Count();
    QAction* rename = m_actions.fNameChange1;
    if (count > 1) {
        for (QWidget* w :
             std::initializer_list<QWidget*>{BackBtn, FrontBtn, AutoBtn, TrackBar, DeleteBtn, NameChangeBtn})
            w->setEnabled(true);
        rename->setEnabled(true);
        const QSignalBlocker block(TrackBar);
        TrackBar->setMinimum(0);
        TrackBar->setMaximum(count - 1);
        TrackBar->setValue(m_session.State().CurrentIndex);
        TrackBar->setTickInterval(TrackBar->maximum() <= 40 ? 1 : 10);
    } else if (count == 1) {
        for (QWidget* w : std::initializer_list<QWidget*>{BackBtn, FrontBtn, AutoBtn, TrackBar})
            w->setEnabled(false);
        DeleteBtn->setEnabled(true);
        NameChangeBtn->setEnabled(true);
        rename->setEnabled(true);
    } else {
        for (QWidget* w :
             std::initializer_list<QWidget*>{BackBtn, FrontBtn, AutoBtn, TrackBar, DeleteBtn, NameChangeBtn})
            w->setEnabled(false);
        rename->setEnabled(false);
    }
}

void TToolBox::SetTrackPosition(int index)
{
    const QSignalBlocker block(TrackBar);
    TrackBar->setValue(index);
}

void TToolBox::ShowCopyMode(bool copy)
{
    (copy ? BtnCopy : BtnMove)->setChecked(true);
}

void TToolBox::EnableOrganizingButtons(bool on)
{
    DeleteBtn->setEnabled(on);
    BtnDoor->setEnabled(on);
    NameChangeBtn->setEnabled(on);
    if (!on)
        m_session.SetTransferOpen(false); // the transfer area closes
}

void TToolBox::ShowFullScreen(bool on)
{
    CheckBox2->setChecked(on);
}

void TToolBox::DisplayFormChanged()
{
    const Settings& config = m_session.Config();
    rgState->SetItemIndex(config.Tool.State);
    rgOrient->SetItemIndex(config.Tool.Orient);
    rgOrient->setEnabled(config.Tool.State != 0);
}

void TToolBox::ShowPlayOrder(int order)
{
    switch (order) {
    case 1:
        Button1->setText(QStringLiteral("ランダム"));
        Button1->setIcon(MakeGlyph(Glyph::Random));
        break;
    case 2:
        Button1->setText(QStringLiteral("正順"));
        Button1->setIcon(MakeGlyph(Glyph::Normal));
        break;
    case 3:
        Button1->setText(QStringLiteral("逆順"));
        Button1->setIcon(MakeGlyph(Glyph::Reverse));
        break;
    default:
        break;
    }
}

void TToolBox::RefreshUndoControls()
{
    TurnbackBtn->setEnabled(m_session.HasUndoRecord());
}

// ---------------------------------------------------------------- handlers

void TToolBox::BtnClick(int tag)
{
    myEditExit();
    ViewerSession& s = m_session;
    const int index = s.State().CurrentIndex;
    const int count = s.Images().Count();
    switch (tag) {
    case -1:
        s.StepImage(false);
        break;
    case 1:
        s.StepImage(true);
        break;
    case 0:
        s.ToggleSlideshow();
        break;
    case -9:
        if (s.Config().Tool.State == 0)
            s.DeleteCurrentImage();
        break;
    default:
        break;
    }
    if (s.State().CurrentIndex != index || s.Images().Count() != count)
        s.ShowPage();
}

void TToolBox::TrackBarChange()
{
    myEditExit();
    if (TrackBar->value() != m_session.State().CurrentIndex) {
        m_session.SetCurrentIndex(TrackBar->value());
        m_session.ShowPage();
    }
}

void TToolBox::BtnCMCheck(int tag)
{
    myEditExit();
    m_session.SetCopyMode(tag == 1);
}

void TToolBox::CheckBox1Click()
{
    m_session.SetZoom(CheckBox1->isChecked());
}

void TToolBox::CheckBox2Click()
{
    m_session.SetFullScreen(CheckBox2->isChecked());
}

void TToolBox::rgStateClick()
{
    rgOrient->setEnabled(rgState->ItemIndex() != 0);
    m_session.SetDisplayForm(rgState->ItemIndex());
}

void TToolBox::rgOrientClick()
{
    m_session.SetOrient(rgOrient->ItemIndex());
}

void TToolBox::Button1Click()
{
    if (m_session.State().PlayOrder == 1)
        m_session.ApplyPlayOrder(1);
}

void TToolBox::list_click(int order)
{
    m_session.SelectPlayOrder(order);
}

void TToolBox::FilesDropped(const QStringList& paths, const QPoint& position)
{
    if (paths.isEmpty())
        return;
    const QString path = paths.first();
    if (!platform::DirectoryExists(path)) {
        platform::Beep();
        platform::MessageBox(this, QStringLiteral("ボタンに、フォルダをドラッグ＆ドロップしてください。"),
                             platform::MsgIcon::Error, platform::MsgOk);
        return;
    }
    QWidget* target = childAt(position);
    for (size_t i = 0; i < TransferButtons.size(); ++i) {
        QPushButton* button = TransferButtons[i];
        if (target && (target == button || button->isAncestorOf(target))) {
            TransferButtonSetting& entry = m_session.Config().Option.Buttons[i];
            entry.Folder = path;
            entry.Caption = CaptionForFolder(path);
            DrawTransferButton(static_cast<int>(i));
            return;
        }
    }
}

void TToolBox::FileCopy1MouseDown()
{
    emit fileCopyDragRequested();
}

// ---------------------------------------------------------------- events

void TToolBox::mousePressEvent(QMouseEvent* event)
{
    myEditExit();
    QWidget::mousePressEvent(event);
}

void TToolBox::mouseMoveEvent(QMouseEvent* event)
{
    const QCursor* cursor = QApplication::overrideCursor();
    if (cursor && cursor->shape() == Qt::BlankCursor) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
    QWidget::mouseMoveEvent(event);
}

void TToolBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptDrops() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TToolBox::dropEvent(QDropEvent* event)
{
    const QStringList paths = DroppedPaths(event->mimeData());
    event->acceptProposedAction();
    FilesDropped(paths, event->position().toPoint());
}

bool TToolBox::ForwardKey(QKeyEvent* event)
{
    // The main window's commands have application-wide shortcuts; every
    // other key goes to the main window's key handling.
    emit keyTyped(event);
    return true;
}

bool TToolBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && watched != this) {
        if (m_followMain && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
            if (m_followClock.elapsed() < 3000)
                PlaceBesideMain();
            else
                m_followMain = false;
        }
        return false;
    }
    if (watched == this) {
        // A modal dialog of the program is open: the toolbox stays on top of
        // the other programs' windows but not of that dialog.
        if (event->type() == QEvent::WindowBlocked && windowHandle())
            windowHandle()->setFlag(Qt::WindowStaysOnTopHint, false);
        else if (event->type() == QEvent::WindowUnblocked && windowHandle())
            windowHandle()->setFlag(Qt::WindowStaysOnTopHint, true);
    }
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched != myEdit && !myEdit->hasFocus())
            return ForwardKey(static_cast<QKeyEvent*>(event));
        break;
    case QEvent::ShortcutOverride:
        // Keys typed in the caption editor stay there.
        if (watched == myEdit || myEdit->hasFocus()) {
            event->accept();
            return false;
        }
        break;
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (watched == FileCopy1 && e->button() == Qt::LeftButton) {
            FileCopy1MouseDown();
            return true;
        }
        for (QLabel* label : NumberLabels) {
            if (watched == label)
                myEditExit();
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (watched == AutoBtn && e->button() == Qt::RightButton) {
            emit optionsRequested();
            return true;
        }
        if (e->button() == Qt::RightButton && !m_editing) {
            for (size_t i = 0; i < TransferButtons.size(); ++i) {
                if (watched == TransferButtons[i])
                    m_popupTarget = static_cast<int>(i);
            }
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
