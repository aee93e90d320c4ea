#include "DropPaths.h"

#include "platform/Paths.h"

#include <QMimeData>
#include <QUrl>

QStringList DroppedPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths << platform::CanonicalPath(url.toLocalFile());
    }
    return paths;
}
