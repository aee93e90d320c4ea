/*
 * Helpers shared by Orvanto's own Susie plug-ins: reading the input the host
 * names (a file from an offset, or a block of memory), answering
 * GetPluginInfo, and building the two blocks of a device-independent bitmap.
 */
#ifndef ORVANTO_SPI_COMMON_H
#define ORVANTO_SPI_COMMON_H

#include "SusieAbi.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Largest input a plug-in reads, and largest bitmap it makes. */
#define SPI_MAX_INPUT ((size_t)1 << 30)
#ifndef SPI_MAX_PIXEL_BYTES /* fuzz builds set a lower limit to keep every input fast */
#define SPI_MAX_PIXEL_BYTES ((uint64_t)1 << 29)
#endif
#define SPI_MAX_DIMENSION 65535

typedef struct SpiInput {
    const unsigned char* data;
    size_t size;
    unsigned char* owned; /* the copy read from a file, or NULL */
} SpiInput;

/* Reads what (buf, len, flag) names: with SUSIE_INPUT_FILE the file buf from
 * byte offset len to its end, with SUSIE_INPUT_MEMORY the len bytes at buf.
 * Returns SUSIE_OK or an error code. */
int spi_input_open(const char* buf, intptr_t len, uint32_t flag, SpiInput* input);
void spi_input_close(SpiInput* input);

/* GetPluginInfo from a table of texts (API version, name, then pattern and
 * format name pairs). Returns the length of the copied text, 0 when the
 * number is out of range or the buffer unusable. */
int32_t spi_plugin_info(const char* const* table, int count, int32_t number, char* buffer, int32_t length);

/* True when the name's extension (after its last '.') equals one of the
 * given lower-case extensions, compared without regard to ASCII case. */
int spi_name_has_extension(const char* name, const char* const* extensions, int count);

/* A bitmap under construction. */
typedef struct SpiDib {
    SusieLocalHandle info;
    SusieLocalHandle bits;
    int32_t width;
    int32_t height; /* as stored: negative for top-down */
    int bitsPerPixel;
    int colors;
    size_t stride;
    unsigned char* palette; /* 4 bytes per entry: blue, green, red, 0 */
    unsigned char* pixels;
} SpiDib;

/* Allocates both blocks (zeroed). A negative height makes a top-down bitmap.
 * Returns SUSIE_OK, SUSIE_NO_MEMORY or SUSIE_BROKEN_DATA (size limits). */
int spi_dib_create(SpiDib* dib, int32_t width, int32_t height, int bitsPerPixel, int colors);
void spi_dib_set_color(SpiDib* dib, int index, unsigned red, unsigned green, unsigned blue);
/* Row y in memory order (the first stored row is 0). */
unsigned char* spi_dib_row(SpiDib* dib, int32_t y);
/* Row y counted from the top of the picture. */
unsigned char* spi_dib_row_from_top(SpiDib* dib, int32_t y);
void spi_dib_free(SpiDib* dib);
/* Hands both blocks to the caller. */
void spi_dib_release(SpiDib* dib, SusieLocalHandle* info, SusieLocalHandle* bits);

/* Stores one row of 8-bit red, green, blue, alpha samples into a 24-bit
 * (alpha dropped) or 32-bit (blue, green, red, alpha) bitmap row. */
void spi_store_rgba_row(const SpiDib* dib, unsigned char* row, const unsigned char* rgba);
/* Same for samples whose colour is multiplied by alpha already. */
void spi_store_premultiplied_row(const SpiDib* dib, unsigned char* row, const unsigned char* rgba);

/* A copy of text as a local memory block, or NULL for empty text. */
SusieLocalHandle spi_text_handle(const char* text, size_t length);

/* Calls the host's progress callback; non-zero means stop. */
int spi_progress(SusieProgressCallback progress, int32_t current, int32_t total, intptr_t data);

/* Reads the picture information of a whole input into a zeroed record;
 * returns SUSIE_OK or an error code. */
typedef int (*SpiInfoReader)(const unsigned char* data, size_t size, SusiePictureInfo* info);
/* Decodes a whole input into a new bitmap; returns SUSIE_OK or an error code
 * (the bitmap is then already freed). */
typedef int (*SpiPictureDecoder)(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                                 intptr_t progressData);

/* GetPictureInfo of a plug-in: reads the input the host names and fills
 * info only when the reader succeeds. */
int32_t spi_get_picture_info(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info, SpiInfoReader read);
/* GetPicture of a plug-in: reads the input, decodes it and hands the two
 * blocks to the host on success. */
int32_t spi_get_picture(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                        SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t progressData,
                        SpiPictureDecoder decode);

#ifdef __cplusplus
}
#endif

#endif
