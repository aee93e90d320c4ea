// Names that are not UTF-8, on real files: listed, opened, moved, copied and
// shown like any other.
#include "platform/FileNames.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace testfiles;

namespace {

// "写真.jpg" in CP932: 8E CA 90 5E, then ".jpg". Its bytes are no UTF-8, yet
// "CA 90" happens to be a valid two-byte sequence and "5E" is "^".
const QByteArray kCp932Photo("\x8E\xCA\x90\x5E.jpg");
// "ﾃｽﾄ.png" in CP932 half-width katakana: single bytes above 0x80.
const QByteArray kCp932Kana("\xC3\xBD\xC4.png");

bool writeRaw(const QByteArray& path, const QByteArray& data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, data.constData(), size_t(data.size())) == data.size();
    return ::close(fd) == 0 && ok;
}

bool existsRaw(const QByteArray& path)
{
    return ::access(path.constData(), F_OK) == 0;
}

} // namespace

TEST(FileNames, EveryByteStringSurvivesTheRoundTrip)
{
    std::mt19937 random(15);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(int(random() % 40), '\0');
        for (char& c : bytes)
            c = char(1 + random() % 255);
        const QString text = platform::DecodeFileName(bytes);
        ASSERT_EQ(platform::EncodeFileName(text), bytes) << bytes.toHex().toStdString();
    }
    // Valid UTF-8 reads as its text, raw bytes as U+DC80..U+DCFF.
    const QByteArray utf8 = QStringLiteral("/写真/😀 a.jpg").toUtf8();
    EXPECT_EQ(platform::DecodeFileName(utf8), QStringLiteral("/写真/😀 a.jpg"));
    EXPECT_FALSE(platform::HasRawBytes(platform::DecodeFileName(utf8)));
    const QString raw = platform::DecodeFileName("\xFF"
                                                 "a\xC0\xAF"); // overlong "/" is no "/"
    EXPECT_EQ(raw, QString(QChar(0xDCFF)) + "a" + QChar(0xDCC0) + QChar(0xDCAF));
    EXPECT_TRUE(platform::HasRawBytes(raw));
    // Encoded surrogates are raw bytes too, and come back as they were.
    EXPECT_EQ(platform::EncodeFileName(platform::DecodeFileName("\xED\xB2\x80")), QByteArray("\xED\xB2\x80"));
    // Text that no name can hold (a lone high surrogate) is not mistaken for bytes.
    EXPECT_EQ(platform::EncodeFileName(QString("a") + QChar(0xD800)), QByteArray("a\xEF\xBF\xBD"));
}

TEST(FileNames, DisplayNamesDecodeCp932PerPart)
{
    const QString photo = platform::DecodeFileName("/home/写真/" + kCp932Photo);
    EXPECT_NE(photo, QStringLiteral("/home/写真/写真.jpg"));
    EXPECT_EQ(platform::DisplayFileName(photo), QStringLiteral("/home/写真/写真.jpg"));
    EXPECT_EQ(platform::DisplayFileName(platform::DecodeFileName(kCp932Kana)), QStringLiteral("ﾃｽﾄ.png"));
    // Bytes that are no CP932 either show as replacement characters.
    EXPECT_EQ(platform::DisplayFileName(platform::DecodeFileName("/x/\x81\x7F"
                                                                 "b")),
              QStringLiteral("/x/\uFFFD\u007Fb"));
    EXPECT_EQ(platform::DisplayFileName(QStringLiteral("/plain/名前.jpg")), QStringLiteral("/plain/名前.jpg"));
}

