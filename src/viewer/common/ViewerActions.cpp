#include "ViewerActions.h"

#include <QAction>
#include <QKeySequence>

namespace {

QAction* makeAction(QObject* owner, const char* name, const char* caption, const QKeySequence& shortcut)
{
    auto* action = new QAction(QString::fromUtf8(caption), owner);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
    return action;
}

} // namespace

QList<QAction*> ViewerActions::All() const
{
    QList<QAction*> all{fileopen1, OpenFolder1, slideshow1, option1, ShortcutCreate, List1};
    for (QAction* a : ov)
        all << a;
    all << ListDel1 << exit1 << MoveUndo1 << fNameChange1 << clipcopy1 << ToolBox1 << CopyMode1 << MoveMode1
        << Transfer1 << Max1 << menu_random << menu_normal << menu_reverse << Help1 << about1;
    all.removeAll(nullptr);
    return all;
}

ViewerActions MakeViewerActions(QObject* owner)
{
    ViewerActions a;
    a.fileopen1 = makeAction(owner, "fileopen1", "画像ファイルを開く(&O)...", QKeySequence(Qt::CTRL | Qt::Key_O));
    a.OpenFolder1 = makeAction(owner, "OpenFolder1", "フォルダを開く(&F)...", QKeySequence(Qt::CTRL | Qt::Key_F));
    a.slideshow1 = makeAction(owner, "slideshow1", "スライドショー(&Z)", QKeySequence(Qt::Key_F2));
    a.slideshow1->setCheckable(true);
    a.option1 = makeAction(owner, "option1", "オプション(&S)...", QKeySequence(Qt::Key_F5));
    a.ShortcutCreate = makeAction(owner, "ShortcutCreate", "ショートカットファイルの作成(&Y)...", QKeySequence());
    for (int n = 1; n <= 6; ++n) {
        QAction* entry = makeAction(owner, QStringLiteral("ov%1").arg(n).toLatin1().constData(), "", QKeySequence());
        entry->setData(n);
        entry->setVisible(false);
        a.ov[static_cast<size_t>(n - 1)] = entry;
    }
    a.ListDel1 = makeAction(owner, "ListDel1", "履歴のクリア(&D)", QKeySequence());
    a.exit1 = makeAction(owner, "exit1", "終了(&X)", QKeySequence(Qt::CTRL | Qt::Key_Q));
    a.MoveUndo1 = makeAction(owner, "MoveUndo1", "１つ前の移動の取り消し(&Z)", QKeySequence(Qt::CTRL | Qt::Key_Z));
    a.fNameChange1 = makeAction(owner, "fNameChange1", "ファイル名変更(&Y)", QKeySequence(Qt::CTRL | Qt::Key_B));
    a.clipcopy1 = makeAction(owner, "clipcopy1", "クリップボードにコピー(&X)", QKeySequence(Qt::CTRL | Qt::Key_C));
    a.ToolBox1 = makeAction(owner, "ToolBox1", "ツールボックス(&Z)", QKeySequence(Qt::Key_F3));
    a.CopyMode1 = makeAction(owner, "CopyMode1", "複写モード(&Y)", QKeySequence(Qt::CTRL | Qt::Key_N));
    a.CopyMode1->setCheckable(true);
    a.MoveMode1 = makeAction(owner, "MoveMode1", "移動モード(&X)", QKeySequence(Qt::CTRL | Qt::Key_M));
    a.MoveMode1->setCheckable(true);
    a.Transfer1 = makeAction(owner, "Transfer1", "転送切り替え(&W)", QKeySequence(Qt::CTRL | Qt::Key_T));
    a.Max1 = makeAction(owner, "Max1", "フルスクリーン(&V)", QKeySequence(Qt::Key_F4));
    a.Max1->setCheckable(true);
    a.menu_random = makeAction(owner, "menu_random", "ランダム(&X)", QKeySequence(Qt::Key_F7));
    a.menu_random->setData(1);
    a.menu_normal = makeAction(owner, "menu_normal", "正順(&Y)", QKeySequence(Qt::Key_F8));
    a.menu_normal->setData(2);
    a.menu_reverse = makeAction(owner, "menu_reverse", "逆順(&Z)", QKeySequence(Qt::Key_F9));
    a.menu_reverse->setData(3);
    a.Help1 = makeAction(owner, "Help1", "ヘルプ表示(&Z)", QKeySequence(Qt::Key_F1));
    a.about1 = makeAction(owner, "about1", "バージョン情報(&Y)", QKeySequence());
    return a;
}
