// The bitmap side of the plug-in adapter: the layout of a plug-in's bitmap,
// the bitmap it makes (TSPIGraphic) and the plain bitmap that loads through
// the plug-ins (TSPIBitmap).
#include "SPIBmp.h"
#include "SPIRemote.h"

#include "decode/BmpGraphic.h"
#include "decode/Dib.h"
#include "decode/FormatRegistry.h"
#include "decode/Orientation.h"
#include "decode/Picture.h"

#include <QBuffer>
#include <QImageReader>
#include <QIODevice>
#include <QPainter>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const QString kCouldNotDecode = QStringLiteral("Susie Plugins could not decode");

uint16_t ReadU16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

void WriteU16(char* p, uint16_t v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

void WriteU32(char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The BMP reader the adapter uses unless the program sets its own plain
// bitmap class: Qt's BMP handler, asked for BMP data only.
class TBmpStreamBitmap : public TGraphic {
public:
    void LoadFromStream(const QByteArray& data) override
    {
        if (data.size() < 2 || data.at(0) != 'B' || data.at(1) != 'M')
            throw EGraphicError(QStringLiteral("BMP 形式ではありません"));
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, QByteArrayLiteral("bmp"));
        reader.setAutoDetectImageFormat(false);
        reader.setDecideFormatFromContent(false);
        QImage image = reader.read();
        if (image.isNull())
            throw EGraphicError(QStringLiteral("BMP を読めません: %1").arg(reader.errorString()));
        m_image = std::move(image);
        ReportProgress(100);
    }
    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }
    void Draw(QPainter& painter, const QRect& target) const override { painter.drawImage(target, m_image); }
    QImage ToImage() const override { return m_image; }

private:
    QImage m_image;
};

const TGraphicClassInfo kBmpStreamBitmapClass = {"TBmpStreamBitmap",
                                                 [] { return std::unique_ptr<TGraphic>(new TBmpStreamBitmap); }};

TGraphicClass& PlainBitmapSlot()
{
    static TGraphicClass graphicClass = &kBmpStreamBitmapClass;
    return graphicClass;
}

} // namespace

bool SusieDIBLayout(const void* info, size_t infoSize, size_t bitsSize, TDIBLayout& layout)
{
    layout = TDIBLayout{};
    if (!info || infoSize < 40)
        return false;
    const auto* p = static_cast<const unsigned char*>(info);
    const uint32_t headerBytes = ReadU32(p);
    if (headerBytes != 40 && headerBytes != 52 && headerBytes != 56 && headerBytes != 108 && headerBytes != 124)
        return false;
    if (headerBytes > infoSize)
        return false;

    const int32_t width = static_cast<int32_t>(ReadU32(p + 4));
    const int32_t height = static_cast<int32_t>(ReadU32(p + 8));
    const int bits = ReadU16(p + 14);
    const uint32_t compression = ReadU32(p + 16);
    const uint32_t colorsUsed = ReadU32(p + 32);
    if (width <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min())
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;

    int64_t masks = 0;
    if (compression == 3 /* bit fields */) {
        if (bits != 16 && bits != 32)
            return false;
        if (headerBytes == 40)
            masks = 12;
    } else if (compression != 0) {
        return false; // run-length data has no size the host could check
    }

    int64_t colors = colorsUsed;
    if (colors == 0 && bits <= 8)
        colors = int64_t(1) << bits;
    if (colors > 256 || (bits <= 8 && colors > (int64_t(1) << bits)))
        return false;

    const int64_t headerSize = headerBytes + masks + 4 * colors;
    const int64_t stride = ((int64_t(bits) * width + 31) / 32) * 4;
    const int64_t rows = height < 0 ? -int64_t(height) : int64_t(height);
    if (stride <= 0 || rows > std::numeric_limits<int32_t>::max() / stride)
        return false;
    const int64_t pixelSize = stride * rows;
    if (headerSize > static_cast<int64_t>(infoSize) || pixelSize > static_cast<int64_t>(bitsSize))
        return false;
    if (14 + headerSize + pixelSize > std::numeric_limits<int32_t>::max())
        return false;

    layout.width = width;
    layout.height = height;
    layout.bitsPerPixel = bits;
    layout.compression = compression;
    layout.colorCount = static_cast<int>(colors);
    layout.headerSize = headerSize;
    layout.pixelSize = pixelSize;
    layout.colorTableOffset = headerBytes + masks;
    return true;
}

// ---------------------------------------------------------------------------
// TSPIGraphic

