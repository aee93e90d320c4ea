/*
 * Susie import plug-in for ZSoft PCX pictures (run-length encoded):
 *   1 bit, 1 plane    -> 1-bit bitmap (black, white)
 *   1 bit, 4 planes   -> 4-bit bitmap with the 16-colour header palette
 *   4 bits, 1 plane   -> 4-bit bitmap with the 16-colour header palette
 *   8 bits, 1 plane   -> 8-bit bitmap with the 256-colour palette at the end
 *                        of the file (grey when the file has none)
 *   8 bits, 3 planes  -> 24-bit bitmap
 */
#include "spi_common.h"

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto PCX plug-in 1.0",
    "*.pcx",
    "ZSoft PCX",
};

typedef struct PcxHeader {
    unsigned version;
    unsigned bits;
    unsigned xmin, ymin, xmax, ymax;
    unsigned planes;
    unsigned bytesPerLine;
    const unsigned char* palette16;
} PcxHeader;

static unsigned u16(const unsigned char* p)
{
    return (unsigned)p[0] | ((unsigned)p[1] << 8);
}

static int layout_supported(unsigned bits, unsigned planes)
{
    return (bits == 1 && (planes == 1 || planes == 4)) || (bits == 4 && planes == 1)
           || (bits == 8 && (planes == 1 || planes == 3));
}

static int read_header(const unsigned char* p, size_t size, PcxHeader* h)
{
    if (size < 128 || p[0] != 0x0A || p[2] != 1)
        return 0;
    h->version = p[1];
    if (h->version != 0 && h->version != 2 && h->version != 3 && h->version != 4 && h->version != 5)
        return 0;
    h->bits = p[3];
    h->xmin = u16(p + 4);
    h->ymin = u16(p + 6);
    h->xmax = u16(p + 8);
    h->ymax = u16(p + 10);
    h->palette16 = p + 16;
    h->planes = p[65];
    h->bytesPerLine = u16(p + 66);
    if (!layout_supported(h->bits, h->planes) || h->xmax < h->xmin || h->ymax < h->ymin)
        return 0;
    const unsigned width = h->xmax - h->xmin + 1;
    if (h->bytesPerLine == 0 || (uint64_t)h->bytesPerLine * 8 < (uint64_t)width * h->bits)
        return 0;
    return 1;
}

static int out_depth(const PcxHeader* h)
{
    if (h->planes == 3)
        return 24;
    if (h->bits == 8)
        return 8;
    if (h->bits == 1 && h->planes == 1)
        return 1;
    return 4;
}

