/*
 * Susie import plug-in for Truevision TGA pictures: colour-mapped, true
 * colour and grey images, plain or run-length encoded (image types 1, 2, 3,
 * 9, 10, 11), 8, 15, 16, 24 and 32 bits per pixel.
 *
 * Colour-mapped and grey pictures become 8-bit bitmaps with a colour table,
 * 15- and 16-bit pictures 24-bit bitmaps, 24- and 32-bit pictures keep their
 * depth. A picture stored from the top row down becomes a top-down bitmap
 * (negative height). The image identification field is handed to the host
 * as the text information.
 */
#include "spi_common.h"

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto TGA plug-in 1.0",
    "*.tga;*.vda;*.icb;*.vst",
    "Truevision TGA",
};

static const char* const kExtensions[] = {"tga", "vda", "icb", "vst"};

typedef struct TgaHeader {
    unsigned idLength;
    unsigned mapType;
    unsigned imageType;
    unsigned mapStart;
    unsigned mapLength;
    unsigned mapBits;
    unsigned width;
    unsigned height;
    unsigned bits;
    unsigned descriptor;
} TgaHeader;

static unsigned u16(const unsigned char* p)
{
    return (unsigned)p[0] | ((unsigned)p[1] << 8);
}

static void read_header(const unsigned char* p, TgaHeader* h)
{
    h->idLength = p[0];
    h->mapType = p[1];
    h->imageType = p[2];
    h->mapStart = u16(p + 3);
    h->mapLength = u16(p + 5);
    h->mapBits = p[7];
    h->width = u16(p + 12);
    h->height = u16(p + 14);
    h->bits = p[16];
    h->descriptor = p[17];
}

/* A strict plausibility test: TGA has no signature. */
static int header_plausible(const TgaHeader* h)
{
    const unsigned base = h->imageType & 7u;
    if (h->imageType != 1 && h->imageType != 2 && h->imageType != 3 && h->imageType != 9 && h->imageType != 10
        && h->imageType != 11)
        return 0;
    if (h->mapType > 1 || h->width == 0 || h->height == 0)
        return 0;
    if (h->descriptor & 0xC0u) /* interleaving is not used by real files */
        return 0;
    if (h->mapType == 1 && h->mapBits != 15 && h->mapBits != 16 && h->mapBits != 24 && h->mapBits != 32)
        return 0;
    switch (base) {
    case 1:
        return h->mapType == 1 && h->bits == 8 && h->mapLength > 0 && h->mapStart + h->mapLength <= 256;
    case 2:
        return h->bits == 15 || h->bits == 16 || h->bits == 24 || h->bits == 32;
    case 3:
        return h->bits == 8;
    default:
        return 0;
    }
}

static int out_depth(const TgaHeader* h)
{
    const unsigned base = h->imageType & 7u;
    if (base != 2)
        return 8;
    return h->bits == 32 ? 32 : 24;
}

static void color16(const unsigned char* p, unsigned char* rgb)
{
    const unsigned v = u16(p);
    const unsigned r = (v >> 10) & 31u, g = (v >> 5) & 31u, b = v & 31u;
    rgb[0] = (unsigned char)((r << 3) | (r >> 2));
    rgb[1] = (unsigned char)((g << 3) | (g >> 2));
    rgb[2] = (unsigned char)((b << 3) | (b >> 2));
}

static int parse(const unsigned char* data, size_t size, TgaHeader* h, size_t* pixelStart)
{
    if (size < 18)
        return SUSIE_UNKNOWN_FORMAT;
    read_header(data, h);
    if (!header_plausible(h))
        return SUSIE_UNKNOWN_FORMAT;
    const size_t mapBytes = h->mapType == 1 ? (size_t)h->mapLength * ((h->mapBits + 7) / 8) : 0;
    const size_t start = 18 + (size_t)h->idLength + mapBytes;
    if (start > size)
        return SUSIE_BROKEN_DATA;
    *pixelStart = start;
    return SUSIE_OK;
}