const TGraphicClassInfo TSPIGraphic::ClassInfo = {"TSPIGraphic",
                                                  [] { return std::unique_ptr<TGraphic>(new TSPIGraphic); }};

TSPIGraphic::~TSPIGraphic() = default;

void TSPIGraphic::LoadFromFile(const QString& fileName)
{
    Clear();
    Decode(std::make_unique<TInSPIAbleFromFile>(this, fileName));
}

void TSPIGraphic::LoadFromStreamWithName(const QByteArray& data, const QString& fileName)
{
    Clear();
    Decode(std::make_unique<TInSPIAbleFromStream>(this, data, fileName));
}

void TSPIGraphic::Decode(std::unique_ptr<TInSPIAbleData> source)
{
    m_data = std::move(source);
    try {
        m_data->ProgressHandler = [this](const TSPIProgress& report) { Notify(report); };
        m_data->Decode();
        if (m_data->Empty())
            throw EGraphicError(kCouldNotDecode, TDecodeFailure::PluginFailed);
    } catch (...) {
        Clear();
        throw;
    }
    m_infoReady = false;
    if (m_onChange)
        m_onChange();
}

void TSPIGraphic::Notify(const TSPIProgress& report) const
{
    if (m_onProgress)
        m_onProgress(report);
    ReportProgress(report.percent);
}

void TSPIGraphic::Clear()
{
    m_data.reset();
    m_infoReady = false;
    m_layout = TDIBLayout{};
    m_image = QImage();
}

const TDIBLayout& TSPIGraphic::Layout() const
{
    if (!m_infoReady) {
        m_layout = TDIBLayout{};
        if (!IsEmpty()
            && !SusieDIBLayout(m_data->InfoBlock(), m_data->InfoBlockSize(), m_data->PixelBlockSize(), m_layout))
            m_layout = TDIBLayout{};
        m_infoReady = true;
    }
    return m_layout;
}

int TSPIGraphic::Width() const
{
    return Layout().width;
}

int TSPIGraphic::Height() const
{
    const int h = Layout().height;
    return h < 0 ? -h : h;
}

int TSPIGraphic::SignedHeight() const
{
    return Layout().height;
}

bool TSPIGraphic::FourBit() const
{
    return Layout().bitsPerPixel == 4;
}

int TSPIGraphic::ColorCount() const
{
    return Layout().colorCount;
}

int64_t TSPIGraphic::HeaderSize() const
{
    return Layout().headerSize;
}

int64_t TSPIGraphic::PixelSize() const
{
    return Layout().pixelSize;
}

QVector<QRgb> TSPIGraphic::Palette() const
{
    const TDIBLayout& layout = Layout();
    QVector<QRgb> colors;
    if (layout.colorCount == 0)
        return colors;
    const auto* table = static_cast<const unsigned char*>(m_data->InfoBlock()) + layout.colorTableOffset;
    colors.reserve(layout.colorCount);
    for (int i = 0; i < layout.colorCount; ++i) {
        const unsigned char* entry = table + 4 * i; // blue, green, red, reserved
        colors.append(qRgb(entry[2], entry[1], entry[0]));
    }
    return colors;
}

const SusiePictureInfo* TSPIGraphic::PictureInfo() const
{
    if (IsEmpty() || !m_data->InfoValid())
        return nullptr;
    return &m_data->PictureInfo();
}

QByteArray TSPIGraphic::TextInfo() const
{
    return IsEmpty() ? QByteArray() : m_data->TextInfo();
}

QString TSPIGraphic::DecodedBy() const
{
    return IsEmpty() ? QString() : m_data->DecodedBy();
}

