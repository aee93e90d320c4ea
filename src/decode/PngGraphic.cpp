#include "PngGraphic.h"

#include <png.h>

#include <csetjmp>
#include <vector>

namespace decode {

namespace {

struct Session {
    ByteView data;
    std::size_t position = 0;
    QImage image;
    std::vector<png_bytep> rows;
    char message[256] = {0};
};

void OnError(png_structp png, png_const_charp message)
{
    auto* s = static_cast<Session*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, png_size_t count)
{
    auto* s = static_cast<Session*>(png_get_io_ptr(png));
    if (!s->data.Has(s->position, count))
        png_error(png, "unexpected end of data");
    std::memcpy(out, s->data.data() + s->position, count);
    s->position += count;
}

// Ancillary chunks may not claim more memory than this (text, ICC profiles).
constexpr png_alloc_size_t kMaxChunkMemory = 16 * 1024 * 1024;

// Nothing with a destructor is created between setjmp and the jumps.
bool Run(Session& s, QString& failure)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (!png) {
        failure = QStringLiteral("PNG デコーダーを作れません");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        failure = QStringLiteral("PNG デコーダーを作れません");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        failure = QStringLiteral("PNG データを読めません: %1").arg(QString::fromLatin1(s.message));
        return false;
    }
    png_set_read_fn(png, &s, OnRead);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_malloc_max(png, kMaxChunkMemory);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Let mutated data reach the decoder instead of stopping at checksums.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    const std::uint64_t pixels = std::uint64_t(width) * height;
    if (width == 0 || height == 0 || pixels > MaxPixels()) {
        png_destroy_read_struct(&png, &info, nullptr);
        failure = QStringLiteral("画像が大きすぎます (%1 x %2)").arg(width).arg(height);
        return false;
    }

    const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * 4)
        png_error(png, "unexpected row layout");

    s.image = QImage(int(width), int(height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (s.image.isNull()) {
        png_destroy_read_struct(&png, &info, nullptr);
        failure = QStringLiteral("画像のメモリを確保できません (%1 x %2)").arg(width).arg(height);
        return false;
    }
    s.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        s.rows[y] = s.image.scanLine(int(y));
    png_read_image(png, s.rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

QImage DecodePngData(ByteView data)
{
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        Fail(QStringLiteral("PNG データではありません"));
    auto session = std::make_unique<Session>();
    session->data = data;
    QString failure;
    if (!Run(*session, failure))
        Fail(failure);
    return std::move(session->image);
}

} // namespace decode

const TGraphicClassInfo TPngGraphic::ClassInfo = {"TPNGObject",
                                                  [] { return std::unique_ptr<TGraphic>(new TPngGraphic); }};

void TPngGraphic::LoadFromStream(const QByteArray& data)
{
    SetImage(decode::DecodePngData(decode::ByteView(data)));
}
