#include "ProgramLocation.h"

#include <QFileInfo>

namespace platform {

QString ProgramFilePath()
{
    static const QString path = [] {
        QFileInfo info(QStringLiteral("/proc/self/exe"));
        return info.canonicalFilePath();
    }();
    return path;
}

QString ProgramDir()
{
    const QString file = ProgramFilePath();
    if (file.isEmpty())
        return {};
    return QFileInfo(file).absolutePath();
}

} // namespace platform
