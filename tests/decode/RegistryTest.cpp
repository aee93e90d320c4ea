// The format registry, the start-up entries, the graphic filter and loading
// pictures through the registry.
#include "TestImages.h"

#include "decode/BmpGraphic.h"
#include "decode/BuiltInFormats.h"
#include "decode/FormatRegistry.h"
#include "decode/IconGraphic.h"
#include "decode/JpegGraphic.h"
#include "decode/MetafileGraphic.h"
#include "decode/OleBitmap.h"
#include "decode/OlePictureGraphic.h"
#include "decode/Picture.h"
#include "decode/PngGraphic.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace testimg;

const TGraphicClassInfo kPluginClass = {"TSPIBitmap", [] { return std::unique_ptr<TGraphic>(new TPngGraphic); }};

// Runs a test on a registry holding the start-up entries only, and puts the
// process-wide registry back afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        m_saved = TFormatRegistry::Instance().Entries();
        ASSERT_EQ(m_saved.size(), 12u);
    }
    void TearDown() override
    {
        TFormatRegistry& r = TFormatRegistry::Instance();
        r.ResetForTesting();
        for (const TFormatEntry& e : m_saved)
            r.Register(e.extension, e.description, e.graphicClass);
    }
    std::vector<TFormatEntry> m_saved;
    QTemporaryDir m_dir;
};

TEST_F(RegistryTest, StartUpEntriesInOrderAndRegisteredOnce)
{
    RegisterBuiltInFormats(); // a second call adds nothing
    const auto& e = TFormatRegistry::Instance().Entries();
    ASSERT_EQ(e.size(), 12u);
    const struct {
        const char* ext;
        QString description;
        TGraphicClass cls;
    } expected[] = {
        {"wmf", QStringLiteral("メタファイル"), &TMetafileGraphic::ClassInfo},
        {"emf", QStringLiteral("エンハンス メタファイル"), &TMetafileGraphic::ClassInfo},
        {"ico", QStringLiteral("アイコン"), &TIconGraphic::ClassInfo},
        {"bmp", QStringLiteral("ビットマップ"), &TBitmapGraphic::ClassInfo},
        {"", QString(), &TOleGraphic::ClassInfo},
        {"png", QStringLiteral("Portable Network Graphics"), &TPngGraphic::ClassInfo},
        {"jpeg", QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo},
        {"jpg", QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo},
        {"gif", QStringLiteral("compuserve graphic"), &TOleBITMAP::ClassInfo},
        {"cur", QStringLiteral("カーソル"), &TIconGraphic::ClassInfo},
        {"jpe", QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo},
        {"jfif", QStringLiteral("JPEG イメージファイル"), &TJpegGraphic::ClassInfo},
    };
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(e[i].extension, QString::fromLatin1(expected[i].ext));
        EXPECT_EQ(e[i].description, expected[i].description);
        EXPECT_EQ(e[i].graphicClass, expected[i].cls);
    }
}

TEST_F(RegistryTest, FilterOfTheStartUpEntries)
{
    const QString filter = TFormatRegistry::Instance().GraphicFilter();
    EXPECT_EQ(filter, QStringLiteral("すべて (*.jfif;*.jpe;*.cur;*.gif;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.emf;*.wmf)|"
                                     "*.jfif;*.jpe;*.cur;*.gif;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.emf;*.wmf|"
                                     "JPEG イメージファイル (*.jfif)|*.jfif|"
                                     "JPEG イメージファイル (*.jpe)|*.jpe|"
                                     "カーソル (*.cur)|*.cur|"
                                     "compuserve graphic (*.gif)|*.gif|"
                                     "JPEG イメージファイル (*.jpg)|*.jpg|"
                                     "JPEG イメージファイル (*.jpeg)|*.jpeg|"
                                     "Portable Network Graphics (*.png)|*.png|"
                                     "ビットマップ (*.bmp)|*.bmp|"
                                     "アイコン (*.ico)|*.ico|"
                                     "エンハンス メタファイル (*.emf)|*.emf|"
                                     "メタファイル (*.wmf)|*.wmf"));
}

