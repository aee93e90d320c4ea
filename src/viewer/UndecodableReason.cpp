#include "viewer/UndecodableReason.h"

#include "decode/Picture.h"

#include <QFileInfo>

std::optional<UndecodableReason> LoadPictureWithReason(const QString& path, TPicture& picture)
{
    const TPictureLoadResult result = LoadPictureReporting(path, picture);
    if (result.ok())
        return std::nullopt;
    return result.failure;
}

QString UndecodableStatusText(UndecodableReason reason, const QString& path)
{
    QString why;
    switch (reason) {
    case UndecodableReason::UnknownFormat:
        why = QStringLiteral("対応していない画像形式です");
        break;
    case UndecodableReason::Unreadable:
        why = QStringLiteral("ファイルを読み込めません");
        break;
    case UndecodableReason::DamagedData:
        why = QStringLiteral("画像データが壊れています");
        break;
    case UndecodableReason::TooLarge:
        why = QStringLiteral("画像が大きすぎます");
        break;
    case UndecodableReason::PluginFailed:
        why = QStringLiteral("プラグインが画像を読めませんでした");
        break;
    case UndecodableReason::Cancelled:
        why = QStringLiteral("読み込みを中止しました");
        break;
    case UndecodableReason::None:
        break;
    }
    return QStringLiteral("表示できません: %1 (%2)").arg(why, QFileInfo(path).fileName());
}
