#include "Trash.h"

#include "Desktop.h"
#include "Files.h"

#include <QFile>
#include <QFileInfo>

namespace platform {
namespace {

std::function<bool(const QString&)>& confirmHandler()
{
    static std::function<bool(const QString&)> handler;
    return handler;
}

void reportFailure(QWidget* owner, const QString& path)
{
    Beep();
    MessageBox(owner, QStringLiteral("このファイルをごみ箱に移動できませんでした。\n") + path,
               MsgIcon::Error, MsgOk);
}

} // namespace

bool RecycleFile(const QString& path, QWidget* owner)
{
    if (path.isEmpty() || !FileExists(path)) {
        reportFailure(owner, path);
        return true;
    }
    const QString question =
        QStringLiteral("このファイルをごみ箱に移動しますか？\n") + QFileInfo(path).fileName();
    const bool confirmed = confirmHandler()
        ? confirmHandler()(question)
        : MessageBox(owner, question, MsgIcon::Question, MsgOk | MsgCancel) == MsgOk;
    if (!confirmed)
        return true;
    if (!QFile::moveToTrash(path)) {
        reportFailure(owner, path);
        return true;
    }
    return false;
}

void SetRecycleConfirmHandlerForTesting(std::function<bool(const QString& question)> handler)
{
    confirmHandler() = std::move(handler);
}

} // namespace platform
