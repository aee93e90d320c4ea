#pragma once
// Shared helpers of the Susie tests: where the plug-ins are, a temporary
// plug-in folder, and writers of small picture files.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A plug-in the project builds into the program folder ("pnm").
QString ProgramPlugin(const QString& name);
// A plug-in built only for the tests ("archive", "testformat", ...).
QString FixturePlugin(const QString& name);

bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// True when the file is mapped into this process (a loaded library).
bool IsMapped(const QString& canonicalPath);

// Picture files. Pixels are taken from an RGB32 image.
QByteArray MakePpm(const QImage& image, bool ascii = false, int maxValue = 255);
QByteArray MakePgm(const QImage& grey, int maxValue = 255);
QByteArray MakePbm(const QImage& mono, bool ascii = false); // black where the pixel is black
// kind: 2 true colour, 10 run-length true colour, 3 grey, 1 colour-mapped.
QByteArray MakeTga(const QImage& image, int imageType, int bits, bool topDown, const QByteArray& id = {});
// planes 3 (24-bit), 1 with 8 bits (256-colour palette) or 4 planes of 1 bit (16 colours).
QByteArray MakePcx(const QImage& image, int bits, int planes);
// The test format of the fixture plug-ins.
QByteArray MakeTestFormat(const QImage& image, int mode = 0);

// A small picture with distinct colours in each pixel.
QImage Sample(int width, int height);
// A picture using only the given colours.
QImage SampleFromPalette(int width, int height, const QVector<QRgb>& colours);

// Compares two pictures pixel by pixel (RGB only).
::testing::AssertionResult SamePixels(const QImage& actual, const QImage& expected);

class SusieFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Copies a plug-in into the temporary folder under the given file name.
    QString CopyIn(const QString& source, const QString& name);
    QString Folder() const { return m_dir.path(); }
    QString PathOf(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};
