#include "Graphic.h"

#include <QFile>

namespace {
// No picture within the decoders' pixel limit needs a larger file (a 32-bit
// BMP of 2^28 pixels is 1 GiB); larger files are refused before reading.
constexpr qint64 kMaxFileBytes = qint64(3) << 29; // 1.5 GiB
}

void TGraphic::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EGraphicError(QStringLiteral("%1 を開けません").arg(path), TDecodeFailure::Unreadable);
    if (file.size() > kMaxFileBytes)
        throw EGraphicError(QStringLiteral("%1 は大きすぎます").arg(path), TDecodeFailure::TooLarge);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EGraphicError(QStringLiteral("%1 を読めません").arg(path), TDecodeFailure::Unreadable);
    LoadFromStream(data);
}
