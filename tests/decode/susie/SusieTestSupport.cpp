#include "SusieTestSupport.h"

#include "decode/FormatRegistry.h"

#include <QFile>
#include <QFileInfo>

QString ProgramPlugin(const QString& name)
{
    return QStringLiteral(ORVANTO_BIN_DIR "/plugins/") + name + QStringLiteral(".spi");
}

QString FixturePlugin(const QString& name)
{
    return QStringLiteral(SUSIE_FIXTURE_DIR "/") + name + QStringLiteral(".spi");
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool IsMapped(const QString& canonicalPath)
{
    const QByteArray maps = ReadFile(QStringLiteral("/proc/self/maps"));
    return maps.contains(QFile::encodeName(canonicalPath));
}

namespace {

void Put16(QByteArray& out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

} // namespace

QImage Sample(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y * 11) & 0xFF, (y * 53 + 7) & 0xFF, (x * 19 + y * 29 + 100) & 0xFF));
    return image;
}

QImage SampleFromPalette(int width, int height, const QVector<QRgb>& colours)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colours[(x + 3 * y) % colours.size()]);
    return image;
}

QByteArray MakePpm(const QImage& image, bool ascii, int maxValue)
{
    QByteArray out = (ascii ? "P3\n" : "P6\n") + QByteArray("# made by the test\n") + QByteArray::number(image.width())
                     + ' ' + QByteArray::number(image.height()) + '\n' + QByteArray::number(maxValue) + '\n';
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int c[3] = {qRed(p), qGreen(p), qBlue(p)};
            for (int v : c) {
                const int scaled = (v * maxValue + 127) / 255;
                if (ascii) {
                    out += QByteArray::number(scaled) + ' ';
                } else if (maxValue > 255) {
                    out.append(char(scaled >> 8));
                    out.append(char(scaled & 0xFF));
                } else {
                    out.append(char(scaled));
                }
            }
        }
        if (ascii)
            out += '\n';
    }
    return out;
}

QByteArray MakePgm(const QImage& grey, int maxValue)
{
    QByteArray out = "P5 " + QByteArray::number(grey.width()) + ' ' + QByteArray::number(grey.height()) + ' '
                     + QByteArray::number(maxValue) + '\n';
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            const int scaled = (qRed(grey.pixel(x, y)) * maxValue + 127) / 255;
            if (maxValue > 255)
                out.append(char(scaled >> 8));
            out.append(char(scaled & 0xFF));
        }
    }
    return out;
}

QByteArray MakePbm(const QImage& mono, bool ascii)
{
    QByteArray out =
        (ascii ? "P1\n" : "P4\n") + QByteArray::number(mono.width()) + ' ' + QByteArray::number(mono.height()) + '\n';
    for (int y = 0; y < mono.height(); ++y) {
        QByteArray row((mono.width() + 7) / 8, '\0');
        for (int x = 0; x < mono.width(); ++x) {
            const bool black = qRed(mono.pixel(x, y)) == 0;
            if (ascii)
                out += black ? "1" : "0";
            else if (black)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out += ascii ? QByteArray("\n") : row;
    }
    return out;
}

QByteArray MakeTga(const QImage& image, int imageType, int bits, bool topDown, const QByteArray& id)
{
    const int w = image.width();
    const int h = image.height();
    QVector<QRgb> palette;
    if ((imageType & 7) == 1) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!palette.contains(image.pixel(x, y) | 0xFF000000u))
                    palette.append(image.pixel(x, y) | 0xFF000000u);
    }
    QByteArray out;
    out.append(char(id.size()));
    out.append(char(palette.isEmpty() ? 0 : 1));
    out.append(char(imageType));
    Put16(out, 0);
    Put16(out, palette.size());
    out.append(char(palette.isEmpty() ? 0 : 24));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, w);
    Put16(out, h);
    out.append(char(bits));
    out.append(char((topDown ? 0x20 : 0) | (bits == 32 ? 8 : 0)));
    out += id;
    for (QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
    }
    auto pixelBytes = [&](QRgb p) {
        QByteArray px;
        switch (imageType & 7) {
        case 1:
            px.append(char(palette.indexOf(p | 0xFF000000u)));
            break;
        case 3:
            px.append(char(qRed(p)));
            break;
        default:
            if (bits == 16) {
                const int v = ((qRed(p) >> 3) << 10) | ((qGreen(p) >> 3) << 5) | (qBlue(p) >> 3);
                px.append(char(v & 0xFF));
                px.append(char(v >> 8));
            } else {
                px.append(char(qBlue(p)));
                px.append(char(qGreen(p)));
                px.append(char(qRed(p)));
                if (bits == 32)
                    px.append(char(qAlpha(p)));
            }
        }
        return px;
    };
    QVector<QByteArray> pixels;
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        for (int x = 0; x < w; ++x)
            pixels.append(pixelBytes(image.pixel(x, y)));
    }
    if (imageType < 9) {
        for (const QByteArray& px : pixels)
            out += px;
        return out;
    }
    // Run-length packets: runs of equal pixels, raw packets otherwise;
    // packets run across rows.
    int i = 0;
    while (i < pixels.size()) {
        int run = 1;
        while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i])
            ++run;
        if (run > 1) {
            out.append(char(0x80 | (run - 1)));
            out += pixels[i];
            i += run;
            continue;
        }
        int raw = 1;
        while (i + raw < pixels.size() && raw < 128
               && !(i + raw + 1 < pixels.size() && pixels[i + raw] == pixels[i + raw + 1]))
            ++raw;
        out.append(char(raw - 1));
        for (int k = 0; k < raw; ++k)
            out += pixels[i + k];
        i += raw;
    }
    return out;
}

