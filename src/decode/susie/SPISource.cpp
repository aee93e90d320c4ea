// The data sources of the plug-in adapter: they read the head of a file or
// a block of bytes, ask the plug-ins in turn and own the two blocks of the
// bitmap the first willing plug-in returns.
#include "SPIBmp.h"
#include "SPIRemote.h"

#include "SPIs.h"
#include "platform/FileExtension.h"
#include "platform/FileNames.h"
#include "platform/Files.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

QString FileNameOnly(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? path.mid(slash + 1) : path;
}

// Frees the handles a plug-in handed over with a result of 0, unless both
// are present; clears them whenever the result is not 0 (then they were
// never handed over).
void SettleHandles(int32_t result, SusieLocalHandle& info, SusieLocalHandle& pixels)
{
    if (result != 0 || !info || !pixels) {
        if (result == 0) {
            spiremote::FreeBlock(info);
            spiremote::FreeBlock(pixels);
        }
        info = nullptr;
        pixels = nullptr;
    }
}

} // namespace

QString SusieLoaderExtension(const QString& fileName)
{
    static const platform::ExtensionRule rule{.windowsSeparators = true, .dotOnlyIsEmpty = true};
    return platform::FileExtension(fileName, rule);
}

size_t TInSPIAbleData::InfoBlockSize() const
{
    return spiremote::BlockSize(m_infoHandle);
}

size_t TInSPIAbleData::PixelBlockSize() const
{
    return spiremote::BlockSize(m_pixelHandle);
}

int SusieProgressPercent(int32_t current, int32_t total)
{
    if (total <= 0)
        return 2;
    const double scaled = static_cast<double>(current) * 97.0 / static_cast<double>(total);
    const long rounded = std::lround(scaled);
    const long percent = rounded + 2;
    if (percent < 2)
        return 2;
    if (percent > 99)
        return 99;
    return static_cast<int>(percent);
}

QByteArray SusiePluginFileName(const QString& fileName)
{
    if (fileName.isEmpty() || fileName.contains(QChar(0)))
        return {};
    // The plug-in opens the file itself: it gets the name's own bytes, also
    // for names that are not UTF-8. Text no file name can have is refused.
    const QByteArray encoded = platform::EncodeFileName(fileName);
    if (platform::DecodeFileName(encoded) != fileName)
        return {};
    return encoded;
}

// ---------------------------------------------------------------------------
// TInSPIAbleData

TInSPIAbleData::TInSPIAbleData(const TSPIGraphic* owner, const QString& fileName)
    : m_owner(owner),
      m_fileName(fileName),
      m_name8(SusiePluginFileName(fileName))
{
}

TInSPIAbleData::~TInSPIAbleData()
{
    Release();
}

const void* TInSPIAbleData::InfoBlock() const
{
    return m_infoHandle ? SusieLocalLock(m_infoHandle) : nullptr;
}

const void* TInSPIAbleData::PixelBlock() const
{
    return m_pixelHandle ? SusieLocalLock(m_pixelHandle) : nullptr;
}

QByteArray TInSPIAbleData::TextInfo() const
{
    if (!m_infoValid || !m_pictureInfo.hInfo)
        return {};
    const char* text = static_cast<const char*>(SusieLocalLock(m_pictureInfo.hInfo));
    const size_t size = spiremote::BlockSize(m_pictureInfo.hInfo);
    const void* end = std::memchr(text, 0, size);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : size;
    QByteArray result(text, static_cast<qsizetype>(length));
    SusieLocalUnlock(m_pictureInfo.hInfo);
    return result;
}

void TInSPIAbleData::ReleaseBlocks()
{
    if (m_infoHandle) {
        SusieLocalUnlock(m_infoHandle);
        spiremote::FreeBlock(m_infoHandle);
        m_infoHandle = nullptr;
    }
    if (m_pixelHandle) {
        SusieLocalUnlock(m_pixelHandle);
        spiremote::FreeBlock(m_pixelHandle);
        m_pixelHandle = nullptr;
    }
}

SusieLocalHandle TInSPIAbleData::TakePixelBlock()
{
    SusieLocalHandle block = m_pixelHandle;
    if (block)
        SusieLocalUnlock(block);
    m_pixelHandle = nullptr;
    return block;
}