namespace {

// The size of a version 4 bitmap header, which names an alpha mask.
constexpr int64_t kV4HeaderSize = 108;

// A plain 32-bit bitmap whose fourth bytes are not all zero carries alpha
// there, as plug-ins deliver transparent pictures; the plain header cannot
// say so, so the BMP stream gets a version 4 header with an alpha mask.
bool CarriesAlphaInFourthByte(const TDIBLayout& layout, const unsigned char* pixels)
{
    if (layout.bitsPerPixel != 32 || layout.compression != 0 || layout.headerSize != 40
        || 14 + kV4HeaderSize + layout.pixelSize > std::numeric_limits<int32_t>::max())
        return false;
    for (int64_t i = 3; i < layout.pixelSize; i += 4)
        if (pixels[i] != 0)
            return true;
    return false;
}

void WriteAlphaHeader(char* out, const unsigned char* plainHeader, int64_t pixelSize)
{
    std::memset(out, 0, kV4HeaderSize);
    std::memcpy(out, plainHeader, 40);
    WriteU32(out, static_cast<uint32_t>(kV4HeaderSize));
    WriteU32(out + 16, 3); // bit fields
    WriteU32(out + 20, static_cast<uint32_t>(pixelSize));
    WriteU32(out + 40, 0x00FF0000u); // red
    WriteU32(out + 44, 0x0000FF00u); // green
    WriteU32(out + 48, 0x000000FFu); // blue
    WriteU32(out + 52, 0xFF000000u); // alpha
    WriteU32(out + 56, 0x73524742u); // sRGB
}

// A pixel block at most this much larger than its rows may become a
// picture's memory; a larger one is copied, so that a picture never holds
// on to memory it does not show.
constexpr size_t kSharedBlockSlack = 64 * 1024;

// Rows that a picture can use as they are: stored top-down, 24 bits (blue,
// green, red) or 32 bits (blue, green, red and alpha or nothing), in a
// block not much larger than they are.
bool RowsUsableAsTheyAre(const TDIBLayout& layout, size_t blockSize)
{
    return layout.compression == 0 && layout.height < 0 && (layout.bitsPerPixel == 24 || layout.bitsPerPixel == 32)
           && blockSize - static_cast<size_t>(layout.pixelSize) <= kSharedBlockSlack;
}

void FreeSharedPixelBlock(void* block)
{
    spiremote::FreeBlock(block);
}

} // namespace

QByteArray TSPIGraphic::SaveToBmp() const
{
    const TDIBLayout& layout = Layout();
    if (IsEmpty() || layout.width == 0)
        return {};
    const auto* pixels = static_cast<const unsigned char*>(m_data->PixelBlock());
    if (CarriesAlphaInFourthByte(layout, pixels)) {
        const int64_t total = 14 + kV4HeaderSize + layout.pixelSize;
        QByteArray bmp(static_cast<qsizetype>(total), Qt::Uninitialized);
        char* out = bmp.data();
        out[0] = 'B';
        out[1] = 'M';
        WriteU32(out + 2, static_cast<uint32_t>(total));
        WriteU32(out + 6, 0);
        WriteU32(out + 10, static_cast<uint32_t>(14 + kV4HeaderSize));
        WriteAlphaHeader(out + 14, static_cast<const unsigned char*>(m_data->InfoBlock()), layout.pixelSize);
        std::memcpy(out + 14 + kV4HeaderSize, pixels, static_cast<size_t>(layout.pixelSize));
        return bmp;
    }
    const int64_t total = 14 + layout.headerSize + layout.pixelSize;
    QByteArray bmp(static_cast<qsizetype>(total), Qt::Uninitialized);
    char* out = bmp.data();
    out[0] = 'B';
    out[1] = 'M';
    WriteU32(out + 2, static_cast<uint32_t>(total));
    WriteU16(out + 6, 0);
    WriteU16(out + 8, 0);
    WriteU32(out + 10, static_cast<uint32_t>(14 + layout.headerSize));
    std::memcpy(out + 14, m_data->InfoBlock(), static_cast<size_t>(layout.headerSize));
    std::memcpy(out + 14 + layout.headerSize, m_data->PixelBlock(), static_cast<size_t>(layout.pixelSize));
    return bmp;
}

void TSPIGraphic::SaveToStream(QIODevice& stream) const
{
    const QByteArray bmp = SaveToBmp();
    if (stream.write(bmp) != bmp.size())
        throw EGraphicError(QStringLiteral("ビットマップを書き込めません"));
}

std::unique_ptr<TGraphic> TSPIGraphic::Convert(TGraphicClass graphicClass, bool destructive)
{
    if (!graphicClass || !graphicClass->create)
        throw EGraphicError(kCouldNotDecode, TDecodeFailure::PluginFailed);
    QByteArray bmp = SaveToBmp();
    if (destructive)
        Clear(); // the plug-in's blocks go before the new graphic reads the copy
    std::unique_ptr<TGraphic> graphic = graphicClass->create();
    graphic->LoadFromStream(bmp);
    return graphic;
}