static int decode(const PcxHeader* h, const unsigned char* data, size_t size, SpiDib* dib,
                  SusieProgressCallback progress, intptr_t progressData)
{
    const int32_t width = (int32_t)(h->xmax - h->xmin + 1);
    const int32_t height = (int32_t)(h->ymax - h->ymin + 1);
    const size_t lineBytes = (size_t)h->bytesPerLine * h->planes;
    /* A run packet of two bytes gives at most 63 bytes. */
    if ((uint64_t)(size - 128) * 63 < (uint64_t)lineBytes * (uint64_t)height)
        return SUSIE_BROKEN_DATA;

    const int depth = out_depth(h);
    const int colors = depth == 1 ? 2 : depth == 4 ? 16 : depth == 8 ? 256 : 0;
    int result = spi_dib_create(dib, width, height, depth, colors);
    if (result != SUSIE_OK)
        return result;

    if (depth == 1) {
        spi_dib_set_color(dib, 0, 0, 0, 0);
        spi_dib_set_color(dib, 1, 255, 255, 255);
    } else if (depth == 4) {
        for (int i = 0; i < 16; ++i)
            spi_dib_set_color(dib, i, h->palette16[3 * i], h->palette16[3 * i + 1], h->palette16[3 * i + 2]);
    } else if (depth == 8) {
        if (h->version >= 5 && size >= 128 + 769 && data[size - 769] == 0x0C) {
            const unsigned char* pal = data + size - 768;
            for (int i = 0; i < 256; ++i)
                spi_dib_set_color(dib, i, pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]);
        } else {
            for (int i = 0; i < 256; ++i)
                spi_dib_set_color(dib, i, (unsigned)i, (unsigned)i, (unsigned)i);
        }
    }

    unsigned char* line = (unsigned char*)malloc(lineBytes);
    if (!line) {
        spi_dib_free(dib);
        return SUSIE_NO_MEMORY;
    }
    size_t pos = 128;
    unsigned runLeft = 0;
    unsigned char runValue = 0;
    for (int32_t y = 0; y < height; ++y) {
        /* Runs may continue from one scan line into the next. */
        for (size_t i = 0; i < lineBytes; ++i) {
            if (runLeft == 0) {
                if (pos >= size)
                    goto broken;
                const unsigned char c = data[pos++];
                if ((c & 0xC0u) == 0xC0u) {
                    if (pos >= size)
                        goto broken;
                    runLeft = c & 0x3Fu;
                    runValue = data[pos++];
                    if (runLeft == 0) {
                        --i; /* an empty run adds nothing */
                        continue;
                    }
                } else {
                    runLeft = 1;
                    runValue = c;
                }
            }
            line[i] = runValue;
            --runLeft;
        }

        unsigned char* row = spi_dib_row_from_top(dib, y);
        if (depth == 24) {
            const unsigned char* r = line;
            const unsigned char* g = line + h->bytesPerLine;
            const unsigned char* b = line + 2 * (size_t)h->bytesPerLine;
            for (int32_t x = 0; x < width; ++x) {
                row[3 * x + 0] = b[x];
                row[3 * x + 1] = g[x];
                row[3 * x + 2] = r[x];
            }
        } else if (depth == 4 && h->planes == 4) {
            for (int32_t x = 0; x < width; ++x) {
                unsigned index = 0;
                for (unsigned p = 0; p < 4; ++p) {
                    const unsigned char byte = line[p * h->bytesPerLine + (size_t)x / 8];
                    if (byte & (0x80u >> (x % 8)))
                        index |= 1u << p;
                }
                if (x % 2 == 0)
                    row[x / 2] = (unsigned char)(index << 4);
                else
                    row[x / 2] |= (unsigned char)index;
            }
        } else {
            /* One plane in the bitmap's own packing: 1, 4 or 8 bits. */
            memcpy(row, line, ((size_t)width * h->bits + 7) / 8);
        }
        if ((y & 15) == 15 && spi_progress(progress, y + 1, height, progressData)) {
            free(line);
            spi_dib_free(dib);
            return SUSIE_ABORTED;
        }
    }
    free(line);
    if (spi_progress(progress, height, height, progressData)) {
        spi_dib_free(dib);
        return SUSIE_ABORTED;
    }
    return SUSIE_OK;

broken:
    free(line);
    spi_dib_free(dib);
    return SUSIE_BROKEN_DATA;
}

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength)
{
    return spi_plugin_info(kInfo, (int)(sizeof kInfo / sizeof kInfo[0]), infoNumber, buffer, bufferLength);
}

SUSIE_EXPORT int32_t IsSupported(const char* name, const void* head)
{
    (void)name;
    PcxHeader h;
    return head && read_header((const unsigned char*)head, SUSIE_HEAD_SIZE, &h);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    PcxHeader h;
    if (!read_header(data, size, &h))
        return SUSIE_UNKNOWN_FORMAT;
    info->left = (int32_t)h.xmin;
    info->top = (int32_t)h.ymin;
    info->width = (int32_t)(h.xmax - h.xmin + 1);
    info->height = (int32_t)(h.ymax - h.ymin + 1);
    info->xDensity = (uint16_t)u16(data + 12);
    info->yDensity = (uint16_t)u16(data + 14);
    info->colorDepth = (int16_t)(h.bits * h.planes);
    return SUSIE_OK;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    PcxHeader h;
    if (!read_header(data, size, &h))
        return SUSIE_UNKNOWN_FORMAT;
    return decode(&h, data, size, dib, progress, progressData);
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