TEST_F(RegistryTest, PluginFormatsComeFirstAndRepeatsStay)
{
    TFormatRegistry& r = TFormatRegistry::Instance();
    r.Register(QStringLiteral("PNG"), QStringLiteral("PNG plug-in"), &kPluginClass);
    r.Register(QStringLiteral("pi"), QStringLiteral("Pi"), &kPluginClass);
    const QString filter = r.GraphicFilter();
    EXPECT_TRUE(
        filter.startsWith(QStringLiteral("すべて (*.pi;*.png;*.jfif;*.jpe;*.cur;*.gif;*.jpg;*.jpeg;*.png;*.bmp;")));
    EXPECT_TRUE(filter.contains(QStringLiteral("|Pi (*.pi)|*.pi|PNG plug-in (*.png)|*.png|JPEG イメージファイル")));
    EXPECT_EQ(filter.count(QStringLiteral("(*.png)|*.png")), 2);
    // The newer registration wins the lookup, case-insensitively.
    EXPECT_EQ(r.Find(QStringLiteral("Png")), &kPluginClass);
    EXPECT_EQ(r.Find(QStringLiteral("JPG")), &TJpegGraphic::ClassInfo);
    EXPECT_EQ(r.Find(QStringLiteral("tif")), nullptr);
    EXPECT_EQ(r.Find(QString()), &TOleGraphic::ClassInfo);
}

TEST(GraphicFilter, EdgeCases)
{
    // One entry: no "すべて" part. The entry without extension is skipped
    // and does not count.
    EXPECT_EQ(
        BuildGraphicFilter({{QString(), QString(), nullptr}, {QStringLiteral("bmp"), QStringLiteral("B"), nullptr}}),
        QStringLiteral("B (*.bmp)|*.bmp"));
    EXPECT_EQ(BuildGraphicFilter({}), QString());
    EXPECT_EQ(BuildGraphicFilter({{QString(), QString(), nullptr}}), QString());
    // Two entries of the same extension: both kept; an empty description stays empty.
    EXPECT_EQ(BuildGraphicFilter(
                  {{QStringLiteral("x"), QString(), nullptr}, {QStringLiteral("x"), QStringLiteral("X2"), nullptr}}),
              QStringLiteral("すべて (*.x;*.x)|*.x;*.x|X2 (*.x)|*.x| (*.x)|*.x"));
    // Placeholders inside a description are not expanded again.
    EXPECT_EQ(BuildGraphicFilter({{QStringLiteral("a"), QStringLiteral("%1 %2"), nullptr}}),
              QStringLiteral("%1 %2 (*.a)|*.a"));
}

