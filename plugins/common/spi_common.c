#include "spi_common.h"

#include <stdio.h>
#include <string.h>

int spi_input_open(const char* buf, intptr_t len, uint32_t flag, SpiInput* input)
{
    memset(input, 0, sizeof *input);
    if (!buf)
        return SUSIE_FILE_READ_ERROR;
    if ((flag & SUSIE_INPUT_MASK) == SUSIE_INPUT_MEMORY) {
        if (len < 0)
            return SUSIE_BROKEN_DATA;
        input->data = (const unsigned char*)buf;
        input->size = (size_t)len;
        return SUSIE_OK;
    }
    if ((flag & SUSIE_INPUT_MASK) != SUSIE_INPUT_FILE || len < 0 || buf[0] == '\0')
        return SUSIE_FILE_READ_ERROR;

    FILE* file = fopen(buf, "rb");
    if (!file)
        return SUSIE_FILE_READ_ERROR;
    int result = SUSIE_FILE_READ_ERROR;
    if (fseeko(file, 0, SEEK_END) == 0) {
        const off_t end = ftello(file);
        if (end >= 0 && (uint64_t)end >= (uint64_t)len && fseeko(file, (off_t)len, SEEK_SET) == 0) {
            const uint64_t size = (uint64_t)end - (uint64_t)len;
            if (size > SPI_MAX_INPUT) {
                result = SUSIE_NO_MEMORY;
            } else {
                unsigned char* data = (unsigned char*)malloc(size ? (size_t)size : 1);
                if (!data) {
                    result = SUSIE_NO_MEMORY;
                } else if (fread(data, 1, (size_t)size, file) != (size_t)size) {
                    free(data);
                } else {
                    input->owned = data;
                    input->data = data;
                    input->size = (size_t)size;
                    result = SUSIE_OK;
                }
            }
        }
    }
    fclose(file);
    return result;
}

void spi_input_close(SpiInput* input)
{
    free(input->owned);
    memset(input, 0, sizeof *input);
}

int32_t spi_plugin_info(const char* const* table, int count, int32_t number, char* buffer, int32_t length)
{
    if (number < 0 || number >= count || !buffer || length <= 0)
        return 0;
    const char* text = table[number];
    size_t n = strlen(text);
    if (n > (size_t)length - 1)
        n = (size_t)length - 1;
    memcpy(buffer, text, n);
    buffer[n] = '\0';
    return (int32_t)n;
}

int spi_name_has_extension(const char* name, const char* const* extensions, int count)
{
    if (!name)
        return 0;
    const char* slash = strrchr(name, '/');
    const char* dot = strrchr(name, '.');
    if (!dot || (slash && dot < slash))
        return 0;
    ++dot;
    for (int i = 0; i < count; ++i) {
        const char* ext = extensions[i];
        size_t k = 0;
        for (; ext[k] && dot[k]; ++k) {
            char c = dot[k];
            if (c >= 'A' && c <= 'Z')
                c = (char)(c - 'A' + 'a');
            if (c != ext[k])
                break;
        }
        if (ext[k] == '\0' && dot[k] == '\0')
            return 1;
    }
    return 0;
}

int spi_dib_create(SpiDib* dib, int32_t width, int32_t height, int bitsPerPixel, int colors)
{
    memset(dib, 0, sizeof *dib);
    const int32_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows <= 0 || width > SPI_MAX_DIMENSION || rows > SPI_MAX_DIMENSION)
        return SUSIE_BROKEN_DATA;
    if (colors < 0 || colors > 256)
        return SUSIE_BROKEN_DATA;
    const uint64_t stride = (((uint64_t)bitsPerPixel * (uint64_t)width + 31) / 32) * 4;
    const uint64_t pixelBytes = stride * (uint64_t)rows;
    if (pixelBytes > SPI_MAX_PIXEL_BYTES)
        return SUSIE_NO_MEMORY;

    const size_t infoSize = 40 + 4 * (size_t)colors;
    unsigned char* info = (unsigned char*)SusieLocalAlloc(infoSize);
    unsigned char* bits = (unsigned char*)SusieLocalAlloc((size_t)pixelBytes);
    if (!info || !bits) {
        SusieLocalFree(info);
        SusieLocalFree(bits);
        return SUSIE_NO_MEMORY;
    }
    memset(info, 0, infoSize);
    memset(bits, 0, (size_t)pixelBytes);

    const uint32_t fields[] = {40u, (uint32_t)width, (uint32_t)height};
    for (int f = 0; f < 3; ++f)
        for (int b = 0; b < 4; ++b)
            info[4 * f + b] = (unsigned char)(fields[f] >> (8 * b));
    info[12] = 1; /* planes */
    info[14] = (unsigned char)bitsPerPixel;
    const uint32_t imageSize = (uint32_t)pixelBytes;
    for (int b = 0; b < 4; ++b) {
        info[20 + b] = (unsigned char)(imageSize >> (8 * b));
        info[32 + b] = (unsigned char)((uint32_t)colors >> (8 * b));
    }

    dib->info = info;
    dib->bits = bits;
    dib->width = width;
    dib->height = height;
    dib->bitsPerPixel = bitsPerPixel;
    dib->colors = colors;
    dib->stride = (size_t)stride;
    dib->palette = info + 40;
    dib->pixels = bits;
    return SUSIE_OK;
}

