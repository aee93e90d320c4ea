/*
 * Susie import plug-in for AVIF pictures (libavif): 8-, 10- and 12-bit,
 * with or without alpha; of an image sequence the first frame.
 *
 * Pictures with alpha become 32-bit bitmaps (blue, green, red, alpha),
 * others 24-bit ones; both top-down. Pixels are returned as stored: the
 * rotation and mirroring properties are left to the host.
 */
#include "spi_common.h"

#include <avif/avif.h>

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto AVIF plug-in 1.0",
    "*.avif",
    "AV1 Image File Format",
};

/* True for an ISO media file whose file-type box names an AVIF brand. */
static int looks_like_avif(const unsigned char* head, size_t size)
{
    if (size < 16 || memcmp(head + 4, "ftyp", 4) != 0)
        return 0;
    size_t boxSize = ((size_t)head[0] << 24) | ((size_t)head[1] << 16) | ((size_t)head[2] << 8) | head[3];
    if (boxSize < 16 || boxSize > size)
        boxSize = size < 64 ? size : 64;
    for (size_t at = 8; at + 4 <= boxSize; at += 4) {
        if (at == 12)
            continue; /* minor version */
        if (memcmp(head + at, "avif", 4) == 0 || memcmp(head + at, "avis", 4) == 0)
            return 1;
    }
    return 0;
}

static avifDecoder* open_decoder(const unsigned char* data, size_t size, int* result)
{
    avifDecoder* decoder = avifDecoderCreate();
    if (!decoder) {
        *result = SUSIE_NO_MEMORY;
        return NULL;
    }
    decoder->maxThreads = 1;
    decoder->imageDimensionLimit = SPI_MAX_DIMENSION;
    decoder->imageSizeLimit = (uint32_t)(SPI_MAX_PIXEL_BYTES / 4);
    decoder->imageCountLimit = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    if (avifDecoderSetIOMemory(decoder, data, size) != AVIF_RESULT_OK || avifDecoderParse(decoder) != AVIF_RESULT_OK) {
        avifDecoderDestroy(decoder);
        *result = SUSIE_BROKEN_DATA;
        return NULL;
    }
    *result = SUSIE_OK;
    return decoder;
}

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength)
{
    return spi_plugin_info(kInfo, (int)(sizeof kInfo / sizeof kInfo[0]), infoNumber, buffer, bufferLength);
}

SUSIE_EXPORT int32_t IsSupported(const char* name, const void* head)
{
    (void)name;
    return head && looks_like_avif((const unsigned char*)head, SUSIE_HEAD_SIZE);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    if (!looks_like_avif(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    int result;
    avifDecoder* decoder = open_decoder(data, size, &result);
    if (!decoder)
        return result;
    info->width = (int32_t)decoder->image->width;
    info->height = (int32_t)decoder->image->height;
    info->colorDepth = (int16_t)(decoder->alphaPresent ? 32 : 24);
    avifDecoderDestroy(decoder);
    return SUSIE_OK;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    memset(dib, 0, sizeof *dib);
    if (!looks_like_avif(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    int result;
    avifDecoder* decoder = open_decoder(data, size, &result);
    if (!decoder)
        return result;
    const int32_t height = (int32_t)decoder->image->height;
    if (spi_progress(progress, 0, height, progressData)) {
        avifDecoderDestroy(decoder);
        return SUSIE_ABORTED;
    }
    if (avifDecoderNextImage(decoder) != AVIF_RESULT_OK) {
        avifDecoderDestroy(decoder);
        return SUSIE_BROKEN_DATA;
    }
    avifImage* image = decoder->image;
    const int alpha = image->alphaPlane != NULL;
    result = spi_dib_create(dib, (int32_t)image->width, -(int32_t)image->height, alpha ? 32 : 24, 0);
    if (result == SUSIE_OK) {
        /* Converted straight into the bitmap's rows. */
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image);
        rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
        rgb.depth = 8;
        rgb.pixels = dib->pixels;
        rgb.rowBytes = (uint32_t)dib->stride;
        if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK) {
            spi_dib_free(dib);
            result = SUSIE_BROKEN_DATA;
        } else if (spi_progress(progress, height, height, progressData)) {
            spi_dib_free(dib);
            result = SUSIE_ABORTED;
        }
    }
    avifDecoderDestroy(decoder);
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