void TInSPIAbleData::ReleaseText()
{
    if (m_infoValid && m_pictureInfo.hInfo)
        spiremote::FreeBlock(m_pictureInfo.hInfo);
    m_pictureInfo = SusiePictureInfo{};
    m_infoValid = false;
}

void TInSPIAbleData::Release()
{
    ReleaseBlocks();
    ReleaseText();
    m_decodedBy.clear();
}

void TInSPIAbleData::Report(TProgressStage stage, int percent, const QString& message)
{
    if (!ProgressHandler)
        return;
    TSPIProgress report;
    report.sender = m_owner;
    report.stage = stage;
    report.percent = percent;
    report.redrawNow = stage == TProgressStage::psEnding;
    report.rect = QRect(0, 0, 0, 0);
    report.message = message;
    ProgressHandler(report);
}

int32_t TInSPIAbleData::ProgressCallback(int32_t current, int32_t total, intptr_t data)
{
    auto* self = reinterpret_cast<TInSPIAbleData*>(data);
    if (!self || !self->ProgressHandler)
        return 0;
    // Nothing may unwind through the plug-in's frames: any failure of the
    // handler asks the plug-in to stop.
    try {
        self->Report(TProgressStage::psRunning, SusieProgressPercent(current, total), QString());
        return 0;
    } catch (...) {
        return 1;
    }
}

void TInSPIAbleData::Decode()
{
    TSPIs* host = TSPIs::ActiveSPIs();
    const bool macBinary = host && host->MacBinary;

    Report(TProgressStage::psStarting, 0, QStringLiteral("Loading Graphic by Susie Plugin"));
    try {
        Release();
        Report(TProgressStage::psRunning, 1, QStringLiteral("Seeking enabled Susie Plugins"));

        std::vector<TSPI*> candidates;
        if (host)
            host->GetLoaders({&TInSPI::ClassInfo}, candidates, SusieLoaderExtension(m_fileName));

        // The head of the data is read once and shared by every try; the
        // 128 extra bytes let a try at offset 128 see 2048 bytes as well.
        std::vector<char> header(HeaderSize, 0);
        ReadHeader(header.data(), HeaderSize);

        const intptr_t offsets[] = {0, 128};
        const int offsetCount = macBinary ? 2 : 1;
        bool decoded = false;
        for (TSPI* candidate : candidates) {
            for (int k = 0; k < offsetCount && !decoded; ++k) {
                Report(TProgressStage::psRunning, 1,
                       QStringLiteral("Loading by [%1]").arg(FileNameOnly(candidate->FileName())));
                TryPlugin(static_cast<TInSPI&>(*candidate), header.data(), offsets[k]);
                if (!Empty()) {
                    TDIBLayout layout;
                    if (SusieDIBLayout(InfoBlock(), InfoBlockSize(), PixelBlockSize(), layout)) {
                        m_decodedBy = candidate->FileName();
                        decoded = true;
                        break;
                    }
                }
                Release();
            }
            if (decoded)
                break;
        }
    } catch (...) {
        try {
            Report(TProgressStage::psEnding, 100, QStringLiteral("Loaded Graphic by Susie Plugin"));
        } catch (...) {
        }
        throw;
    }
    Report(TProgressStage::psEnding, 100, QStringLiteral("Loaded Graphic by Susie Plugin"));
}

void TInSPIAbleData::TryPlugin(TInSPI& spi, const char* head, intptr_t offset)
{
    if (!m_fileName.isEmpty() && m_name8.isEmpty())
        return;
    if (spi.IsSupported(m_name8.constData(), head + offset) == 0)
        return;
    ReadInfo(spi, offset, m_infoValid, m_pictureInfo);
    TSPIs* host = TSPIs::ActiveSPIs();
    if (host && host->GraphicPreview) {
        ReadPreview(spi, offset, m_pixelHandle, m_infoHandle);
        if (Empty()) {
            ReleaseBlocks();
            ReadPicture(spi, offset, m_pixelHandle, m_infoHandle);
        }
    } else {
        ReadPicture(spi, offset, m_pixelHandle, m_infoHandle);
    }
}

// ---------------------------------------------------------------------------
// TInSPIAbleFromFile

