/*
 * Susie import plug-in for HEIF/HEIC pictures (libheif): the primary image,
 * 8-bit or deeper (reduced to 8 bits), with or without alpha.
 *
 * Pictures with alpha become 32-bit bitmaps (blue, green, red, alpha),
 * others 24-bit ones; both top-down. The library applies the file's crop,
 * rotation and mirroring, as HEIF readers must (the crop cannot be had
 * without them); the host knows this and reverses the rotation when the
 * user asks for pictures as stored.
 */
#include "spi_common.h"

#include <libheif/heif.h>

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto HEIF plug-in 1.0",
    "*.heic;*.heif;*.hif",
    "High Efficiency Image File",
};

static const char* const kBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs", "mif1", "msf1"};

/* True for an ISO media file whose file-type box names a HEIF brand and no
 * AVIF brand (those go to the AVIF reader). */
static int looks_like_heif(const unsigned char* head, size_t size)
{
    if (size < 16 || memcmp(head + 4, "ftyp", 4) != 0)
        return 0;
    size_t boxSize = ((size_t)head[0] << 24) | ((size_t)head[1] << 16) | ((size_t)head[2] << 8) | head[3];
    if (boxSize < 16 || boxSize > size)
        boxSize = size < 64 ? size : 64;
    int heif = 0;
    for (size_t at = 8; at + 4 <= boxSize; at += 4) {
        if (at == 12)
            continue; /* minor version */
        if (memcmp(head + at, "avif", 4) == 0 || memcmp(head + at, "avis", 4) == 0)
            return 0;
        for (size_t b = 0; b < sizeof kBrands / sizeof kBrands[0]; ++b)
            if (memcmp(head + at, kBrands[b], 4) == 0)
                heif = 1;
    }
    return heif;
}