QImage TSPIGraphic::DecodeImage() const
{
    const TDIBLayout& layout = Layout();
    if (IsEmpty() || layout.width == 0)
        throw EGraphicError(kCouldNotDecode, TDecodeFailure::PluginFailed);
    const auto* info = static_cast<const unsigned char*>(m_data->InfoBlock());
    const auto* pixels = static_cast<const unsigned char*>(m_data->PixelBlock());
    const decode::ByteView bits(pixels, static_cast<size_t>(layout.pixelSize));
    if (CarriesAlphaInFourthByte(layout, pixels)) {
        char header[kV4HeaderSize];
        WriteAlphaHeader(header, info, layout.pixelSize);
        return decode::DecodeDib(decode::ByteView(reinterpret_cast<const unsigned char*>(header), sizeof header), bits,
                                 decode::DibLayout::Separate);
    }
    return decode::DecodeDib(decode::ByteView(info, static_cast<size_t>(layout.headerSize)), bits,
                             decode::DibLayout::Separate);
}

QImage TSPIGraphic::TakeImage()
{
    const TDIBLayout layout = Layout();
    if (IsEmpty() || layout.width == 0)
        throw EGraphicError(kCouldNotDecode, TDecodeFailure::PluginFailed);
    if (!RowsUsableAsTheyAre(layout, m_data->PixelBlockSize())) {
        QImage image = DecodeImage();
        Clear();
        return image;
    }
    const int64_t rows = -int64_t(layout.height);
    decode::CheckImageSize(layout.width, rows);
    auto* pixels = static_cast<unsigned char*>(const_cast<void*>(m_data->PixelBlock()));
    QImage::Format format = QImage::Format_BGR888;
    if (layout.bitsPerPixel == 32) {
        // As the readers take them: alpha when any fourth byte is set,
        // otherwise an opaque picture.
        format = CarriesAlphaInFourthByte(layout, pixels) ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        if (format == QImage::Format_RGB32) {
            for (int64_t i = 3; i < layout.pixelSize; i += 4)
                pixels[i] = 0xFF;
        }
    }
    const qsizetype stride = static_cast<qsizetype>(layout.pixelSize / rows);
    SusieLocalHandle block = m_data->TakePixelBlock();
    QImage image(pixels, layout.width, static_cast<int>(rows), stride, format, FreeSharedPixelBlock, block);
    if (image.isNull()) {
        spiremote::FreeBlock(block);
        Clear();
        throw EGraphicError(QStringLiteral("画像のメモリを確保できません"), TDecodeFailure::TooLarge);
    }
    Clear();
    return image;
}

QImage TSPIGraphic::ToImage() const
{
    if (IsEmpty())
        return {};
    if (m_image.isNull()) {
        try {
            if (TSPIBitmap::ReadsBitmapsDirectly()) {
                m_image = DecodeImage();
            } else {
                std::unique_ptr<TGraphic> reader = TSPIBitmap::PlainBitmapClass()->create();
                reader->LoadFromStream(SaveToBmp());
                m_image = reader->ToImage();
            }
        } catch (const std::exception&) {
            m_image = QImage();
        }
    }
    return m_image;
}

