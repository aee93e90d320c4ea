#include "JpegGraphic.h"

#include "DisplayInfo.h"
#include "PictureMemory.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace decode {

namespace {

// libjpeg calls error_exit on fatal errors; it must not return, and C++
// exceptions must not cross the library's C frames, so it jumps back.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings do not stop decoding. Running out of data among them: a file
// that lacks only its end marker shows whole, one cut inside its picture
// data shows as far as it decodes, and the rest as libjpeg fills it (grey
// for a sequential file, the coarser scans for a progressive one). A file
// cut inside its headers still fails, as an error.
void OnMessage(j_common_ptr cinfo, int level)
{
    (void)cinfo;
    (void)level;
}

// Progressive files can hold thousands of tiny scans that take a very long
// time to decode; no real picture needs more than a few dozen.
constexpr int kMaxScans = 1000;

void OnProgress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->is_decompressor && d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "too many scans");
        std::longjmp(err->jump, 1);
    }
}

// libjpeg may use at most this much memory for its own buffers.
constexpr long kMaxLibraryMemory = 1024L * 1024 * 1024;

struct Session {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    QImage image;
    QString failure;
    bool palette8 = false;
    const std::function<void(int)>* report = nullptr;
    std::vector<JSAMPLE> cmykRow;
    QSize area; // fit area for a reduced decode; empty: full size
    QSize fullSize; // the picture's own size, from the header
    TDecodeFailure reason = TDecodeFailure::DamagedData;
    bool stopped = false; // the progress handler raised: the caller gave up
};

