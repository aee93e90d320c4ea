#include "viewer/UndecodableReason.h"

#include "decode/FormatRegistry.h"
#include "decode/Picture.h"
#include "platform/FileExtension.h"

#include <QFileInfo>

#include <cstring>

namespace {

// The reason behind a decoder's error, for the failures the decoders tell
// apart only by their message today.
UndecodableReason reasonOf(const QString& path, const QString& message)
{
    const QString extension = platform::FileExtension(path, {.windowsSeparators = true, .withDot = false});
    const TGraphicClass graphicClass = TFormatRegistry::Instance().Find(extension);
    if (!graphicClass || !graphicClass->create)
        return UndecodableReason::UnknownFormat;
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return UndecodableReason::Unreadable;
    // The file reader's and the size limits' own messages.
    if (message == QStringLiteral("%1 は大きすぎます").arg(path) || message.startsWith(QStringLiteral("画像が大きすぎます"))
        || message.startsWith(QStringLiteral("画像のメモリを確保できません")))
        return UndecodableReason::TooLarge;
    if (message == QStringLiteral("%1 を開けません").arg(path) || message == QStringLiteral("%1 を読めません").arg(path))
        return UndecodableReason::Unreadable;
    // The Susie adapter's classes decode through a plug-in.
    if (graphicClass->name && std::strncmp(graphicClass->name, "TSPI", 4) == 0)
        return UndecodableReason::PluginFailed;
    return UndecodableReason::DamagedData;
}

} // namespace

std::optional<UndecodableReason> LoadPictureWithReason(const QString& path, TPicture& picture)
{
    try {
        picture.LoadFromFile(path);
        return std::nullopt;
    } catch (const EGraphicError& error) {
        return reasonOf(path, error.message());
    } catch (const std::bad_alloc&) {
        return UndecodableReason::TooLarge;
    } catch (const std::exception& error) {
        return reasonOf(path, QString::fromUtf8(error.what()));
    } catch (...) {
        return reasonOf(path, QString());
    }
}

QString UndecodableStatusText(UndecodableReason reason, const QString& path)
{
    QString why;
    switch (reason) {
    case UndecodableReason::UnknownFormat: why = QStringLiteral("対応していない画像形式です"); break;
    case UndecodableReason::Unreadable: why = QStringLiteral("ファイルを読み込めません"); break;
    case UndecodableReason::DamagedData: why = QStringLiteral("画像データが壊れています"); break;
    case UndecodableReason::TooLarge: why = QStringLiteral("画像が大きすぎます"); break;
    case UndecodableReason::PluginFailed: why = QStringLiteral("プラグインが画像を読めませんでした"); break;
    }
    return QStringLiteral("表示できません: %1 (%2)").arg(why, QFileInfo(path).fileName());
}