void TSPIGraphic::Draw(QPainter& painter, const QRect& target) const
{
    if (!m_data)
        return;
    const QImage image = ToImage();
    if (image.isNull())
        return;
    // Plain colour-on-colour stretching: rows and columns are dropped or
    // repeated, never blended.
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

// ---------------------------------------------------------------------------
// TSPIBitmap

const TGraphicClassInfo TSPIBitmap::ClassInfo = {"TSPIBitmap",
                                                 [] { return std::unique_ptr<TGraphic>(new TSPIBitmap); }};

TGraphicClass TSPIBitmap::PlainBitmapClass()
{
    return PlainBitmapSlot();
}

void TSPIBitmap::SetPlainBitmapClass(TGraphicClass graphicClass)
{
    // A class that goes back to the plug-ins would read every stream forever.
    const bool usable = graphicClass && graphicClass->create && graphicClass != &TSPIBitmap::ClassInfo
                        && graphicClass != &TSPIGraphic::ClassInfo;
    PlainBitmapSlot() = usable ? graphicClass : &kBmpStreamBitmapClass;
}

TGraphicClass TSPIBitmap::DefaultPlainBitmapClass()
{
    return &kBmpStreamBitmapClass;
}

bool TSPIBitmap::ReadsBitmapsDirectly()
{
    // Both built-in readers give the picture the blocks hold; a class of
    // the program's own is given the BMP stream.
    const TGraphicClass plain = PlainBitmapClass();
    return plain == &kBmpStreamBitmapClass || plain == &TBitmapGraphic::ClassInfo;
}

void TSPIBitmap::Notify(const TSPIProgress& report) const
{
    if (m_onProgress)
        m_onProgress(report);
    ReportProgress(report.percent);
}

void TSPIBitmap::LoadFromFile(const QString& fileName)
{
    Load(Source::File, QByteArray(), fileName);
}

void TSPIBitmap::LoadFromStreamWithName(const QByteArray& data, const QString& fileName)
{
    Load(Source::Stream, data, fileName);
}

void TSPIBitmap::Load(Source source, const QByteArray& data, const QString& fileName)
{
    const bool bmp = SusieLoaderExtension(fileName).toUpper() == QLatin1String(".BMP");
    const TGraphicClass plain = PlainBitmapClass();
    const TGraphicClass order[2] = {bmp ? plain : &TSPIGraphic::ClassInfo, bmp ? &TSPIGraphic::ClassInfo : plain};

    std::unique_ptr<TGraphic> found;
    for (TGraphicClass graphicClass : order) {
        std::unique_ptr<TGraphic> graphic = graphicClass->create();
        try {
            if (auto* spiGraphic = dynamic_cast<TSPIGraphic*>(graphic.get())) {
                spiGraphic->SetOnProgress([this](const TSPIProgress& report) {
                    if (report.stage != TProgressStage::psEnding)
                        Notify(report);
                });
                if (source == Source::File)
                    spiGraphic->LoadFromFile(fileName);
                else
                    spiGraphic->LoadFromStreamWithName(data, fileName);
                spiGraphic->SetOnProgress({});
            } else {
                graphic->SetProgressHandler([this, &graphic](int percent) {
                    TSPIProgress report;
                    report.sender = graphic.get();
                    report.stage = TProgressStage::psRunning;
                    report.percent = percent;
                    Notify(report);
                });
                if (source == Source::File)
                    graphic->LoadFromFile(fileName);
                else
                    graphic->LoadFromStream(data);
                graphic->SetProgressHandler({});
            }
            found = std::move(graphic);
            break;
        } catch (...) {
            // This class could not read it; the next one may.
        }
    }

    auto reportEnd = [this] {
        TSPIProgress report;
        report.sender = this;
        report.stage = TProgressStage::psEnding;
        report.percent = 100;
        report.redrawNow = true;
        report.rect = QRect(0, 0, m_image.width(), m_image.height());
        report.message = QStringLiteral("Loaded Graphic");
        Notify(report);
    };
    try {
        Adopt(std::move(found));
    } catch (...) {
        try {
            reportEnd();
        } catch (...) {
        }
        throw;
    }
    reportEnd();
}

void TSPIBitmap::TakeFromSPIGraphic(TSPIGraphic& graphic, bool destructive)
{
    QVector<QRgb> palette;
    if (graphic.FourBit())
        palette = graphic.Palette();
    QImage image;
    if (ReadsBitmapsDirectly()) {
        image = destructive ? graphic.TakeImage() : graphic.DecodeImage();
    } else {
        std::unique_ptr<TGraphic> converted = graphic.Convert(PlainBitmapClass(), destructive);
        image = converted->ToImage();
    }
    if (image.isNull())
        throw EGraphicError(kCouldNotDecode, TDecodeFailure::PluginFailed);
    if (!palette.isEmpty() && image.format() == QImage::Format_Indexed8 && image.colorCount() <= palette.size())
        image.setColorTable(palette);
    m_image = std::move(image);
}

void TSPIBitmap::Assign(TGraphic& source)
{
    if (auto* spiGraphic = dynamic_cast<TSPIGraphic*>(&source)) {
        TakeFromSPIGraphic(*spiGraphic, false);
        return;
    }
    m_image = source.ToImage();
}

void TSPIBitmap::Adopt(std::unique_ptr<TGraphic> graphic)
{
    if (!graphic)
        throw EGraphicError(kCouldNotDecode, TDecodeFailure::PluginFailed);
    if (auto* spiGraphic = dynamic_cast<TSPIGraphic*>(graphic.get())) {
        TakeFromSPIGraphic(*spiGraphic, true);
        return;
    }
    m_image = graphic->ToImage();
}

void TSPIBitmap::Reorient(int orientation)
{
    m_image = decode::ApplyOrientation(m_image, orientation);
}

void TSPIBitmap::Draw(QPainter& painter, const QRect& target) const
{
    if (!m_image.isNull())
        painter.drawImage(target, m_image);
}

void UnregisterSPIBitmap()
{
    TFormatRegistry::Instance().Unregister(&TSPIBitmap::ClassInfo);
}
