// Shared part of the decoder fuzz targets: each target defines
// OrvantoFuzzDecode(), which loads the bytes and touches the result.
#pragma once
#include "decode/DecodeLimits.h"
#include "decode/Graphic.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>

void OrvantoFuzzDecode(const QByteArray& bytes);

// Draws the graphic into a small image and reads every pixel of its image
// form, so that uninitialised or out-of-range pixels are noticed.
inline void OrvantoFuzzTouch(const TGraphic& graphic)
{
    QImage small(48, 48, QImage::Format_ARGB32_Premultiplied);
    small.fill(0);
    {
        QPainter painter(&small);
        graphic.Draw(painter, QRect(0, 0, 48, 48));
    }
    const QImage image = graphic.ToImage();
    volatile unsigned sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (qsizetype x = 0; x < image.bytesPerLine(); x += 61)
            sum += row[x];
    }
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char name[] = "fuzz";
    static char* qtArgv[] = {name, nullptr};
    new QGuiApplication(qtArgc, qtArgv);
    // Keep every input fast; the full limit is covered by the unit tests.
    decode::SetMaxPixelsForTesting(std::uint64_t(1) << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        OrvantoFuzzDecode(bytes);
    } catch (const EGraphicError&) {
    }
    return 0;
}
