/*
 * Susie import plug-in for TIFF pictures (libtiff), first page only: bilevel
 * (including CCITT G3/G4 fax), grey, palette, RGB, YCbCr and CMYK pictures
 * of 1 to 16 bits per sample, uncompressed or compressed with any codec
 * libtiff was built with, in strips or tiles, with or without alpha.
 *
 * Pictures with alpha become 32-bit bitmaps (blue, green, red, alpha),
 * others 24-bit ones; both top-down. Pixels are returned in stored order:
 * the Orientation tag is left to the host.
 */
#include "spi_common.h"

#include <tiffio.h>

#include <stdlib.h>
#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto TIFF plug-in 1.0",
    "*.tif;*.tiff",
    "Tagged Image File Format",
};

/* Rows converted per call of the library and per progress report, at
 * least; a band always holds whole strips or rows of tiles, since the
 * library decodes a strip or tile again for every call that touches it. */
#define BAND_ROWS 64
/* The largest single block the library may allocate. */
#define MAX_LIBRARY_BLOCK ((tmsize_t)1 << 28)

typedef struct MemoryFile {
    const unsigned char* data;
    size_t size;
    size_t position;
} MemoryFile;

static tmsize_t memory_read(thandle_t handle, void* buffer, tmsize_t size)
{
    MemoryFile* file = (MemoryFile*)handle;
    if (size <= 0 || file->position >= file->size)
        return 0;
    size_t count = (size_t)size;
    if (count > file->size - file->position)
        count = file->size - file->position;
    memcpy(buffer, file->data + file->position, count);
    file->position += count;
    return (tmsize_t)count;
}

static tmsize_t memory_write(thandle_t handle, void* buffer, tmsize_t size)
{
    (void)handle;
    (void)buffer;
    (void)size;
    return -1;
}

static toff_t memory_seek(thandle_t handle, toff_t offset, int whence)
{
    MemoryFile* file = (MemoryFile*)handle;
    uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = file->position;
    else if (whence == SEEK_END)
        base = file->size;
    if (offset > UINT64_MAX - base || base + offset > (uint64_t)SIZE_MAX)
        return (toff_t)-1;
    file->position = (size_t)(base + offset);
    return (toff_t)file->position;
}

static int memory_close(thandle_t handle)
{
    (void)handle;
    return 0;
}

static toff_t memory_size(thandle_t handle)
{
    return (toff_t)((MemoryFile*)handle)->size;
}

static int memory_map(thandle_t handle, void** base, toff_t* size)
{
    MemoryFile* file = (MemoryFile*)handle;
    *base = (void*)file->data;
    *size = (toff_t)file->size;
    return 1;
}

static void memory_unmap(thandle_t handle, void* base, toff_t size)
{
    (void)handle;
    (void)base;
    (void)size;
}

/* Library messages are not printed: a failure shows in the result. */
static int quiet_handler(TIFF* tif, void* user, const char* module, const char* format, va_list args)
{
    (void)tif;
    (void)user;
    (void)module;
    (void)format;
    (void)args;
    return 1;
}

static int looks_like_tiff(const unsigned char* head, size_t size)
{
    if (size < 8)
        return 0;
    return (head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0)
           || (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43));
}

static TIFF* open_memory(MemoryFile* file)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return NULL;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, MAX_LIBRARY_BLOCK);
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet_handler, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet_handler, NULL);
    TIFF* tif = TIFFClientOpenExt("memory", "r", (thandle_t)file, memory_read, memory_write, memory_seek, memory_close,
                                  memory_size, memory_map, memory_unmap, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

typedef struct TiffShape {
    uint32_t width, height;
    uint16_t bits, samples, photometric, planar, extraCount;
    int alpha;
} TiffShape;

static int read_shape(TIFF* tif, TiffShape* shape)
{
    memset(shape, 0, sizeof *shape);
    uint16_t* extra = NULL;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &shape->width)
        || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &shape->height))
        return SUSIE_BROKEN_DATA;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &shape->bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &shape->samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &shape->planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &shape->photometric))
        shape->photometric = shape->samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &shape->extraCount, &extra) && shape->extraCount > 0 && extra)
        shape->alpha = extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA;
    if (shape->width == 0 || shape->height == 0 || shape->width > SPI_MAX_DIMENSION || shape->height > SPI_MAX_DIMENSION
        || shape->bits == 0 || shape->bits > 32 || shape->samples == 0)
        return SUSIE_BROKEN_DATA;
    return SUSIE_OK;
}

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength)
{
    return spi_plugin_info(kInfo, (int)(sizeof kInfo / sizeof kInfo[0]), infoNumber, buffer, bufferLength);
}