/* ISO media boxes, just enough to see how derived images are built. */
static uint32_t be32(const unsigned char* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

/* Finds the first box of the type between from and end; its content range
 * goes to *content and *contentEnd. */
static int find_box(const unsigned char* data, size_t from, size_t end, const char* type, size_t* content,
                    size_t* contentEnd)
{
    for (int step = 0; step < 4096 && from + 8 <= end; ++step) {
        uint64_t size = be32(data + from);
        size_t head = 8;
        if (size == 1) {
            if (from + 16 > end)
                return 0;
            size = ((uint64_t)be32(data + from + 8) << 32) | be32(data + from + 12);
            head = 16;
        } else if (size == 0) {
            size = end - from;
        }
        if (size < head || size > end - from)
            return 0;
        if (memcmp(data + from + 4, type, 4) == 0) {
            *content = from + head;
            *contentEnd = from + (size_t)size;
            return 1;
        }
        from += (size_t)size;
    }
    return 0;
}

#define MAX_ITEMS 1024

static int is_derived(const char* type)
{
    return memcmp(type, "grid", 4) == 0 || memcmp(type, "iovl", 4) == 0 || memcmp(type, "iden", 4) == 0;
}

static uint64_t read_be(const unsigned char* p, unsigned bytes)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

/* The first bytes of an item's data, from the item location box; 0 when
 * they cannot be found. */
static size_t item_data(const unsigned char* data, size_t size, size_t meta, size_t metaEnd, uint32_t item,
                        unsigned char* out, size_t want)
{
    size_t iloc, ilocEnd, idat = 0, idatEnd = 0;
    if (!find_box(data, meta, metaEnd, "iloc", &iloc, &ilocEnd) || ilocEnd - iloc < 8)
        return 0;
    const int hasIdat = find_box(data, meta, metaEnd, "idat", &idat, &idatEnd);
    const int version = data[iloc];
    const unsigned offsetSize = data[iloc + 4] >> 4, lengthSize = data[iloc + 4] & 15;
    const unsigned baseSize = data[iloc + 5] >> 4, indexSize = version >= 1 ? data[iloc + 5] & 15 : 0;
    size_t at = iloc + 6;
    const unsigned idBytes = version < 2 ? 2 : 4;
    if (at + idBytes > ilocEnd)
        return 0;
    const uint64_t count = read_be(data + at, idBytes);
    at += idBytes;
    for (uint64_t i = 0; i < count && i < MAX_ITEMS; ++i) {
        if (at + idBytes + 2 + 2 + baseSize + 2 > ilocEnd)
            return 0;
        const uint32_t id = (uint32_t)read_be(data + at, idBytes);
        at += idBytes;
        int method = 0;
        if (version >= 1) {
            method = data[at + 1] & 15;
            at += 2;
        }
        at += 2; /* data reference index */
        const uint64_t base = read_be(data + at, baseSize);
        at += baseSize;
        if (at + 2 > ilocEnd)
            return 0;
        const unsigned extents = (unsigned)read_be(data + at, 2);
        at += 2;
        for (unsigned e = 0; e < extents; ++e) {
            if (at + indexSize + offsetSize + lengthSize > ilocEnd)
                return 0;
            at += indexSize;
            const uint64_t offset = read_be(data + at, offsetSize);
            at += offsetSize + lengthSize;
            if (id != item || e != 0)
                continue;
            size_t start = 0, limit = size;
            if (method == 1 && hasIdat) {
                start = idat;
                limit = idatEnd;
            } else if (method != 0) {
                return 0;
            }
            if (base + offset > limit - start || want > limit - start - (base + offset))
                return 0;
            memcpy(out, data + start + base + offset, want);
            return want;
        }
    }
    return 0;
}

/* True when a derived image (grid, overlay, identity) is built from another
 * derived image, or a grid's tile count differs from its references. The
 * library follows such chains without end (a grid of itself) and decodes a
 * few references for thousands of tiles, so such files are refused. */
static int has_nested_derivation(const unsigned char* data, size_t size)
{
    size_t meta, metaEnd, iinf, iinfEnd, iref, irefEnd;
    if (!find_box(data, 0, size, "meta", &meta, &metaEnd) || metaEnd - meta < 4)
        return 0;
    meta += 4;
    if (!find_box(data, meta, metaEnd, "iinf", &iinf, &iinfEnd)
        || !find_box(data, meta, metaEnd, "iref", &iref, &irefEnd) || iinfEnd - iinf < 6 || irefEnd - iref < 4)
        return 0;
    uint32_t ids[MAX_ITEMS];
    char types[MAX_ITEMS][4];
    int count = 0;
    size_t at = iinf + (data[iinf] == 0 ? 6 : 8);
    size_t content, contentEnd;
    while (count < MAX_ITEMS && at < iinfEnd && find_box(data, at, iinfEnd, "infe", &content, &contentEnd)) {
        if (contentEnd == content)
            break;
        const int version = data[content];
        const size_t idBytes = version == 3 ? 4 : 2;
        if (version >= 2 && contentEnd - content >= 4 + idBytes + 2 + 4) {
            ids[count] =
                idBytes == 4 ? be32(data + content + 4) : ((uint32_t)data[content + 4] << 8) | data[content + 5];
            memcpy(types[count], data + content + 4 + idBytes + 2, 4);
            ++count;
        }
        at = contentEnd;
    }
    const int wide = data[iref] != 0;
    const size_t idBytes = wide ? 4 : 2;
    for (at = iref + 4; at + 8 <= irefEnd;) {
        const uint32_t boxSize = be32(data + at);
        if (boxSize < 8 + idBytes + 2 || boxSize > irefEnd - at)
            return 1; /* damaged references */
        if (memcmp(data + at + 4, "dimg", 4) == 0) {
            const size_t refs = at + 8 + idBytes;
            const unsigned referenceCount = ((unsigned)data[refs] << 8) | data[refs + 1];
            const uint32_t from = (uint32_t)read_be(data + at + 8, (unsigned)idBytes);
            /* A grid names exactly rows x columns tiles; the library would
             * decode a larger grid's tiles again and again. */
            for (int i = 0; i < count; ++i) {
                unsigned char grid[12];
                if (ids[i] != from || memcmp(types[i], "grid", 4) != 0)
                    continue;
                if (item_data(data, size, meta, metaEnd, from, grid, 8) != 8
                    || (unsigned)(grid[2] + 1) * (unsigned)(grid[3] + 1) != referenceCount)
                    return 1;
                /* The grid's own canvas, which the library makes first. */
                const int wideSize = (grid[1] & 1) != 0;
                if (wideSize && item_data(data, size, meta, metaEnd, from, grid, 12) != 12)
                    return 1;
                const uint64_t width = wideSize ? read_be(grid + 4, 4) : read_be(grid + 4, 2);
                const uint64_t height = wideSize ? read_be(grid + 8, 4) : read_be(grid + 6, 2);
                if (width > SPI_MAX_DIMENSION || height > SPI_MAX_DIMENSION || width * height * 4 > SPI_MAX_PIXEL_BYTES)
                    return 1;
            }
            for (unsigned r = 0; r < referenceCount && refs + 2 + (r + 1) * idBytes <= at + boxSize; ++r) {
                const unsigned char* p = data + refs + 2 + r * idBytes;
                const uint32_t to = wide ? be32(p) : (((uint32_t)p[0] << 8) | p[1]);
                for (int i = 0; i < count; ++i)
                    if (ids[i] == to && is_derived(types[i]))
                        return 1;
            }
        }
        at += boxSize;
    }
    return 0;
}

typedef struct HeifFile {
    struct heif_context* context;
    struct heif_image_handle* handle;
} HeifFile;

static void close_file(HeifFile* file)
{
    if (file->handle)
        heif_image_handle_release(file->handle);
    if (file->context)
        heif_context_free(file->context);
    memset(file, 0, sizeof *file);
}

static int open_file(const unsigned char* data, size_t size, HeifFile* file)
{
    memset(file, 0, sizeof *file);
    if (!looks_like_heif(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    if (has_nested_derivation(data, size))
        return SUSIE_BROKEN_DATA;
    file->context = heif_context_alloc();
    if (!file->context)
        return SUSIE_NO_MEMORY;
    heif_context_set_maximum_image_size_limit(file->context, SPI_MAX_DIMENSION);
    struct heif_error error = heif_context_read_from_memory_without_copy(file->context, data, size, NULL);
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_handle(file->context, &file->handle);
    if (error.code != heif_error_Ok) {
        close_file(file);
        return error.code == heif_error_Memory_allocation_error ? SUSIE_NO_MEMORY : SUSIE_BROKEN_DATA;
    }
    const int width = heif_image_handle_get_width(file->handle);
    const int height = heif_image_handle_get_height(file->handle);
    /* Refused before the library decodes: the bitmap could not be made. */
    if (width <= 0 || height <= 0 || width > SPI_MAX_DIMENSION || height > SPI_MAX_DIMENSION
        || (uint64_t)width * (uint64_t)height * 4 > SPI_MAX_PIXEL_BYTES) {
        close_file(file);
        return SUSIE_BROKEN_DATA;
    }
    return SUSIE_OK;
}

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength)
{
    return spi_plugin_info(kInfo, (int)(sizeof kInfo / sizeof kInfo[0]), infoNumber, buffer, bufferLength);
}

SUSIE_EXPORT int32_t IsSupported(const char* name, const void* head)
{
    (void)name;
    return head && looks_like_heif((const unsigned char*)head, SUSIE_HEAD_SIZE);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    HeifFile file;
    const int result = open_file(data, size, &file);
    if (result != SUSIE_OK)
        return result;
    info->width = heif_image_handle_get_width(file.handle);
    info->height = heif_image_handle_get_height(file.handle);
    info->colorDepth = (int16_t)(heif_image_handle_has_alpha_channel(file.handle) ? 32 : 24);
    close_file(&file);
    return SUSIE_OK;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    memset(dib, 0, sizeof *dib);
    HeifFile file;
    int result = open_file(data, size, &file);
    if (result != SUSIE_OK)
        return result;
    const int32_t height = heif_image_handle_get_height(file.handle);
    if (spi_progress(progress, 0, height, progressData)) {
        close_file(&file);
        return SUSIE_ABORTED;
    }
    const int alpha = heif_image_handle_has_alpha_channel(file.handle) != 0;
    struct heif_decoding_options* options = heif_decoding_options_alloc();
    if (!options) {
        close_file(&file);
        return SUSIE_NO_MEMORY;
    }
    options->convert_hdr_to_8bit = 1;
    struct heif_image* image = NULL;
    struct heif_error error =
        heif_decode_image(file.handle, &image, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
    heif_decoding_options_free(options);
    if (error.code != heif_error_Ok || !image) {
        close_file(&file);
        return error.code == heif_error_Memory_allocation_error ? SUSIE_NO_MEMORY : SUSIE_BROKEN_DATA;
    }
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int rows = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || rows <= 0
        || heif_image_get_bits_per_pixel(image, heif_channel_interleaved) != (alpha ? 32 : 24))
        result = SUSIE_BROKEN_DATA;
    else
        result = spi_dib_create(dib, width, -rows, alpha ? 32 : 24, 0);
    if (result == SUSIE_OK) {
        for (int y = 0; y < rows; ++y) {
            const uint8_t* src = plane + (size_t)y * (size_t)stride;
            unsigned char* row = spi_dib_row(dib, y);
            if (alpha) {
                spi_store_rgba_row(dib, row, src);
            } else {
                for (int x = 0; x < width; ++x) {
                    row[3 * x] = src[3 * x + 2];
                    row[3 * x + 1] = src[3 * x + 1];
                    row[3 * x + 2] = src[3 * x];
                }
            }
        }
        if (spi_progress(progress, height, height, progressData)) {
            spi_dib_free(dib);
            result = SUSIE_ABORTED;
        }
    }
    heif_image_release(image);
    close_file(&file);
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
