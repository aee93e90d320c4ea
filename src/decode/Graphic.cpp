#include "Graphic.h"

#include <QFile>

void TGraphic::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EGraphicError(QStringLiteral("%1 を開けません").arg(path));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EGraphicError(QStringLiteral("%1 を読めません").arg(path));
    LoadFromStream(data);
}