SUSIE_EXPORT int32_t IsSupported(const char* name, const void* head)
{
    (void)name;
    return head && looks_like_tiff((const unsigned char*)head, SUSIE_HEAD_SIZE);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    if (!looks_like_tiff(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    MemoryFile file = {data, size, 0};
    TIFF* tif = open_memory(&file);
    if (!tif)
        return SUSIE_BROKEN_DATA;
    TiffShape shape;
    const int result = read_shape(tif, &shape);
    if (result == SUSIE_OK) {
        info->width = (int32_t)shape.width;
        info->height = (int32_t)shape.height;
        const unsigned depth = (unsigned)shape.bits * shape.samples;
        info->colorDepth = (int16_t)(depth > 32 ? 32 : depth);
        char* text = NULL;
        if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text)
            info->hInfo = spi_text_handle(text, strnlen(text, 4096));
    }
    TIFFClose(tif);
    return result;
}

/* 16-bit CMYK, which the library's RGBA reader does not take. */
static int decode_cmyk16(TIFF* tif, const TiffShape* shape, SpiDib* dib, SusieProgressCallback progress,
                         intptr_t progressData)
{
    if (shape->planar != PLANARCONFIG_CONTIG || shape->samples < 4)
        return SUSIE_BROKEN_DATA;
    int result = spi_dib_create(dib, (int32_t)shape->width, -(int32_t)shape->height, shape->alpha ? 32 : 24, 0);
    if (result != SUSIE_OK)
        return result;
    const int tiled = TIFFIsTiled(tif);
    uint32_t tileWidth = shape->width, tileHeight = 1;
    if (tiled
        && (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight)
            || tileWidth == 0 || tileHeight == 0 || tileWidth > SPI_MAX_DIMENSION || tileHeight > SPI_MAX_DIMENSION)) {
        spi_dib_free(dib);
        return SUSIE_BROKEN_DATA;
    }
    const size_t pixelBytes = (size_t)shape->samples * 2;
    /* One band of whole rows (a row of tiles or one scanline) and one tile. */
    const uint64_t bandBytes = (uint64_t)shape->width * tileHeight * pixelBytes;
    const tmsize_t tileBytes = tiled ? TIFFTileSize(tif) : TIFFScanlineSize(tif);
    const uint64_t neededTile = (uint64_t)tileWidth * tileHeight * pixelBytes;
    if (bandBytes > SPI_MAX_PIXEL_BYTES || tileBytes <= 0 || (uint64_t)tileBytes < neededTile) {
        spi_dib_free(dib);
        return SUSIE_BROKEN_DATA;
    }
    uint16_t* band = (uint16_t*)malloc((size_t)bandBytes);
    unsigned char* tile = (unsigned char*)malloc((size_t)tileBytes);
    unsigned char* rgba = (unsigned char*)malloc((size_t)shape->width * 4);
    if (!band || !tile || !rgba) {
        free(band);
        free(tile);
        free(rgba);
        spi_dib_free(dib);
        return SUSIE_NO_MEMORY;
    }
    result = SUSIE_OK;
    for (uint32_t top = 0; top < shape->height && result == SUSIE_OK; top += tileHeight) {
        const uint32_t rows = shape->height - top < tileHeight ? shape->height - top : tileHeight;
        if (tiled) {
            for (uint32_t left = 0; left < shape->width && result == SUSIE_OK; left += tileWidth) {
                if (TIFFReadTile(tif, tile, left, top, 0, 0) < 0) {
                    result = SUSIE_BROKEN_DATA;
                    break;
                }
                const uint32_t columns = shape->width - left < tileWidth ? shape->width - left : tileWidth;
                for (uint32_t r = 0; r < rows; ++r)
                    memcpy((unsigned char*)band + ((size_t)r * shape->width + left) * pixelBytes,
                           tile + (size_t)r * tileWidth * pixelBytes, (size_t)columns * pixelBytes);
            }
        } else if (TIFFReadScanline(tif, tile, top, 0) < 0) {
            result = SUSIE_BROKEN_DATA;
        } else {
            memcpy(band, tile, (size_t)shape->width * pixelBytes);
        }
        for (uint32_t r = 0; r < rows && result == SUSIE_OK; ++r) {
            const uint16_t* src = band + (size_t)r * shape->width * shape->samples;
            for (uint32_t x = 0; x < shape->width; ++x, src += shape->samples) {
                const uint32_t k = 65535u - src[3];
                for (int c = 0; c < 3; ++c)
                    rgba[4 * x + c] = (unsigned char)(((uint64_t)(65535u - src[c]) * k / 65535u) >> 8);
                rgba[4 * x + 3] = shape->alpha && shape->samples > 4 ? (unsigned char)(src[4] >> 8) : 255;
            }
            spi_store_rgba_row(dib, spi_dib_row(dib, (int32_t)(top + r)), rgba);
        }
        if (result == SUSIE_OK && spi_progress(progress, (int32_t)(top + rows), (int32_t)shape->height, progressData))
            result = SUSIE_ABORTED;
    }
    free(band);
    free(tile);
    free(rgba);
    if (result != SUSIE_OK)
        spi_dib_free(dib);
    return result;
}