void spi_dib_set_color(SpiDib* dib, int index, unsigned red, unsigned green, unsigned blue)
{
    if (index < 0 || index >= dib->colors)
        return;
    unsigned char* entry = dib->palette + 4 * index;
    entry[0] = (unsigned char)blue;
    entry[1] = (unsigned char)green;
    entry[2] = (unsigned char)red;
    entry[3] = 0;
}

unsigned char* spi_dib_row(SpiDib* dib, int32_t y)
{
    return dib->pixels + (size_t)y * dib->stride;
}

unsigned char* spi_dib_row_from_top(SpiDib* dib, int32_t y)
{
    if (dib->height < 0)
        return spi_dib_row(dib, y);
    return spi_dib_row(dib, dib->height - 1 - y);
}

void spi_dib_free(SpiDib* dib)
{
    SusieLocalFree(dib->info);
    SusieLocalFree(dib->bits);
    memset(dib, 0, sizeof *dib);
}

void spi_dib_release(SpiDib* dib, SusieLocalHandle* info, SusieLocalHandle* bits)
{
    *info = dib->info;
    *bits = dib->bits;
    memset(dib, 0, sizeof *dib);
}

void spi_store_rgba_row(const SpiDib* dib, unsigned char* row, const unsigned char* rgba)
{
    const int channels = dib->bitsPerPixel == 32 ? 4 : 3;
    for (int32_t x = 0; x < dib->width; ++x, rgba += 4, row += channels) {
        row[0] = rgba[2];
        row[1] = rgba[1];
        row[2] = rgba[0];
        if (channels == 4)
            row[3] = rgba[3];
    }
}

void spi_store_premultiplied_row(const SpiDib* dib, unsigned char* row, const unsigned char* rgba)
{
    const int channels = dib->bitsPerPixel == 32 ? 4 : 3;
    for (int32_t x = 0; x < dib->width; ++x, rgba += 4, row += channels) {
        const unsigned a = rgba[3];
        for (int c = 0; c < 3; ++c) {
            unsigned v = rgba[2 - c];
            if (a == 0)
                v = 0;
            else if (a < 255)
                v = (v * 255u + a / 2) / a;
            row[c] = (unsigned char)(v > 255 ? 255 : v);
        }
        if (channels == 4)
            row[3] = (unsigned char)a;
    }
}

SusieLocalHandle spi_text_handle(const char* text, size_t length)
{
    if (!text || length == 0)
        return NULL;
    char* block = (char*)SusieLocalAlloc(length + 1);
    if (!block)
        return NULL;
    memcpy(block, text, length);
    block[length] = '\0';
    return block;
}

int spi_progress(SusieProgressCallback progress, int32_t current, int32_t total, intptr_t data)
{
    if (!progress)
        return 0;
    return progress(current, total, data) != 0;
}

int32_t spi_get_picture_info(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info, SpiInfoReader read)
{
    if (!info)
        return SUSIE_INTERNAL_ERROR;
    SpiInput input;
    int result = spi_input_open(buf, len, flag, &input);
    if (result != SUSIE_OK)
        return result;
    SusiePictureInfo found;
    memset(&found, 0, sizeof found);
    result = read(input.data, input.size, &found);
    if (result == SUSIE_OK)
        *info = found;
    spi_input_close(&input);
    return result;
}

int32_t spi_get_picture(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                        SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t progressData,
                        SpiPictureDecoder decode)
{
    if (!bitmapInfo || !bitmapBits)
        return SUSIE_INTERNAL_ERROR;
    SpiInput input;
    int result = spi_input_open(buf, len, flag, &input);
    if (result != SUSIE_OK)
        return result;
    SpiDib dib;
    result = decode(input.data, input.size, &dib, progress, progressData);
    if (result == SUSIE_OK)
        spi_dib_release(&dib, bitmapInfo, bitmapBits);
    spi_input_close(&input);
    return result;
}
