/*
 * Susie import plug-in for JPEG XL pictures (libjxl), bare code streams and
 * the ISO media container: 8-bit or deeper (reduced to 8 bits), with or
 * without alpha; of an animation the first frame.
 *
 * Pictures with alpha become 32-bit bitmaps (blue, green, red, alpha),
 * others 24-bit ones; both top-down. Pixels are returned as stored: the
 * orientation of the code stream is left to the host.
 */
#include "spi_common.h"

#include <jxl/decode.h>

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto JPEG XL plug-in 1.0",
    "*.jxl",
    "JPEG XL",
};

static int looks_like_jxl(const unsigned char* head, size_t size)
{
    const JxlSignature signature = JxlSignatureCheck(head, size < 12 ? size : 12);
    return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

static int failure_of(JxlDecoderStatus status)
{
    (void)status;
    return SUSIE_BROKEN_DATA;
}

/* Runs the decoder up to the basic information; the decoder then waits for
 * the next event. */
static int read_basic_info(JxlDecoder* decoder, const unsigned char* data, size_t size, int events, JxlBasicInfo* basic)
{
    if (JxlDecoderSubscribeEvents(decoder, events) != JXL_DEC_SUCCESS
        || JxlDecoderSetKeepOrientation(decoder, JXL_TRUE) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(decoder, data, size) != JXL_DEC_SUCCESS)
        return SUSIE_INTERNAL_ERROR;
    JxlDecoderCloseInput(decoder);
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
    if (status != JXL_DEC_BASIC_INFO)
        return failure_of(status);
    if (JxlDecoderGetBasicInfo(decoder, basic) != JXL_DEC_SUCCESS)
        return SUSIE_BROKEN_DATA;
    if (basic->xsize == 0 || basic->ysize == 0 || basic->xsize > SPI_MAX_DIMENSION || basic->ysize > SPI_MAX_DIMENSION)
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
    return head && looks_like_jxl((const unsigned char*)head, SUSIE_HEAD_SIZE);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    if (!looks_like_jxl(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    JxlDecoder* decoder = JxlDecoderCreate(NULL);
    if (!decoder)
        return SUSIE_NO_MEMORY;
    JxlBasicInfo basic;
    const int result = read_basic_info(decoder, data, size, JXL_DEC_BASIC_INFO, &basic);
    if (result == SUSIE_OK) {
        info->width = (int32_t)basic.xsize;
        info->height = (int32_t)basic.ysize;
        info->colorDepth = (int16_t)(basic.alpha_bits ? 32 : 24);
    }
    JxlDecoderDestroy(decoder);
    return result;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    memset(dib, 0, sizeof *dib);
    if (!looks_like_jxl(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    JxlDecoder* decoder = JxlDecoderCreate(NULL);
    if (!decoder)
        return SUSIE_NO_MEMORY;
    JxlBasicInfo basic;
    int result = read_basic_info(decoder, data, size, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE, &basic);
    if (result == SUSIE_OK && spi_progress(progress, 0, (int32_t)basic.ysize, progressData))
        result = SUSIE_ABORTED;
    const int alpha = basic.alpha_bits != 0;
    if (result == SUSIE_OK)
        result = spi_dib_create(dib, (int32_t)basic.xsize, -(int32_t)basic.ysize, alpha ? 32 : 24, 0);
    if (result != SUSIE_OK) {
        JxlDecoderDestroy(decoder);
        return result;
    }
    /* Red, green, blue (and alpha) straight into the bitmap's rows, whose
     * length is a multiple of four bytes; swapped to blue first below. */
    const JxlPixelFormat format = {alpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    const size_t bitmapBytes = dib->stride * basic.ysize;
    result = SUSIE_BROKEN_DATA;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
        if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder, &format, &needed) != JXL_DEC_SUCCESS || needed > bitmapBytes
                || JxlDecoderSetImageOutBuffer(decoder, &format, dib->pixels, bitmapBytes) != JXL_DEC_SUCCESS)
                break;
        } else if (status == JXL_DEC_FULL_IMAGE) {
            result = SUSIE_OK; /* the first frame is enough */
            break;
        } else {
            break; /* an error, or the input ended before a whole frame */
        }
    }
    JxlDecoderDestroy(decoder);
    if (result != SUSIE_OK) {
        spi_dib_free(dib);
        return result;
    }
    const int channels = alpha ? 4 : 3;
    for (uint32_t y = 0; y < basic.ysize; ++y) {
        unsigned char* row = spi_dib_row(dib, (int32_t)y);
        for (uint32_t x = 0; x < basic.xsize; ++x, row += channels) {
            const unsigned char red = row[0];
            row[0] = row[2];
            row[2] = red;
        }
    }
    if (spi_progress(progress, (int32_t)basic.ysize, (int32_t)basic.ysize, progressData)) {
        spi_dib_free(dib);
        return SUSIE_ABORTED;
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
