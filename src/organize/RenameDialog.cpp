#include "organize/RenameDialog.h"

#include "organize/FittedText.h"
#include "organize/TransferEngine.h"
#include "platform/FileNames.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {
std::function<bool(TfRename&)>& renameHandler()
{
    static std::function<bool(TfRename&)> handler;
    return handler;
}
} // namespace

void SetRenameDialogHandlerForTesting(std::function<bool(TfRename&)> handler)
{
    renameHandler() = std::move(handler);
}

TfRename::TfRename(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fRename"));
    setWindowTitle(QStringLiteral("画像ファイル名変更"));
    setFixedSize(442, 119);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->move(16, 8);
    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->move(16, 32);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setGeometry(48, 56, 377, 21);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("BitBtn1"));
    m_ok->setGeometry(136, 88, 81, 25);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("BitBtn2"));
    m_cancel->setGeometry(240, 88, 81, 25);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfRename::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        const QRect own = frameGeometry();
        move(area.left() + (area.width() - own.width()) / 2, area.top() + (area.height() - own.height()) / 2);
    }
    m_edit->setFocus();
}

namespace {

// Sets "before" + text + "after" on a label that must not grow past the
// dialog's right edge: a long text is shortened in its middle and shown whole
// as the tip.
void setFittedText(QLabel* label, const QString& before, const QString& text, const QString& after, int right)
{
    const QString fitted = FittedText(label->fontMetrics(), right - label->x(), before, text, after);
    label->setText(fitted);
    label->setToolTip(fitted == before + text + after ? QString() : text);
    label->adjustSize();
    if (label->x() + label->width() > right)
        label->resize(right - label->x(), label->height());
}

} // namespace

QString InputNewName(const QString& folder, const QString& name, QWidget* parent)
{
    TfRename dialog(parent);
    // Names that are not UTF-8 are shown and offered readably; left as
    // offered, the name keeps its own bytes.
    const QString shownName = platform::DisplayFileName(name);
    const int right = dialog.width() - 8;
    setFittedText(dialog.Label1(), QStringLiteral("\""), shownName,
                  QStringLiteral("\" の新しいファイル名を入力してください。"), right);
    setFittedText(dialog.Label2(), QStringLiteral("場所：  \""), platform::DisplayFileName(folder),
                  QStringLiteral("\""), right);
    dialog.Edit1()->setText(shownName);
    dialog.Edit1()->setToolTip(shownName);
    dialog.Edit1()->setCursorPosition(0);
    const bool ok = renameHandler() ? renameHandler()(dialog) : dialog.exec() == QDialog::Accepted;
    QString typed = dialog.Edit1()->text();
    if (typed == shownName)
        typed = name;
    return ok ? WithOldExtension(typed, name) : QString();
}