static int decode(const TgaHeader* h, const unsigned char* data, size_t size, size_t start, SpiDib* dib,
                  SusieProgressCallback progress, intptr_t progressData)
{
    const unsigned base = h->imageType & 7u;
    const int rle = h->imageType >= 9;
    const unsigned pixelBytes = (h->bits + 7) / 8;
    const uint64_t pixels = (uint64_t)h->width * h->height;
    const size_t available = size - start;

    /* Enough data for the picture, before anything is allocated: a plain
     * picture needs every pixel, a run-length packet gives at most 128. */
    if (!rle && (uint64_t)available < pixels * pixelBytes)
        return SUSIE_BROKEN_DATA;
    if (rle && (uint64_t)available * 128 < pixels)
        return SUSIE_BROKEN_DATA;

    const int topDown = (h->descriptor & 0x20u) != 0;
    const int rightToLeft = (h->descriptor & 0x10u) != 0;
    const int depth = out_depth(h);
    const int32_t height = topDown ? -(int32_t)h->height : (int32_t)h->height;
    int result = spi_dib_create(dib, (int32_t)h->width, height, depth, depth == 8 ? 256 : 0);
    if (result != SUSIE_OK)
        return result;

    if (base == 1) {
        const unsigned entryBytes = (h->mapBits + 7) / 8;
        const unsigned char* map = data + 18 + h->idLength;
        for (unsigned i = 0; i < h->mapLength; ++i) {
            const unsigned char* e = map + (size_t)i * entryBytes;
            unsigned char rgb[3];
            if (entryBytes == 2)
                color16(e, rgb);
            else {
                rgb[0] = e[2];
                rgb[1] = e[1];
                rgb[2] = e[0];
            }
            spi_dib_set_color(dib, (int)(h->mapStart + i), rgb[0], rgb[1], rgb[2]);
        }
    } else if (base == 3) {
        for (int i = 0; i < 256; ++i)
            spi_dib_set_color(dib, i, (unsigned)i, (unsigned)i, (unsigned)i);
    }

    size_t pos = start;
    unsigned runLeft = 0, rawLeft = 0;
    unsigned char runPixel[4] = {0, 0, 0, 0};
    const int32_t rows = (int32_t)h->height;
    const int32_t width = (int32_t)h->width;
    for (int32_t y = 0; y < rows; ++y) {
        /* The file stores rows in memory order for both origins: bottom-up
         * pictures from the bottom row, top-down pictures from the top. */
        unsigned char* row = spi_dib_row(dib, y);
        for (int32_t i = 0; i < width; ++i) {
            const unsigned char* px;
            if (rle) {
                if (runLeft == 0 && rawLeft == 0) {
                    if (pos >= size)
                        goto broken;
                    const unsigned packet = data[pos++];
                    if (packet & 0x80u) {
                        if (size - pos < pixelBytes)
                            goto broken;
                        memcpy(runPixel, data + pos, pixelBytes);
                        pos += pixelBytes;
                        runLeft = (packet & 0x7Fu) + 1;
                    } else {
                        rawLeft = packet + 1;
                    }
                }
                if (runLeft) {
                    px = runPixel;
                    --runLeft;
                } else {
                    if (size - pos < pixelBytes)
                        goto broken;
                    px = data + pos;
                    pos += pixelBytes;
                    --rawLeft;
                }
            } else {
                px = data + pos;
                pos += pixelBytes;
            }
            const int32_t x = rightToLeft ? width - 1 - i : i;
            if (depth == 8) {
                row[x] = px[0];
            } else if (h->bits <= 16) {
                unsigned char rgb[3];
                color16(px, rgb);
                row[3 * x + 0] = rgb[2];
                row[3 * x + 1] = rgb[1];
                row[3 * x + 2] = rgb[0];
            } else {
                memcpy(row + (size_t)x * (depth / 8), px, (size_t)depth / 8);
            }
        }
        if ((y & 15) == 15 && spi_progress(progress, y + 1, rows, progressData)) {
            spi_dib_free(dib);
            return SUSIE_ABORTED;
        }
    }
    if (spi_progress(progress, rows, rows, progressData)) {
        spi_dib_free(dib);
        return SUSIE_ABORTED;
    }
    return SUSIE_OK;

broken:
    spi_dib_free(dib);
    return SUSIE_BROKEN_DATA;
}

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength)
{
    return spi_plugin_info(kInfo, (int)(sizeof kInfo / sizeof kInfo[0]), infoNumber, buffer, bufferLength);
}

SUSIE_EXPORT int32_t IsSupported(const char* name, const void* head)
{
    if (!head)
        return 0;
    /* Without a signature, a named file must also carry a TGA extension. */
    if (name && name[0] && !spi_name_has_extension(name, kExtensions, 4))
        return 0;
    TgaHeader h;
    read_header((const unsigned char*)head, &h);
    return header_plausible(&h);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    TgaHeader h;
    size_t start = 0;
    const int result = parse(data, size, &h, &start);
    if (result != SUSIE_OK)
        return result;
    info->left = (int32_t)u16(data + 8);
    info->top = (int32_t)u16(data + 10);
    info->width = (int32_t)h.width;
    info->height = (int32_t)h.height;
    info->colorDepth = (int16_t)h.bits;
    info->hInfo = spi_text_handle((const char*)data + 18, strnlen((const char*)data + 18, h.idLength));
    return SUSIE_OK;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    TgaHeader h;
    size_t start = 0;
    const int result = parse(data, size, &h, &start);
    if (result != SUSIE_OK)
        return result;
    return decode(&h, data, size, start, dib, progress, progressData);
}

SUSIE_EXPORT int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info)
{
    return spi_get_picture_info(buf, len, flag, info, read_info);
}

SUSIE_EXPORT int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                                SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data)
{
    return spi_get_picture(buf, len, flag, bitmapInfo, bitmapBits, progress, data, decode_picture);
}