TInSPIAbleFromFile::TInSPIAbleFromFile(const TSPIGraphic* owner, const QString& fileName)
    : TInSPIAbleData(owner, fileName)
{
}

void TInSPIAbleFromFile::ReadHeader(char* buffer, int size)
{
    const QByteArray head = platform::ReadFileHead(FileName(), size);
    std::memcpy(buffer, head.constData(), static_cast<size_t>(std::min<qsizetype>(head.size(), size)));
}

void TInSPIAbleFromFile::ReadInfo(TInSPI& spi, intptr_t offset, bool& valid, SusiePictureInfo& info)
{
    info = SusiePictureInfo{};
    valid = false;
    if (Name8().isEmpty())
        return;
    valid = spi.GetPictureInfo(Name8().constData(), offset, SUSIE_INPUT_FILE, &info) == 0;
    if (!valid)
        info = SusiePictureInfo{};
}

void TInSPIAbleFromFile::ReadPicture(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info)
{
    pixels = nullptr;
    info = nullptr;
    if (Name8().isEmpty())
        return;
    const int32_t result = spi.GetPicture(Name8().constData(), offset, SUSIE_INPUT_FILE, &info, &pixels,
                                          &ProgressCallback, reinterpret_cast<intptr_t>(this));
    SettleHandles(result, info, pixels);
}

void TInSPIAbleFromFile::ReadPreview(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info)
{
    pixels = nullptr;
    info = nullptr;
    if (Name8().isEmpty())
        return;
    try {
        const int32_t result = spi.GetPreview(Name8().constData(), offset, SUSIE_INPUT_FILE, &info, &pixels,
                                              &ProgressCallback, reinterpret_cast<intptr_t>(this));
        SettleHandles(result, info, pixels);
    } catch (const ESPIInvalidAPI&) {
        pixels = nullptr;
        info = nullptr;
    }
}

// ---------------------------------------------------------------------------
// TInSPIAbleFromStream

TInSPIAbleFromStream::TInSPIAbleFromStream(const TSPIGraphic* owner, const QByteArray& data, const QString& fileName)
    : TInSPIAbleData(owner, fileName),
      m_data(data)
{
}

bool TInSPIAbleFromStream::Range(intptr_t offset, const char*& address, intptr_t& length) const
{
    if (offset < 0 || offset > m_data.size())
        return false;
    address = m_data.constData() + offset;
    length = static_cast<intptr_t>(m_data.size()) - offset;
    return true;
}

void TInSPIAbleFromStream::ReadHeader(char* buffer, int size)
{
    const qsizetype count = std::min<qsizetype>(m_data.size(), size);
    if (count > 0)
        std::memcpy(buffer, m_data.constData(), static_cast<size_t>(count));
}

void TInSPIAbleFromStream::ReadInfo(TInSPI& spi, intptr_t offset, bool& valid, SusiePictureInfo& info)
{
    info = SusiePictureInfo{};
    valid = false;
    const char* address = nullptr;
    intptr_t length = 0;
    if (!Range(offset, address, length))
        return;
    valid = spi.GetPictureInfo(address, length, SUSIE_INPUT_MEMORY, &info) == 0;
    if (!valid)
        info = SusiePictureInfo{};
}

void TInSPIAbleFromStream::ReadPicture(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info)
{
    pixels = nullptr;
    info = nullptr;
    const char* address = nullptr;
    intptr_t length = 0;
    if (!Range(offset, address, length))
        return;
    const int32_t result = spi.GetPicture(address, length, SUSIE_INPUT_MEMORY, &info, &pixels, &ProgressCallback,
                                          reinterpret_cast<intptr_t>(this));
    SettleHandles(result, info, pixels);
}

void TInSPIAbleFromStream::ReadPreview(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info)
{
    pixels = nullptr;
    info = nullptr;
    const char* address = nullptr;
    intptr_t length = 0;
    if (!Range(offset, address, length))
        return;
    try {
        const int32_t result = spi.GetPreview(address, length, SUSIE_INPUT_MEMORY, &info, &pixels, &ProgressCallback,
                                              reinterpret_cast<intptr_t>(this));
        SettleHandles(result, info, pixels);
    } catch (const ESPIInvalidAPI&) {
        pixels = nullptr;
        info = nullptr;
    }
}
