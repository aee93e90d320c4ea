// Turning pictures upright: the eight orientations against a pixel mapping
// written out from the Exif definitions, and JPEG files carrying each of
// them loaded the way the viewer loads them.
#include "decode/BuiltInFormats.h"
#include "decode/FormatRegistry.h"
#include "decode/Orientation.h"
#include "decode/Picture.h"
#include "TestImages.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

class OrientationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        decode::SetAutoRotate(true);
    }
    void TearDown() override { decode::SetAutoRotate(true); }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
    QImage Load(const QString& path)
    {
        TPicture picture;
        if (!LoadPictureSafe(path, picture))
            return {};
        return picture.Graphic()->ToImage().convertToFormat(QImage::Format_RGB32);
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(OrientationTest, EachOrientationTurnsAsExifDefinesAndComposesAndUndoes)
{
    const QImage stored = testimg::Asymmetric(5, 3);
    for (int o = 1; o <= 8; ++o) {
        EXPECT_EQ(decode::ApplyOrientation(stored, o).convertToFormat(QImage::Format_RGB32),
                  testimg::UprightReference(stored, o))
            << o;
        EXPECT_EQ(decode::ApplyOrientation(decode::ApplyOrientation(stored, o), decode::InverseOrientation(o)), stored)
            << o;
        for (int then = 1; then <= 8; ++then)
            EXPECT_EQ(decode::ApplyOrientation(decode::ApplyOrientation(stored, o), then),
                      decode::ApplyOrientation(stored, decode::ComposeOrientations(o, then)))
                << o << " then " << then;
    }
    // Values outside 1..8 leave the picture alone.
    EXPECT_EQ(decode::ApplyOrientation(stored, 0), stored);
    EXPECT_EQ(decode::ApplyOrientation(stored, 9), stored);
}

TEST_F(OrientationTest, WhatIsAppliedDependsOnTheSwitchAndTheDecoder)
{
    EXPECT_EQ(decode::OrientationToApply({6, false}, true), 6);
    EXPECT_EQ(decode::OrientationToApply({6, false}, false), 1);
    // A decoder that turned the picture itself is undone when turning is off.
    EXPECT_EQ(decode::OrientationToApply({6, true}, true), 1);
    EXPECT_EQ(decode::OrientationToApply({6, true}, false), 8);
    EXPECT_EQ(decode::OrientationToApply({7, true}, false), 7);
    EXPECT_EQ(decode::OrientationToApply({42, false}, true), 1);
}

TEST_F(OrientationTest, JpegWithEachOrientationLoadsUprightUnlessSwitchedOff)
{
    const QImage picture = testimg::Asymmetric(48, 32);
    for (bool bigEndian : {false, true})
        for (int o = 1; o <= 8; ++o) {
            const QString path = Write(QStringLiteral("o%1-%2.jpg").arg(o).arg(bigEndian),
                                       testimg::JpegWithOrientation(picture, o, bigEndian));
            decode::SetAutoRotate(false);
            const QImage stored = Load(path);
            ASSERT_EQ(stored.size(), picture.size()) << o;
            decode::SetAutoRotate(true);
            const QImage upright = Load(path);
            EXPECT_EQ(upright, testimg::UprightReference(stored, o)) << o << (bigEndian ? " big-endian" : "");
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(decode::ReadOrientation(file).orientation, o);
        }
}

TEST_F(OrientationTest, DamagedOrMissingOrientationDataMeansAsStored)
{
    const QImage picture = testimg::Asymmetric(16, 8);
    QByteArray jpeg = testimg::JpegWithOrientation(picture, 6, false);
    auto orientationOf = [](const QByteArray& bytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return decode::ReadOrientation(buffer).orientation;
    };
    EXPECT_EQ(orientationOf(jpeg), 6);
    // Every cut of the segments and an out-of-range value give 1, never a
    // read past the end.
    for (int cut = 0; cut < 80; ++cut)
        EXPECT_GE(orientationOf(jpeg.left(cut)), 1);
    QByteArray wrongValue = testimg::JpegWithOrientation(picture, 9, false);
    EXPECT_EQ(orientationOf(wrongValue), 1);
    QByteArray farDirectory = jpeg;
    const int tiff = farDirectory.indexOf("II*");
    qToLittleEndian<quint32>(0x7FFFFFF0u, farDirectory.data() + tiff + 4);
    EXPECT_EQ(orientationOf(farDirectory), 1);
    EXPECT_EQ(orientationOf(QByteArray("\xFF\x0A\xFF\xFF", 4)), 1);
    EXPECT_EQ(orientationOf(QByteArray("\0\0\0\x08"
                                       "ftyp",
                                       8)),
              1);
    EXPECT_EQ(orientationOf(QByteArray("RIFF\xFF\xFF\xFF\xFFWEBPEXIF\xFF\xFF\xFF\xFF", 20)), 1);
    // A picture whose file carries no orientation loads as it is.
    const QString plain = Write("plain.png", QByteArray());
    ASSERT_TRUE(picture.save(plain, "PNG"));
    EXPECT_EQ(Load(plain), picture);
}
