#include "FuzzCommon.h"
#include "decode/GifDecoder.h"

void OrvantoFuzzDecode(const QByteArray& bytes)
{
    const QImage image = decode::DecodeGifData(decode::ByteView(bytes));
    volatile unsigned sum = 0;
    for (int y = 0; y < image.height(); ++y)
        sum += image.constScanLine(y)[0];
}