TEST_F(RegistryTest, PicturesWithNamesThatAreNotUtf8AreShown)
{
    // "写真.jpg" in CP932, as an old archive leaves it.
    const QByteArray name("\x8E\xCA\x90\x5E.jpg");
    const QByteArray data = EncodeJpeg(BlockImage(16, 8));
    const QByteArray path = QFile::encodeName(m_dir.path()) + "/" + name;
    FILE* file = std::fopen(path.constData(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(data.constData(), 1, size_t(data.size()), file), size_t(data.size()));
    std::fclose(file);
    TPicture picture;
    ASSERT_TRUE(LoadPictureSafe(platform::DecodeFileName(path), picture));
    EXPECT_EQ(picture.Width(), 16);
    EXPECT_EQ(picture.Height(), 8);
    // The lossy name Qt would make of it names no file.
    EXPECT_FALSE(LoadPictureSafe(QFile::decodeName(path), picture));
    std::remove(path.constData());
}

TEST_F(RegistryTest, UnregisterAtExitRemovesEveryJpegEntry)
{
    UnregisterFormatsAtExit();
    const auto& e = TFormatRegistry::Instance().Entries();
    EXPECT_EQ(e.size(), 8u);
    EXPECT_EQ(TFormatRegistry::Instance().Find(QStringLiteral("jpg")), nullptr);
    EXPECT_EQ(TFormatRegistry::Instance().Find(QStringLiteral("jfif")), nullptr);
    EXPECT_EQ(TFormatRegistry::Instance().Find(QStringLiteral("jpeg")), nullptr);
    EXPECT_EQ(TFormatRegistry::Instance().Find(QStringLiteral("gif")), &TOleBITMAP::ClassInfo);
}

TEST_F(RegistryTest, LoadPictureThroughTheRegistry)
{
    const QImage blocks = BlockImage(16, 8);
    const QString jpg = WriteFile(m_dir, QStringLiteral("PHOTO.JPG"), EncodeJpeg(blocks));
    TPicture picture;
    int changes = 0;
    picture.SetChangeHandler([&] { ++changes; });

    ASSERT_TRUE(LoadPictureSafe(jpg, picture));
    EXPECT_EQ(changes, 1);
    ASSERT_NE(dynamic_cast<TJpegGraphic*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 16);
    EXPECT_EQ(picture.Height(), 8);
    TGraphic* kept = picture.Graphic();

    // Unknown extension: the message names the extension as written.
    const QString tif = WriteFile(m_dir, QStringLiteral("scan.TiF"), QByteArray("II*\0", 4));
    try {
        picture.LoadFromFile(tif);
        ADD_FAILURE() << "no error";
    } catch (const EGraphicError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("拡張子 .TiF の画像形式は処理できません"));
    }
    EXPECT_FALSE(LoadPictureSafe(tif, picture));

    // Damaged data, and a missing file: false, the old graphic stays.
    const QString bad = WriteFile(m_dir, QStringLiteral("bad.png"), QByteArray("\x89PNG\r\n\x1a\n garbage", 17));
    EXPECT_FALSE(LoadPictureSafe(bad, picture));
    EXPECT_FALSE(LoadPictureSafe(m_dir.filePath(QStringLiteral("missing.bmp")), picture));
    EXPECT_EQ(picture.Graphic(), kept);
    EXPECT_EQ(changes, 1);

    // A 2 GiB file (sparse) is refused without being read.
    {
        QFile big(m_dir.filePath(QStringLiteral("huge.bmp")));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.write("BM", 2) == 2 && big.resize(qint64(2) << 30));
    }
    EXPECT_FALSE(LoadPictureSafe(m_dir.filePath(QStringLiteral("huge.bmp")), picture));
    EXPECT_EQ(picture.Graphic(), kept);

    // A file without extension loads as an empty picture.
    const QString plain = WriteFile(m_dir, QStringLiteral("README"), QByteArray("text"));
    EXPECT_TRUE(LoadPictureSafe(plain, picture));
    EXPECT_EQ(changes, 2);
    EXPECT_NE(dynamic_cast<TOleGraphic*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_TRUE(picture.Empty());

    // A dot in a folder name is not an extension.
    QDir(m_dir.path()).mkdir(QStringLiteral("a.b"));
    const QString inFolder = WriteFile(m_dir, QStringLiteral("a.b/noext"), QByteArray("x"));
    EXPECT_TRUE(LoadPictureSafe(inFolder, picture));
    EXPECT_EQ(picture.Width(), 0);
}

TEST_F(RegistryTest, CursorAndOtherJpegNamesLoadWithTheBuiltInDecoders)
{
    QImage picture(6, 4, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 200, 30, 255));
    TPicture loaded;
    for (const char* name : {"a.jpe", "b.JFIF"}) {
        ASSERT_TRUE(LoadPictureSafe(WriteFile(m_dir, QString::fromLatin1(name), EncodeJpeg(picture)), loaded)) << name;
        EXPECT_NE(dynamic_cast<TJpegGraphic*>(loaded.Graphic()), nullptr);
        EXPECT_EQ(loaded.Width(), 6);
    }
    ASSERT_TRUE(LoadPictureSafe(WriteFile(m_dir, QStringLiteral("c.cur"), IconFile(2, {IconDib32(picture)})), loaded));
    EXPECT_NE(dynamic_cast<TIconGraphic*>(loaded.Graphic()), nullptr);
    EXPECT_EQ(loaded.Graphic()->ToImage().pixel(1, 1), qRgba(10, 200, 30, 255));
}

TEST_F(RegistryTest, NewerPluginRegistrationDecidesTheClass)
{
    TFormatRegistry::Instance().Register(QStringLiteral("png"), QStringLiteral("plug-in"), &kPluginClass);
    EXPECT_EQ(TFormatRegistry::Instance().Find(QStringLiteral("png")), &kPluginClass);
    EXPECT_EQ(TFormatRegistry::Instance().Entries().size(), 13u);
}

} // namespace
