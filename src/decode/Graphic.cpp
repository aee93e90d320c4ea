#include "Graphic.h"

#include "platform/FileNames.h"
#include "platform/Files.h"
#include "platform/LargeMemory.h"

namespace {
// No picture within the decoders' pixel limit needs a larger file (a 32-bit
// BMP of 2^28 pixels is 1 GiB); larger files are refused before reading.
constexpr qint64 kMaxFileBytes = qint64(3) << 29; // 1.5 GiB

// Raises the error for a file that could not be read.
void checkRead(platform::ReadStatus status, const QString& path)
{
    if (status == platform::ReadStatus::Ok)
        return;
    const QString shown = platform::DisplayFileName(path);
    switch (status) {
    case platform::ReadStatus::Ok:
        break;
    case platform::ReadStatus::CannotOpen:
        throw EGraphicError(QStringLiteral("%1 を開けません").arg(shown), TDecodeFailure::Unreadable);
    case platform::ReadStatus::TooLarge:
        throw EGraphicError(QStringLiteral("%1 は大きすぎます").arg(shown), TDecodeFailure::TooLarge);
    case platform::ReadStatus::ReadError:
        throw EGraphicError(QStringLiteral("%1 を読めません").arg(shown), TDecodeFailure::Unreadable);
    }
}
} // namespace

void TGraphic::LoadFromFile(const QString& path)
{
    // Names of any bytes are opened through the platform layer.
    QByteArray data;
    checkRead(platform::ReadWholeFile(path, kMaxFileBytes, &data), path);
    LoadFromStream(data);
}

platform::LargeBlock TGraphic::ReadWholeFile(const QString& path, qint64* size)
{
    platform::LargeBlock block;
    checkRead(platform::ReadWholeFile(path, kMaxFileBytes, &block, size), path);
    return block;
}
