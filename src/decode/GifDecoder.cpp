#include "GifDecoder.h"

#include <gif_lib.h>

#include <optional>
#include <vector>

namespace decode {

namespace {

struct Reader {
    ByteView data;
    std::size_t position = 0;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int length)
{
    auto* reader = static_cast<Reader*>(gif->UserData);
    if (length <= 0)
        return 0;
    const std::size_t left = reader->data.size() - reader->position;
    const std::size_t n = std::min<std::size_t>(left, std::size_t(length));
    std::memcpy(out, reader->data.data() + reader->position, n);
    reader->position += n;
    return int(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

QString GifFailure(int code)
{
    const char* text = GifErrorString(code);
    return QStringLiteral("GIF データを読めません: %1").arg(QString::fromLatin1(text ? text : "?"));
}

} // namespace

QImage DecodeGifData(ByteView data, std::optional<QRgb> background)
{
    if (data.size() < 6 || std::memcmp(data.data(), "GIF", 3) != 0)
        Fail(QStringLiteral("GIF データではありません"));
    Reader reader{data, 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadBytes, &error));
    if (!gif)
        Fail(GifFailure(error));

    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            Fail(GifFailure(gif->Error));
        if (type == TERMINATE_RECORD_TYPE)
            Fail(QStringLiteral("GIF に画像がありません"));
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                Fail(GifFailure(gif->Error));
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(4, block + 1, &gcb) == GIF_OK)
                    transparentIndex = gcb.TransparentColor;
            }
            while (block) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    Fail(GifFailure(gif->Error));
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            Fail(QStringLiteral("GIF のレコードが不正です"));
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            Fail(GifFailure(gif->Error));
        break;
    }

    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || !map->Colors || map->ColorCount <= 0)
        Fail(QStringLiteral("GIF に色テーブルがありません"));
    const std::int64_t frameWidth = desc.Width, frameHeight = desc.Height;
    CheckImageSize(frameWidth, frameHeight);
    std::int64_t screenWidth = gif->SWidth, screenHeight = gif->SHeight;
    if (screenWidth <= 0 || screenHeight <= 0) {
        screenWidth = std::int64_t(desc.Left) + frameWidth;
        screenHeight = std::int64_t(desc.Top) + frameHeight;
    }
    CheckImageSize(screenWidth, screenHeight);

    // Read the frame's indices first: a truncated file fails here, before
    // the screen-sized picture is allocated. The buffer grows with the data.
    std::vector<GifPixelType> indices;
    std::vector<GifPixelType> line(static_cast<std::size_t>(frameWidth));
    auto readRow = [&](std::int64_t row) {
        if (DGifGetLine(gif.get(), line.data(), int(frameWidth)) == GIF_ERROR)
            Fail(GifFailure(gif->Error));
        const std::size_t at = std::size_t(row) * std::size_t(frameWidth);
        if (indices.size() < at + line.size())
            indices.resize(at + line.size());
        std::memcpy(indices.data() + at, line.data(), line.size());
    };
    if (desc.Interlace) {
        static const int start[4] = {0, 4, 2, 1};
        static const int step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (std::int64_t row = start[pass]; row < frameHeight; row += step[pass])
                readRow(row);
    } else {
        for (std::int64_t row = 0; row < frameHeight; ++row)
            readRow(row);
    }

    QRgb palette[256];
    for (int i = 0; i < 256; ++i) {
        if (i < map->ColorCount) {
            const GifColorType& c = map->Colors[i];
            palette[i] = qRgb(c.Red, c.Green, c.Blue);
        } else {
            palette[i] = qRgb(0, 0, 0); // beyond a short colour table
        }
    }

    const bool keyed = background.has_value();
    QImage image = AllocateImage(screenWidth, screenHeight, keyed ? QImage::Format_RGB888 : QImage::Format_ARGB32);
    if (keyed)
        image.fill(*background);
    else
        image.fill(0);
    for (std::int64_t row = 0; row < frameHeight; ++row) {
        const std::int64_t y = std::int64_t(desc.Top) + row;
        if (y < 0 || y >= screenHeight)
            continue;
        const GifPixelType* src = indices.data() + std::size_t(row) * std::size_t(frameWidth);
        uchar* dst = image.scanLine(int(y));
        for (std::int64_t x = 0; x < frameWidth; ++x) {
            const std::int64_t sx = std::int64_t(desc.Left) + x;
            if (sx >= screenWidth)
                break;
            const GifPixelType index = src[x];
            if (int(index) == transparentIndex)
                continue;
            const QRgb c = palette[index];
            if (keyed) {
                dst[3 * sx] = uchar(qRed(c));
                dst[3 * sx + 1] = uchar(qGreen(c));
                dst[3 * sx + 2] = uchar(qBlue(c));
            } else {
                reinterpret_cast<QRgb*>(dst)[sx] = c;
            }
        }
    }
    return image;
}

} // namespace decode