TEST(FileNames, RealFilesWithCp932NamesWorkThroughThePlatform)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_TRUE(writeRaw(folder + "/" + kCp932Photo, "photo bytes"));
    ASSERT_TRUE(writeRaw(folder + "/" + kCp932Kana, "kana bytes"));
    ASSERT_EQ(::mkdir((folder + "/\x95\xDB\x91\xB6").constData(), 0755), 0); // "保存" in CP932

    bool ok = false;
    const std::vector<platform::DirEntry> entries = platform::ListDirectory(dir.path(), &ok);
    ASSERT_TRUE(ok);
    QStringList names;
    for (const platform::DirEntry& entry : entries)
        names << entry.name;
    names.sort();
    ASSERT_EQ(names.size(), 3);
    for (const QString& name : names)
        EXPECT_TRUE(platform::EncodeFileName(name) == kCp932Photo || platform::EncodeFileName(name) == kCp932Kana
                    || platform::EncodeFileName(name) == "\x95\xDB\x91\xB6");

    const QString photo = dir.path() + "/" + platform::DecodeFileName(kCp932Photo);
    const QString kana = dir.path() + "/" + platform::DecodeFileName(kCp932Kana);
    const QString keep = dir.path() + "/" + platform::DecodeFileName("\x95\xDB\x91\xB6");
    EXPECT_TRUE(platform::FileExists(photo));
    EXPECT_TRUE(platform::DirectoryExists(keep));
    EXPECT_EQ(platform::FileSize(photo), 11);
    EXPECT_EQ(platform::CanonicalPath(photo),
              platform::CanonicalPath(dir.path()) + "/" + platform::DecodeFileName(kCp932Photo));
    QByteArray data;
    EXPECT_EQ(platform::ReadWholeFile(photo, 1000, &data), platform::ReadStatus::Ok);
    EXPECT_EQ(data, "photo bytes");
    EXPECT_EQ(platform::ReadWholeFile(photo, 5, &data), platform::ReadStatus::TooLarge);
    EXPECT_EQ(platform::ReadFileHead(kana, 4), "kana");

    // Moved into a folder with such a name, copied, and renamed: the bytes
    // of every name are kept.
    ASSERT_TRUE(platform::MoveFile(photo, keep + "/" + platform::DecodeFileName(kCp932Photo)));
    EXPECT_TRUE(existsRaw(folder + "/\x95\xDB\x91\xB6/" + kCp932Photo));
    EXPECT_FALSE(existsRaw(folder + "/" + kCp932Photo));
    ASSERT_TRUE(platform::CopyFile(kana, keep + "/" + platform::DecodeFileName(kCp932Kana), true));
    ASSERT_TRUE(platform::MoveFile(kana, dir.path() + "/テスト.png"));
    EXPECT_EQ(readFile(dir.path() + "/テスト.png"), "kana bytes");
    EXPECT_TRUE(existsRaw(folder + "/\x95\xDB\x91\xB6/" + kCp932Kana));

    // The current folder itself may have such a name.
    const QString before = QDir::currentPath();
    ASSERT_EQ(::chdir((folder + "/\x95\xDB\x91\xB6").constData()), 0);
    EXPECT_EQ(platform::CanonicalPath(platform::DecodeFileName(kCp932Photo)),
              platform::CanonicalPath(keep) + "/" + platform::DecodeFileName(kCp932Photo));
    QDir::setCurrent(before);

    // The program's arguments keep their bytes.
    QByteArray argument = folder + "/" + kCp932Kana;
    char program[] = "orvanto";
    char* argv[] = {program, argument.data(), nullptr};
    EXPECT_EQ(platform::ProgramArguments(2, argv), QStringList{kana});
    removeTree(dir.path());
}

TEST(FileNames, DroppedAndDraggedUrlsKeepTheBytes)
{
    const QString raw = platform::DecodeFileName("/tmp/a b/" + kCp932Photo);
    const QUrl url = platform::UrlFromLocalPath(raw);
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toEncoded(), QByteArray("file:///tmp/a%20b/%8E%CA%90%5E.jpg"));
    EXPECT_EQ(platform::LocalPathFromUrl(url), raw);
    // What another program drops: percent escapes of the name's bytes.
    EXPECT_EQ(platform::LocalPathFromUrl(QUrl::fromEncoded("file:///x/%95%DB%91%B6.png")),
              platform::DecodeFileName("/x/\x95\xDB\x91\xB6.png"));
    EXPECT_EQ(platform::LocalPathFromUrl(QUrl::fromLocalFile("/写真/a.jpg")), QStringLiteral("/写真/a.jpg"));
    EXPECT_EQ(platform::UrlFromLocalPath("/写真/a.jpg"), QUrl::fromLocalFile("/写真/a.jpg"));
    EXPECT_EQ(platform::LocalPathFromUrl(QUrl("https://example.org/a.jpg")), QString());
}