// Sets the smallest of libjpeg's scales M/8 whose output still covers the
// picture fitted into the area (full size when the picture fits as it is).
void ChooseReducedScale(jpeg_decompress_struct& cinfo, const QSize& area)
{
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    if (!area.isValid() || area.isEmpty())
        return;
    const QSize fitted = ReducedDecodeTarget(QSize(int(cinfo.image_width), int(cinfo.image_height)), area);
    for (unsigned num = 1; num < 8; ++num) {
        cinfo.scale_num = num;
        cinfo.scale_denom = 8;
        jpeg_calc_output_dimensions(&cinfo);
        if (int(cinfo.output_width) >= fitted.width() && int(cinfo.output_height) >= fitted.height())
            return;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
}

// Every object touched after a jump lives in the Session, so nothing with a
// destructor is skipped by longjmp.
bool Run(Session& s, const unsigned char* data, std::size_t size)
{
    jpeg_decompress_struct& cinfo = s.cinfo;
    cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = OnError;
    s.err.pub.emit_message = OnMessage;
    s.err.message[0] = 0;
    if (setjmp(s.err.jump)) {
        s.failure = QStringLiteral("JPEG データを読めません: %1").arg(QString::fromLocal8Bit(s.err.message));
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    s.progress.progress_monitor = OnProgress;
    cinfo.progress = &s.progress;
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    const std::uint64_t pixels = std::uint64_t(cinfo.image_width) * cinfo.image_height;
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || pixels > MaxPixels()) {
        s.failure = QStringLiteral("画像が大きすぎます (%1 x %2)").arg(cinfo.image_width).arg(cinfo.image_height);
        s.reason = TDecodeFailure::TooLarge;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    s.fullSize = QSize(int(cinfo.image_width), int(cinfo.image_height));

    cinfo.dct_method = JDCT_ISLOW;
    ChooseReducedScale(cinfo, s.area);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // Colour pictures come out in the screen's 32-bit layout, so nothing
    // has to convert them again before they are shrunk or drawn.
    const bool direct32 = !cmyk && !s.palette8;
    if (cmyk)
        cinfo.out_color_space = JCS_CMYK;
    else if (direct32)
        cinfo.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    else
        cinfo.out_color_space = JCS_RGB;
    if (s.palette8 && !cmyk) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 256;
    }
    jpeg_start_decompress(&cinfo);

    const int width = int(cinfo.output_width);
    const int height = int(cinfo.output_height);
    const bool indexed = cinfo.quantize_colors;
    s.image = NewPictureImage(
        width, height, indexed ? QImage::Format_Indexed8 : (direct32 ? QImage::Format_RGB32 : QImage::Format_RGB888));
    if (s.image.isNull()) {
        s.failure = QStringLiteral("画像のメモリを確保できません (%1 x %2)").arg(width).arg(height);
        s.reason = TDecodeFailure::TooLarge;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (indexed) {
        QList<QRgb> table;
        for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
            if (cinfo.out_color_components >= 3)
                table.append(qRgb(cinfo.colormap[0][i], cinfo.colormap[1][i], cinfo.colormap[2][i]));
            else
                table.append(qRgb(cinfo.colormap[0][i], cinfo.colormap[0][i], cinfo.colormap[0][i]));
        }
        while (table.size() < 256)
            table.append(qRgb(0, 0, 0));
        s.image.setColorTable(table);
    }
    if (cmyk)
        s.cmykRow.resize(std::size_t(width) * 4);
    // Adobe writes CMYK inverted.
    const bool inverted = cinfo.saw_Adobe_marker;

    int lastPercent = -1;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        if (cmyk) {
            JSAMPROW row = s.cmykRow.data();
            jpeg_read_scanlines(&cinfo, &row, 1);
            uchar* dst = s.image.scanLine(y);
            for (int x = 0; x < width; ++x) {
                int cc = row[4 * x], mm = row[4 * x + 1], yy = row[4 * x + 2], kk = row[4 * x + 3];
                if (!inverted) {
                    cc = 255 - cc;
                    mm = 255 - mm;
                    yy = 255 - yy;
                    kk = 255 - kk;
                }
                dst[3 * x] = uchar(cc * kk / 255);
                dst[3 * x + 1] = uchar(mm * kk / 255);
                dst[3 * x + 2] = uchar(yy * kk / 255);
            }
        } else {
            JSAMPROW row = s.image.scanLine(y);
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        if (s.report && *s.report) {
            const int percent = int(std::int64_t(cinfo.output_scanline) * 100 / height);
            if (percent / 10 != lastPercent / 10) {
                lastPercent = percent;
                // A raising handler must not skip the release below.
                try {
                    (*s.report)(percent);
                } catch (...) {
                    s.stopped = true;
                    s.failure = QStringLiteral("JPEG の展開を中止しました");
                    jpeg_destroy_decompress(&cinfo);
                    return false;
                }
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

QImage DecodeJpegData(ByteView data, bool palette8, const std::function<void(int)>& progress)
{
    return DecodeJpegReduced(data, palette8, QSize(), nullptr, progress);
}

QSize ReducedDecodeTarget(const QSize& picture, const QSize& area)
{
    if (picture.isEmpty() || area.isEmpty() || (picture.width() <= area.width() && picture.height() <= area.height()))
        return picture;
    const double scale = std::min(double(area.width()) / picture.width(), double(area.height()) / picture.height());
    return QSize(std::max(1, int(std::ceil(picture.width() * scale))),
                 std::max(1, int(std::ceil(picture.height() * scale))));
}

QImage DecodeJpegReduced(ByteView data, bool palette8, const QSize& area, QSize* fullSize,
                         const std::function<void(int)>& progress)
{
    if (data.size() < 4)
        Fail(QStringLiteral("JPEG データが短すぎます"));
    auto session = std::make_unique<Session>();
    session->palette8 = palette8;
    session->report = &progress;
    session->area = area;
    if (!Run(*session, data.data(), data.size())) {
        if (session->stopped)
            throw EGraphicError(session->failure, TDecodeFailure::Cancelled);
        throw EGraphicError(session->failure, session->reason);
    }
    if (fullSize)
        *fullSize = session->fullSize;
    return std::move(session->image);
}

} // namespace decode

const TGraphicClassInfo TJpegGraphic::ClassInfo = {"TJPEGImage",
                                                   [] { return std::unique_ptr<TGraphic>(new TJpegGraphic); }};

void TJpegGraphic::LoadFromFile(const QString& path)
{
    qint64 size = 0;
    const platform::LargeBlock bytes = ReadWholeFile(path, &size);
    Load(decode::ByteView(reinterpret_cast<const unsigned char*>(bytes.data()), std::size_t(size)));
}

void TJpegGraphic::LoadFromStream(const QByteArray& data)
{
    Load(decode::ByteView(data));
}

void TJpegGraphic::Load(decode::ByteView data)
{
    const bool palette8 = decode::ScreenBitsPerPixel() <= 8;
    const auto progress = [this](int percent) { ReportProgress(percent); };
    if (SizeHint().isValid() && !SizeHint().isEmpty()) {
        // A reduced decode covering the fitted size.
        QSize fullSize;
        QImage image = decode::DecodeJpegReduced(data, palette8, SizeHint(), &fullSize, progress);
        SetReducedImage(std::move(image), fullSize);
        return;
    }
    SetImage(decode::DecodeJpegData(data, palette8, progress));
}
