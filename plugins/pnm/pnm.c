/*
 * Susie import plug-in for the portable anymap formats: PBM (P1, P4),
 * PGM (P2, P5) and PPM (P3, P6), and the portable arbitrary map PAM (P7)
 * of grey or RGB tuples with or without alpha; maximum values up to 65535.
 *
 * PBM becomes a 1-bit bitmap (white, black), PGM and grey PAM an 8-bit grey
 * bitmap, PPM and RGB PAM a 24-bit bitmap, PAM with alpha a 32-bit bitmap
 * (blue, green, red, alpha). The first comment line of the header is handed to the
 * host as the text information of the picture.
 */
#include "spi_common.h"

#include <string.h>

static const char* const kInfo[] = {
    SUSIE_API_IMPORT,
    "Orvanto PNM plug-in 1.0",
    "*.pnm;*.pbm;*.pgm;*.ppm;*.pam",
    "Portable anymap",
};

typedef struct PnmHeader {
    int kind; /* 1..7 */
    uint32_t channels; /* samples per pixel */
    uint32_t width;
    uint32_t height;
    uint32_t maxValue;
    size_t dataStart; /* first byte after the header */
    const unsigned char* comment;
    size_t commentLength;
} PnmHeader;

static int is_space(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/* Skips white space and comments. */
static void skip_filler(const unsigned char* data, size_t size, size_t* pos, PnmHeader* header)
{
    while (*pos < size) {
        if (is_space(data[*pos])) {
            ++*pos;
        } else if (data[*pos] == '#') {
            const size_t start = *pos + 1;
            while (*pos < size && data[*pos] != '\n' && data[*pos] != '\r')
                ++*pos;
            if (header && !header->comment) {
                size_t from = start;
                while (from < *pos && data[from] == ' ')
                    ++from;
                header->comment = data + from;
                header->commentLength = *pos - from;
            }
        } else {
            break;
        }
    }
}

static int read_number(const unsigned char* data, size_t size, size_t* pos, uint32_t* value, PnmHeader* header)
{
    skip_filler(data, size, pos, header);
    if (*pos >= size || data[*pos] < '0' || data[*pos] > '9')
        return 0;
    uint64_t v = 0;
    while (*pos < size && data[*pos] >= '0' && data[*pos] <= '9') {
        v = v * 10 + (uint64_t)(data[*pos] - '0');
        if (v > 0xFFFFFFFFu)
            return 0;
        ++*pos;
    }
    *value = (uint32_t)v;
    return 1;
}

static int looks_like_pnm(const unsigned char* head, size_t size)
{
    return size >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7' && is_space(head[2]);
}

static int token_is(const unsigned char* token, size_t length, const char* name)
{
    return length == strlen(name) && memcmp(token, name, length) == 0;
}

/* The PAM header: "KEY value" lines up to ENDHDR. */
static int parse_pam_header(const unsigned char* data, size_t size, PnmHeader* header)
{
    size_t pos = 2;
    for (int line = 0; line < 256; ++line) {
        skip_filler(data, size, &pos, header);
        const size_t start = pos;
        while (pos < size && !is_space(data[pos]))
            ++pos;
        const unsigned char* token = data + start;
        const size_t length = pos - start;
        int ok = 1;
        if (token_is(token, length, "ENDHDR")) {
            if (pos >= size || data[pos] != '\n')
                return SUSIE_BROKEN_DATA;
            header->dataStart = pos + 1;
            if (header->channels < 1 || header->channels > 4 || header->maxValue == 0 || header->maxValue > 65535
                || header->width == 0 || header->height == 0 || header->width > SPI_MAX_DIMENSION
                || header->height > SPI_MAX_DIMENSION)
                return SUSIE_BROKEN_DATA;
            return SUSIE_OK;
        } else if (token_is(token, length, "WIDTH")) {
            ok = read_number(data, size, &pos, &header->width, NULL);
        } else if (token_is(token, length, "HEIGHT")) {
            ok = read_number(data, size, &pos, &header->height, NULL);
        } else if (token_is(token, length, "DEPTH")) {
            ok = read_number(data, size, &pos, &header->channels, NULL);
        } else if (token_is(token, length, "MAXVAL")) {
            ok = read_number(data, size, &pos, &header->maxValue, NULL);
        } else if (token_is(token, length, "TUPLTYPE")) {
            while (pos < size && data[pos] != '\n') /* the depth says enough */
                ++pos;
        } else {
            return SUSIE_BROKEN_DATA;
        }
        if (!ok)
            return SUSIE_BROKEN_DATA;
    }
    return SUSIE_BROKEN_DATA;
}

static int parse_header(const unsigned char* data, size_t size, PnmHeader* header)
{
    memset(header, 0, sizeof *header);
    if (!looks_like_pnm(data, size))
        return SUSIE_UNKNOWN_FORMAT;
    header->kind = data[1] - '0';
    if (header->kind == 7)
        return parse_pam_header(data, size, header);
    header->channels = header->kind == 3 || header->kind == 6 ? 3 : 1;
    size_t pos = 2;
    if (!read_number(data, size, &pos, &header->width, header)
        || !read_number(data, size, &pos, &header->height, header))
        return SUSIE_BROKEN_DATA;
    header->maxValue = 1;
    if (header->kind != 1 && header->kind != 4) {
        if (!read_number(data, size, &pos, &header->maxValue, header))
            return SUSIE_BROKEN_DATA;
        if (header->maxValue == 0 || header->maxValue > 65535)
            return SUSIE_BROKEN_DATA;
    }
    if (header->width == 0 || header->height == 0 || header->width > SPI_MAX_DIMENSION
        || header->height > SPI_MAX_DIMENSION)
        return SUSIE_BROKEN_DATA;
    /* Binary data starts after exactly one white-space character. */
    if (header->kind >= 4) {
        if (pos >= size || !is_space(data[pos]))
            return SUSIE_BROKEN_DATA;
        ++pos;
    }
    header->dataStart = pos;
    return SUSIE_OK;
}

static int depth_of(const PnmHeader* h)
{
    if (h->kind == 1 || h->kind == 4)
        return 1;
    switch (h->channels) {
    case 1:
        return 8;
    case 3:
        return 24;
    default:
        return 32; /* grey or RGB with alpha */
    }
}

/* Reads the next sample (binary or text); 0 at the end of the data. */
typedef struct Reader {
    const unsigned char* data;
    size_t size;
    size_t pos;
    int text;
    int wide;
} Reader;

static int next_sample(Reader* r, uint32_t* value)
{
    if (r->text)
        return read_number(r->data, r->size, &r->pos, value, NULL);
    if (r->wide) {
        if (r->size - r->pos < 2)
            return 0;
        *value = ((uint32_t)r->data[r->pos] << 8) | r->data[r->pos + 1];
        r->pos += 2;
        return 1;
    }
    if (r->pos >= r->size)
        return 0;
    *value = r->data[r->pos++];
    return 1;
}

static unsigned char scale(uint32_t value, uint32_t maxValue)
{
    if (value >= maxValue)
        return 255;
    return (unsigned char)((value * 255u + maxValue / 2) / maxValue);
}

static int decode(const PnmHeader* h, const unsigned char* data, size_t size, SpiDib* dib,
                  SusieProgressCallback progress, intptr_t progressData)
{
    const int32_t width = (int32_t)h->width;
    const int32_t height = (int32_t)h->height;
    const int depth = depth_of(h);
    const uint64_t samples = (uint64_t)h->width * h->height * h->channels;

    /* Binary data must be all there before anything is allocated. */
    if (h->kind == 4) {
        if ((uint64_t)(size - h->dataStart) < (uint64_t)((h->width + 7) / 8) * h->height)
            return SUSIE_BROKEN_DATA;
    } else if (h->kind >= 5) {
        const uint64_t bytes = samples * (h->maxValue > 255 ? 2u : 1u);
        if ((uint64_t)(size - h->dataStart) < bytes)
            return SUSIE_BROKEN_DATA;
    } else {
        /* Text samples need at least one digit and a separator each, P1
         * digits may run together. */
        if ((uint64_t)(size - h->dataStart) + 1 < (h->kind == 1 ? samples : samples * 2))
            return SUSIE_BROKEN_DATA;
    }

    int result = spi_dib_create(dib, width, height, depth, depth == 1 ? 2 : depth == 8 ? 256 : 0);
    if (result != SUSIE_OK)
        return result;
    if (depth == 1) {
        spi_dib_set_color(dib, 0, 255, 255, 255);
        spi_dib_set_color(dib, 1, 0, 0, 0);
    } else if (depth == 8) {
        for (int i = 0; i < 256; ++i)
            spi_dib_set_color(dib, i, (unsigned)i, (unsigned)i, (unsigned)i);
    }

    Reader r = {data, size, h->dataStart, h->kind <= 3, h->maxValue > 255};
    const int channels = (int)h->channels;
    for (int32_t y = 0; y < height; ++y) {
        unsigned char* row = spi_dib_row_from_top(dib, y);
        if (h->kind == 4) {
            const size_t rowBytes = (h->width + 7) / 8;
            memcpy(row, data + r.pos, rowBytes);
            r.pos += rowBytes;
        } else if (h->kind == 1) {
            for (int32_t x = 0; x < width; ++x) {
                skip_filler(data, size, &r.pos, NULL);
                if (r.pos >= size || (data[r.pos] != '0' && data[r.pos] != '1')) {
                    spi_dib_free(dib);
                    return SUSIE_BROKEN_DATA;
                }
                if (data[r.pos++] == '1')
                    row[x / 8] |= (unsigned char)(0x80 >> (x % 8));
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                uint32_t v[4] = {0, 0, 0, 0};
                for (int c = 0; c < channels; ++c) {
                    if (!next_sample(&r, &v[c])) {
                        spi_dib_free(dib);
                        return SUSIE_BROKEN_DATA;
                    }
                }
                if (depth == 8) {
                    row[x] = scale(v[0], h->maxValue);
                } else if (depth == 24) {
                    row[3 * x + 0] = scale(v[2], h->maxValue);
                    row[3 * x + 1] = scale(v[1], h->maxValue);
                    row[3 * x + 2] = scale(v[0], h->maxValue);
                } else {
                    const int grey = channels == 2;
                    row[4 * x + 0] = scale(v[grey ? 0 : 2], h->maxValue);
                    row[4 * x + 1] = scale(v[grey ? 0 : 1], h->maxValue);
                    row[4 * x + 2] = scale(v[0], h->maxValue);
                    row[4 * x + 3] = scale(v[grey ? 1 : 3], h->maxValue);
                }
            }
        }
        if ((y & 15) == 15 && spi_progress(progress, y + 1, height, progressData)) {
            spi_dib_free(dib);
            return SUSIE_ABORTED;
        }
    }
    if (spi_progress(progress, height, height, progressData)) {
        spi_dib_free(dib);
        return SUSIE_ABORTED;
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
    return head && looks_like_pnm((const unsigned char*)head, SUSIE_HEAD_SIZE);
}

static int read_info(const unsigned char* data, size_t size, SusiePictureInfo* info)
{
    PnmHeader header;
    const int result = parse_header(data, size, &header);
    if (result != SUSIE_OK)
        return result;
    info->width = (int32_t)header.width;
    info->height = (int32_t)header.height;
    info->colorDepth = (int16_t)depth_of(&header);
    info->hInfo = spi_text_handle((const char*)header.comment, header.commentLength);
    return SUSIE_OK;
}

static int decode_picture(const unsigned char* data, size_t size, SpiDib* dib, SusieProgressCallback progress,
                          intptr_t progressData)
{
    PnmHeader header;
    const int result = parse_header(data, size, &header);
    if (result != SUSIE_OK)
        return result;
    return decode(&header, data, size, dib, progress, progressData);
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
