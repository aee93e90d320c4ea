#include "organize/DragOut.h"

#include "platform/FileNames.h"
#include "platform/Files.h"

#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

void DragFileOut(QWidget* source, const QString& path)
{
    if (!source || path.isEmpty() || !platform::FileExists(path))
        return;
    auto* drag = new QDrag(source);
    auto* data = new QMimeData;
    data->setUrls({platform::UrlFromLocalPath(path)});
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}
