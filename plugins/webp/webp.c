/*
 * Susie import plug-in for WebP pictures (libwebp): lossy and lossless,
 * with or without alpha; of an animated file the first frame as shown on
 * its canvas.
 *
 * Pictures with alpha become 32-bit bitmaps (blue, green, red, alpha),
 * others 24-bit ones; both top-down. Pixels are returned as stored: an
 * orientation recorded in the file's Exif data is left to the host.
 */
#include "spi_common.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto WebP plug-in 1.0",
    "*.webp",
    "WebP",
};

/* Data is handed to the decoder in pieces of this size, with a progress
 * report after each. */
#define FEED_SIZE ((size_t)256 * 1024)

static int looks_like_webp(const unsigned char* head, size_t size)
{
    return size >= 16 && memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "WEBP", 4) == 0;
}

static int read_features(const unsigned char* data, size_t size, WebPBitstreamFeatures* features)
{
    if (!looks_like_webp(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    const VP8StatusCode status = WebPGetFeatures(data, size, features);
    if (status == VP8_STATUS_OUT_OF_MEMORY)
        return SUSIE_NO_MEMORY;
    if (status != VP8_STATUS_OK)
        return SUSIE_BROKEN_DATA;
    if (features->width <= 0 || features->height <= 0 || features->width > SPI_MAX_DIMENSION
        || features->height > SPI_MAX_DIMENSION)
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
    return head && looks_like_webp((const unsigned char*)head, SUSIE_HEAD_SIZE);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    WebPBitstreamFeatures features;
    const int result = read_features(data, size, &features);
    if (result != SUSIE_OK)
        return result;
    info->width = features.width;
    info->height = features.height;
    info->colorDepth = (int16_t)(features.has_alpha ? 32 : 24);
    return SUSIE_OK;
}

/* The first frame of an animation, composed on its canvas. */
static int decode_animation(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                            intptr_t progressData)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return SUSIE_INTERNAL_ERROR;
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    WebPData webpData = {data, size};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&webpData, &options);
    if (!decoder)
        return SUSIE_BROKEN_DATA;
    int result = SUSIE_BROKEN_DATA;
    WebPAnimInfo anim;
    uint8_t* canvas = NULL;
    int timestamp = 0;
    if (WebPAnimDecoderGetInfo(decoder, &anim) && anim.canvas_width > 0 && anim.canvas_height > 0
        && anim.canvas_width <= SPI_MAX_DIMENSION && anim.canvas_height <= SPI_MAX_DIMENSION
        && WebPAnimDecoderGetNext(decoder, &canvas, &timestamp)) {
        result = spi_dib_create(dib, (int32_t)anim.canvas_width, -(int32_t)anim.canvas_height, 32, 0);
        if (result == SUSIE_OK) {
            for (uint32_t y = 0; y < anim.canvas_height; ++y)
                spi_store_rgba_row(dib, spi_dib_row(dib, (int32_t)y), canvas + (size_t)y * anim.canvas_width * 4);
            if (spi_progress(progress, 1, 1, progressData)) {
                spi_dib_free(dib);
                result = SUSIE_ABORTED;
            }
        }
    }
    WebPAnimDecoderDelete(decoder);
    return result;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    memset(dib, 0, sizeof *dib);
    WebPBitstreamFeatures features;
    int result = read_features(data, size, &features);
    if (result != SUSIE_OK)
        return result;
    if (spi_progress(progress, 0, (int32_t)features.height, progressData))
        return SUSIE_ABORTED;
    if (features.has_animation)
        return decode_animation(data, size, dib, progress, progressData);

    const int alpha = features.has_alpha != 0;
    result = spi_dib_create(dib, features.width, -features.height, alpha ? 32 : 24, 0);
    if (result != SUSIE_OK)
        return result;

    /* Decodes straight into the bitmap's rows. */
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        spi_dib_free(dib);
        return SUSIE_INTERNAL_ERROR;
    }
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = dib->pixels;
    config.output.u.RGBA.stride = (int)dib->stride;
    config.output.u.RGBA.size = dib->stride * (size_t)features.height;
    WebPIDecoder* decoder = WebPIDecode(NULL, 0, &config);
    if (!decoder) {
        spi_dib_free(dib);
        return SUSIE_NO_MEMORY;
    }
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (size_t fed = 0; fed < size && status == VP8_STATUS_SUSPENDED;) {
        const size_t piece = size - fed < FEED_SIZE ? size - fed : FEED_SIZE;
        status = WebPIAppend(decoder, data + fed, piece);
        fed += piece;
        int lastY = 0;
        WebPIDecGetRGB(decoder, &lastY, NULL, NULL, NULL);
        if (spi_progress(progress, lastY, features.height, progressData)) {
            WebPIDelete(decoder);
            spi_dib_free(dib);
            return SUSIE_ABORTED;
        }
    }
    WebPIDelete(decoder);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        spi_dib_free(dib);
        return status == VP8_STATUS_OUT_OF_MEMORY ? SUSIE_NO_MEMORY : SUSIE_BROKEN_DATA;
    }
    return SUSIE_OK;
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
