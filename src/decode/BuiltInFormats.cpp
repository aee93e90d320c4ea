#include "BuiltInFormats.h"

#include "BmpGraphic.h"
#include "FormatRegistry.h"
#include "IconGraphic.h"
#include "JpegGraphic.h"
#include "MetafileGraphic.h"
#include "OleBitmap.h"
#include "OlePictureGraphic.h"
#include "PngGraphic.h"

#include <mutex>

void RegisterBuiltInFormats()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TFormatRegistry& registry = TFormatRegistry::Instance();
        registry.Register(QStringLiteral("wmf"), QStringLiteral("メタファイル"), &TMetafileGraphic::ClassInfo);
        registry.Register(QStringLiteral("emf"), QStringLiteral("エンハンス メタファイル"),
                          &TMetafileGraphic::ClassInfo);
        registry.Register(QStringLiteral("ico"), QStringLiteral("アイコン"), &TIconGraphic::ClassInfo);
        registry.Register(QStringLiteral("bmp"), QStringLiteral("ビットマップ"), &TBitmapGraphic::ClassInfo);
        registry.Register(QString(), QString(), &TOleGraphic::ClassInfo);
        registry.Register(QStringLiteral("PNG"), QStringLiteral("Portable Network Graphics"), &TPngGraphic::ClassInfo);
        registry.Register(QStringLiteral("jpeg"), QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo);
        registry.Register(QStringLiteral("jpg"), QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo);
        registry.Register(QStringLiteral("gif"), QStringLiteral("compuserve graphic"), &TOleBITMAP::ClassInfo);
        // Further names of formats the built-in decoders read: cursors are
        // icon files, .jpe and .jfif are JPEG files.
        registry.Register(QStringLiteral("cur"), QStringLiteral("カーソル"), &TIconGraphic::ClassInfo);
        registry.Register(QStringLiteral("jpe"), QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo);
        registry.Register(QStringLiteral("jfif"), QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo);
    });
}

void UnregisterFormatsAtExit()
{
    TFormatRegistry::Instance().Unregister(&TJpegGraphic::ClassInfo);
}