/* Every other kind, through the library's RGBA reader in bands of rows. */
static int decode_rgba(TIFF* tif, const TiffShape* shape, SpiDib* dib, SusieProgressCallback progress,
                       intptr_t progressData)
{
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message))
        return SUSIE_BROKEN_DATA;
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 1, message))
        return SUSIE_BROKEN_DATA;
    /* Rows in stored order: no flips by the reader. */
    image.orientation = ORIENTATION_TOPLEFT;
    image.req_orientation = ORIENTATION_TOPLEFT;
    const int alpha = image.alpha != 0;
    uint32_t unit = 0;
    if (!TIFFGetField(tif, TIFFIsTiled(tif) ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, &unit) || unit == 0
        || unit > shape->height)
        unit = shape->height;
    const uint32_t band = unit >= BAND_ROWS ? unit : unit * ((BAND_ROWS + unit - 1) / unit);
    int result = spi_dib_create(dib, (int32_t)shape->width, -(int32_t)shape->height, alpha ? 32 : 24, 0);
    uint32_t* raster = NULL;
    if (result == SUSIE_OK) {
        raster = (uint32_t*)malloc((size_t)shape->width * band * 4);
        if (!raster)
            result = SUSIE_NO_MEMORY;
    }
    for (uint32_t top = 0; top < shape->height && result == SUSIE_OK; top += band) {
        const uint32_t rows = shape->height - top < band ? shape->height - top : band;
        image.row_offset = (int)top;
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, raster, shape->width, rows)) {
            result = SUSIE_BROKEN_DATA;
            break;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            /* Each raster word holds red in its lowest byte, alpha in its
             * highest; colour is multiplied by alpha. */
            unsigned char* row = spi_dib_row(dib, (int32_t)(top + r));
            const uint32_t* src = raster + (size_t)r * shape->width;
            unsigned char rgba[4 * BAND_ROWS];
            for (uint32_t x = 0; x < shape->width; x += BAND_ROWS) {
                const uint32_t n = shape->width - x < BAND_ROWS ? shape->width - x : BAND_ROWS;
                for (uint32_t i = 0; i < n; ++i) {
                    const uint32_t p = src[x + i];
                    rgba[4 * i] = (unsigned char)TIFFGetR(p);
                    rgba[4 * i + 1] = (unsigned char)TIFFGetG(p);
                    rgba[4 * i + 2] = (unsigned char)TIFFGetB(p);
                    rgba[4 * i + 3] = (unsigned char)TIFFGetA(p);
                }
                SpiDib part = *dib;
                part.width = (int32_t)n;
                unsigned char* out = row + (size_t)x * (alpha ? 4 : 3);
                if (alpha)
                    spi_store_premultiplied_row(&part, out, rgba);
                else
                    spi_store_rgba_row(&part, out, rgba);
            }
        }
        if (spi_progress(progress, (int32_t)(top + rows), (int32_t)shape->height, progressData))
            result = SUSIE_ABORTED;
    }
    free(raster);
    TIFFRGBAImageEnd(&image);
    if (result != SUSIE_OK && dib->info)
        spi_dib_free(dib);
    return result;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    memset(dib, 0, sizeof *dib);
    if (!looks_like_tiff(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    if (spi_progress(progress, 0, 1, progressData))
        return SUSIE_ABORTED;
    MemoryFile file = {data, size, 0};
    TIFF* tif = open_memory(&file);
    if (!tif)
        return SUSIE_BROKEN_DATA;
    TiffShape shape;
    int result = read_shape(tif, &shape);
    if (result == SUSIE_OK) {
        if (shape.photometric == PHOTOMETRIC_SEPARATED && shape.bits == 16)
            result = decode_cmyk16(tif, &shape, dib, progress, progressData);
        else
            result = decode_rgba(tif, &shape, dib, progress, progressData);
    }
    TIFFClose(tif);
    return result;
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