QByteArray MakePcx(const QImage& image, int bits, int planes)
{
    const int w = image.width();
    const int h = image.height();
    QVector<QRgb> palette;
    if (planes != 3) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!palette.contains(image.pixel(x, y) | 0xFF000000u))
                    palette.append(image.pixel(x, y) | 0xFF000000u);
    }
    const int bytesPerLine = ((w * bits + 7) / 8 + 1) & ~1;
    QByteArray header(128, '\0');
    header[0] = 0x0A;
    header[1] = 5;
    header[2] = 1;
    header[3] = char(bits);
    header[8] = char((w - 1) & 0xFF);
    header[9] = char((w - 1) >> 8);
    header[10] = char((h - 1) & 0xFF);
    header[11] = char((h - 1) >> 8);
    if (planes == 4) {
        for (int i = 0; i < palette.size() && i < 16; ++i) {
            header[16 + 3 * i] = char(qRed(palette[i]));
            header[17 + 3 * i] = char(qGreen(palette[i]));
            header[18 + 3 * i] = char(qBlue(palette[i]));
        }
    }
    header[65] = char(planes);
    header[66] = char(bytesPerLine & 0xFF);
    header[67] = char(bytesPerLine >> 8);
    QByteArray out = header;

    QByteArray all;
    for (int y = 0; y < h; ++y) {
        QByteArray line(bytesPerLine * planes, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y) | 0xFF000000u;
            if (planes == 3) {
                line[x] = char(qRed(p));
                line[bytesPerLine + x] = char(qGreen(p));
                line[2 * bytesPerLine + x] = char(qBlue(p));
            } else if (planes == 1) {
                line[x] = char(palette.indexOf(p));
            } else {
                const int index = palette.indexOf(p);
                for (int plane = 0; plane < 4; ++plane)
                    if (index & (1 << plane))
                        line[plane * bytesPerLine + x / 8] =
                            char(line[plane * bytesPerLine + x / 8] | (0x80 >> (x % 8)));
            }
        }
        all += line;
    }
    // Run-length encoding over the whole data.
    int i = 0;
    while (i < all.size()) {
        int run = 1;
        while (i + run < all.size() && run < 63 && all[i + run] == all[i])
            ++run;
        const unsigned char value = static_cast<unsigned char>(all[i]);
        if (run > 1 || (value & 0xC0) == 0xC0) {
            out.append(char(0xC0 | run));
            out.append(char(value));
        } else {
            out.append(char(value));
        }
        i += run;
    }
    if (planes == 1 && bits == 8) {
        out.append(char(0x0C));
        for (int k = 0; k < 256; ++k) {
            const QRgb c = k < palette.size() ? palette[k] : 0;
            out.append(char(qRed(c)));
            out.append(char(qGreen(c)));
            out.append(char(qBlue(c)));
        }
    }
    return out;
}

QByteArray MakeTestFormat(const QImage& image, int mode)
{
    QByteArray out("TSPI");
    out.append(char(mode));
    out.append(char(image.width()));
    out.append(char(image.height()));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            out.append(char(qRed(p)));
            out.append(char(qGreen(p)));
            out.append(char(qBlue(p)));
        }
    return out;
}

::testing::AssertionResult SamePixels(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = actual.pixel(x, y) & 0xFFFFFF;
            const QRgb e = expected.pixel(x, y) & 0xFFFFFF;
            if (a != e)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << ") is " << std::hex << a << ", expected " << e;
        }
    return ::testing::AssertionSuccess();
}

void SusieFolderTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    TFormatRegistry::Instance().ResetForTesting();
}

void SusieFolderTest::TearDown()
{
    TFormatRegistry::Instance().ResetForTesting();
}

QString SusieFolderTest::CopyIn(const QString& source, const QString& name)
{
    const QString target = m_dir.filePath(name);
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(source, target)) << source.toStdString();
    return QFileInfo(target).canonicalFilePath();
}
