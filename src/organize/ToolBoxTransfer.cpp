// The toolbox's transfer area: the numbered destination buttons, their
// captions, and choosing, clearing and renaming their folders.
#include "organize/ToolBox.h"

#include "organize/Glyphs.h"
#include "organize/TransferEngine.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "viewer/ViewerSession.h"
#include "viewer/common/SharedHelpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

namespace {
// The caption of a button without a destination.
const QString kNone = QStringLiteral("none");
} // namespace

QString TransferButtonText(const QString& caption, const QString& folder)
{
    QString text = caption;
    if (text.size() == 14)
        text = text.left(11);
    if (text.isEmpty() || folder.isEmpty())
        text = kNone;
    const int width = folder == OrganizeTexts::RunTimeChoice ? 10 : 12;
    const int length = static_cast<int>(text.size());
    const int lpad = (width - length) / 2 - 1; // division truncates toward zero
    const int rpad = width - length - lpad;
    return QString(std::max(lpad, 0), QLatin1Char(' ')) + text + QString(std::max(rpad, 0), QLatin1Char(' '));
}

QString CaptionForFolder(const QString& folder)
{
    QString part = LastPathPart(folder);
    if (part.isEmpty())
        part = folder; // the root folder "/"
    return part.left(12);
}

// ---------------------------------------------------------------- transfer area

void TToolBox::SetTransferArea()
{
    const Settings& config = m_session.Config();
    // The rows may be rebuilt from within one of their own handlers: they
    // are hidden now and released once control is back in the event loop.
    for (QLabel* label : NumberLabels) {
        label->hide();
        label->deleteLater();
    }
    for (QPushButton* button : TransferButtons) {
        button->hide();
        button->deleteLater();
    }
    NumberLabels.clear();
    TransferButtons.clear();
    if (m_editing) {
        m_editing = false;
        myEdit->hide();
    }
    if (config.Option.Open) {
        const int n = std::clamp(config.Option.nButton, 0, 10);
        setFixedSize(kClientWidth, kBevelTop + 15 + 24 * (n + 1));
        NumberLabels.resize(static_cast<size_t>(n), nullptr);
        TransferButtons.resize(static_cast<size_t>(n), nullptr);
        MakeTransferButtons();
    } else {
        setFixedSize(kClientWidth, kBevelTop);
    }
}

void TToolBox::MakeTransferButtons()
{
    const int count = static_cast<int>(TransferButtons.size());
    for (int n = 1; n <= count; ++n) {
        const int i = n - 1;
        auto* label = new QLabel(QString::number(i) + QLatin1Char('.'), this);
        label->setObjectName(QStringLiteral("NumLabel%1").arg(i));
        QFont font = label->font();
        font.setPointSize(12);
        font.setBold(true);
        label->setFont(font);
        label->adjustSize();
        label->move(3, kBevelTop + 18 + 24 * n - label->height() / 2 + 6);
        label->installEventFilter(this);
        label->show();
        NumberLabels[static_cast<size_t>(i)] = label;

        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("ArBitBtn%1").arg(i + 1));
        button->setProperty("tag", i);
        button->setGeometry(20, kBevelTop + 12 + 24 * n, 100, 25);
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(button, &QPushButton::clicked, this, [this, i] { m_engine.ArBitBtnProcess(i); });
        connect(button, &QWidget::customContextMenuRequested, this, [this, i, button](const QPoint& at) {
            if (m_editing)
                return; // the automatic context menu is off while editing
            m_popupTarget = i;
            PopupMenu1->popup(button->mapToGlobal(at));
        });
        button->installEventFilter(this);
        TransferButtons[static_cast<size_t>(i)] = button;
        DrawTransferButton(i);
        button->show();
    }
}

void TToolBox::DrawTransferButton(int i)
{
    if (i < 0 || i >= static_cast<int>(TransferButtons.size()))
        return;
    QPushButton* button = TransferButtons[static_cast<size_t>(i)];
    const TransferButtonSetting& entry = m_session.Config().Option.Buttons[static_cast<size_t>(i)];
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(12);
    const bool runTime = entry.Folder == OrganizeTexts::RunTimeChoice;
    font.setBold(runTime);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, runTime ? QColor(128, 0, 128) : QColor(0, 0, 128));
    button->setPalette(palette);
    button->setIcon(MakeGlyph(runTime ? Glyph::RunTimeChoice : Glyph::Destination));
    button->setText(TransferButtonText(entry.Caption, entry.Folder));
    button->setToolTip(IsUnsetDestination(entry.Folder) ? QString() : entry.Folder);
}

void TToolBox::ChoiceFolder()
{
    const int i = m_popupTarget;
    if (i < 0 || i >= 10)
        return;
    TransferButtonSetting& entry = m_session.Config().Option.Buttons[static_cast<size_t>(i)];
    TTransferEngine& engine = m_engine;
    if (!IsUnsetDestination(entry.Folder) && platform::DirectoryExists(entry.Folder))
        engine.LastInitialFolder = entry.Folder;
    QString directory;
    if (!m_browse(QStringLiteral("画像転送先フォルダー指定 ") + QString::number(i + 1), engine.LastInitialFolder,
                  &directory)
        || directory.isEmpty())
        return;
    entry.Folder = directory;
    entry.Caption = CaptionForFolder(directory);
    DrawTransferButton(i);
}

void TToolBox::RunChoiceClick()
{
    if (m_popupTarget < 0 || m_popupTarget >= 10)
        return;
    TransferButtonSetting& entry = m_session.Config().Option.Buttons[static_cast<size_t>(m_popupTarget)];
    entry.Folder = OrganizeTexts::RunTimeChoice;
    entry.Caption = OrganizeTexts::RunTimeCaption;
    DrawTransferButton(m_popupTarget);
}

void TToolBox::FolderErase()
{
    if (m_popupTarget < 0 || m_popupTarget >= 10)
        return;
    TransferButtonSetting& entry = m_session.Config().Option.Buttons[static_cast<size_t>(m_popupTarget)];
    entry.Folder.clear();
    entry.Caption = kNone;
    DrawTransferButton(m_popupTarget);
}

void TToolBox::ButtonNameClick()
{
    m_editIndex = m_popupTarget;
    if (m_editing || m_editIndex < 0 || m_editIndex >= static_cast<int>(TransferButtons.size()))
        return;
    QPushButton* button = TransferButtons[static_cast<size_t>(m_editIndex)];
    const QRect r = button->geometry();
    myEdit->setGeometry(r.left() + 3, r.top() + 2, r.width() - 4, r.height() - 4);
    const QString trimmed = button->text().trimmed();
    myEdit->setText(trimmed == kNone ? QString() : trimmed);
    m_editing = true;
    myEdit->show();
    myEdit->raise();
    myEdit->setFocus();
}

void TToolBox::myEditExit()
{
    if (!m_editing)
        return;
    m_editing = false;
    QString text = myEdit->text().left(14);
    if (text.isEmpty())
        text = kNone;
    if (m_editIndex >= 0 && m_editIndex < 10)
        m_session.Config().Option.Buttons[static_cast<size_t>(m_editIndex)].Caption = text.left(12);
    DrawTransferButton(m_editIndex);
    myEdit->hide();
}
