#pragma once
// The plug-in decoding adapter: turns a file or a block of bytes into a
// bitmap by asking the loaded Susie import plug-ins one after the other.
//
//  - TInSPIAbleData and its two sources read the head of the data, choose
//    and ask the plug-ins, and own the two blocks a plug-in returns;
//  - TSPIGraphic holds such a decoded device-independent bitmap, reports its
//    size, draws it and writes it out as a BMP stream;
//  - TSPIBitmap, registered for every extension a plug-in adds, loads through
//    TSPIGraphic and keeps the result as an ordinary bitmap.
#include "decode/Graphic.h"
#include "decode/susie/SusieAbi.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

#include <exception>
#include <functional>
#include <memory>

class QIODevice;
class TInSPI;
class TSPIGraphic;

// Progress reports of the adapter.
enum class TProgressStage { psStarting = 0, psRunning = 1, psEnding = 2 };

struct TSPIProgress {
    const TGraphic* sender = nullptr;
    TProgressStage stage = TProgressStage::psRunning;
    int percent = 0;
    bool redrawNow = false;
    QRect rect;
    QString message;
};

// A progress handler may throw ESPIAbort to stop the loading silently.
using TSPIProgressHandler = std::function<void(const TSPIProgress&)>;

class ESPIAbort : public std::exception {
public:
    const char* what() const noexcept override { return "aborted"; }
};

// The percentage reported for a plug-in's own progress (current of total):
// current × 97 ÷ total rounded, plus 2, kept within 2..99.
int SusieProgressPercent(int32_t current, int32_t total);

// The 8-bit (UTF-8) file name handed to plug-ins: empty for an empty name and
// for a name that has no faithful 8-bit form (Linux has no short names to
// fall back on).
QByteArray SusiePluginFileName(const QString& fileName);

// The extension of a file name with its dot (".jpg") as the loader finds it
// ("\\" ends a name too); empty without one.
QString SusieLoaderExtension(const QString& fileName);

// The layout of a device-independent bitmap held in two blocks.
struct TDIBLayout {
    int32_t width = 0;
    int32_t height = 0; // as stored: negative for a top-down bitmap
    int bitsPerPixel = 0;
    uint32_t compression = 0;
    int colorCount = 0; // entries of the colour table
    int64_t headerSize = 0; // header, bit masks and colour table
    int64_t pixelSize = 0; // bytes of pixel rows
    int64_t colorTableOffset = 0;
};

// Works the layout out from the information block and checks it against the
// sizes of both blocks. False for anything a BMP stream cannot faithfully
// hold: unknown depths or compressions, empty or oversized pictures, blocks
// smaller than their header promises.
bool SusieDIBLayout(const void* info, size_t infoSize, size_t bitsSize, TDIBLayout& layout);

// Base of the data sources; never created itself.
class TInSPIAbleData {
public:
    static constexpr int HeaderSize = 2048 + 128;

    TInSPIAbleData(const TSPIGraphic* owner, const QString& fileName);
    virtual ~TInSPIAbleData();
    TInSPIAbleData(const TInSPIAbleData&) = delete;
    TInSPIAbleData& operator=(const TInSPIAbleData&) = delete;

    // Asks the plug-ins until one decodes the data. Empty() tells whether one did.
    void Decode();

    bool Empty() const { return !m_infoHandle || !m_pixelHandle; }
    // Frees both blocks and the text information.
    void Release();
    // Hands the pixel block over (the caller frees it with
    // spiremote::FreeBlock); the data is empty afterwards.
    SusieLocalHandle TakePixelBlock();

    const QString& FileName() const { return m_fileName; }
    const void* InfoBlock() const;
    const void* PixelBlock() const;
    size_t InfoBlockSize() const;
    size_t PixelBlockSize() const;

    bool InfoValid() const { return m_infoValid; }
    const SusiePictureInfo& PictureInfo() const { return m_pictureInfo; }
    // The text information the plug-in attached to the record, if any.
    QByteArray TextInfo() const;
    // The plug-in that decoded the data (its file name); empty if none.
    const QString& DecodedBy() const { return m_decodedBy; }

    TSPIProgressHandler ProgressHandler;

protected:
    virtual void ReadHeader(char* buffer, int size) = 0;
    virtual void ReadInfo(TInSPI& spi, intptr_t offset, bool& valid, SusiePictureInfo& info) = 0;
    virtual void ReadPreview(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info) = 0;
    virtual void ReadPicture(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info) = 0;

    // The name plug-ins are given (computed once).
    const QByteArray& Name8() const { return m_name8; }
    // Passed to the plug-ins with the address of this source.
    static int32_t ProgressCallback(int32_t current, int32_t total, intptr_t data);

    void Report(TProgressStage stage, int percent, const QString& message);

private:
    void TryPlugin(TInSPI& spi, const char* head, intptr_t offset);
    void ReleaseBlocks();
    void ReleaseText();

    const TSPIGraphic* m_owner;
    QString m_fileName;
    QByteArray m_name8;
    SusieLocalHandle m_infoHandle = nullptr;
    SusieLocalHandle m_pixelHandle = nullptr;
    SusiePictureInfo m_pictureInfo{};
    bool m_infoValid = false;
    QString m_decodedBy;
};

class TInSPIAbleFromFile : public TInSPIAbleData {
public:
    TInSPIAbleFromFile(const TSPIGraphic* owner, const QString& fileName);

protected:
    void ReadHeader(char* buffer, int size) override;
    void ReadInfo(TInSPI& spi, intptr_t offset, bool& valid, SusiePictureInfo& info) override;
    void ReadPreview(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info) override;
    void ReadPicture(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info) override;
};

class TInSPIAbleFromStream : public TInSPIAbleData {
public:
    // The bytes are shared, not copied (a QByteArray is an in-memory stream).
    TInSPIAbleFromStream(const TSPIGraphic* owner, const QByteArray& data, const QString& fileName);

protected:
    void ReadHeader(char* buffer, int size) override;
    void ReadInfo(TInSPI& spi, intptr_t offset, bool& valid, SusiePictureInfo& info) override;
    void ReadPreview(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info) override;
    void ReadPicture(TInSPI& spi, intptr_t offset, SusieLocalHandle& pixels, SusieLocalHandle& info) override;

private:
    bool Range(intptr_t offset, const char*& address, intptr_t& length) const;
    QByteArray m_data;
};

// A decoded device-independent bitmap from a plug-in.
class TSPIGraphic : public TGraphic {
public:
    static const TGraphicClassInfo ClassInfo;

    TSPIGraphic() = default;
    ~TSPIGraphic() override;

    void LoadFromFile(const QString& fileName) override;
    void LoadFromStream(const QByteArray& data) override { LoadFromStreamWithName(data, QString()); }
    void LoadFromStreamWithName(const QByteArray& data, const QString& fileName);

    int Width() const override;
    // The height as a size (positive); SignedHeight keeps the stored sign.
    int Height() const override;
    int SignedHeight() const;
    bool IsEmpty() const { return !m_data || m_data->Empty(); }

    void Draw(QPainter& painter, const QRect& target) const override;
    QImage ToImage() const override;

    // The picture as a BMP file: file header, information block, pixel rows.
    QByteArray SaveToBmp() const;
    void SaveToStream(QIODevice& stream) const;

    // Frees the data source and its blocks.
    void Clear();

    // A new graphic of the class holding the same picture, read from the BMP
    // stream. A destructive conversion clears this graphic first.
    std::unique_ptr<TGraphic> Convert(TGraphicClass graphicClass, bool destructive);

    // The picture read straight from the two blocks, as the built-in BMP
    // readers read the BMP stream (with the same checks), without making
    // the stream. Raises EGraphicError when nothing usable is held.
    QImage DecodeImage() const;
    // The same picture, after which this graphic is cleared. Rows stored
    // top-down in a form the picture can use as they are (24 and 32 bits)
    // are not copied: the pixel block itself becomes the picture's memory.
    QImage TakeImage();

    // The colour table (empty when there is none).
    QVector<QRgb> Palette() const;
    bool FourBit() const;
    int ColorCount() const;
    int64_t HeaderSize() const;
    int64_t PixelSize() const;

    // The record from GetPictureInfo of the decoding plug-in; nullptr when
    // that call did not succeed or nothing is loaded.
    const SusiePictureInfo* PictureInfo() const;
    QByteArray TextInfo() const;
    QString DecodedBy() const;

    void SetOnProgress(TSPIProgressHandler handler) { m_onProgress = std::move(handler); }
    void SetOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }

private:
    void Decode(std::unique_ptr<TInSPIAbleData> source);
    void Notify(const TSPIProgress& report) const;
    const TDIBLayout& Layout() const;

    std::unique_ptr<TInSPIAbleData> m_data;
    TSPIProgressHandler m_onProgress;
    std::function<void()> m_onChange;
    mutable bool m_infoReady = false;
    mutable TDIBLayout m_layout;
    mutable QImage m_image; // drawn form, made on first use
};

// A plain bitmap that loads through the plug-ins. Registered by the plug-in
// host for every extension an import plug-in adds.
class TSPIBitmap : public TGraphic {
public:
    static const TGraphicClassInfo ClassInfo;

    // The plain bitmap class this bitmap builds on: it reads BMP files and
    // the BMP streams made from plug-in bitmaps. By default a reader of the
    // adapter's own; the program may set its built-in BMP decoder. None, or
    // a class that itself asks the plug-ins, restores the default. With
    // either of those two readers, a plug-in's bitmap becomes the picture
    // directly (TSPIGraphic::TakeImage), without a BMP stream in between.
    static TGraphicClass PlainBitmapClass();
    static void SetPlainBitmapClass(TGraphicClass graphicClass);
    static TGraphicClass DefaultPlainBitmapClass();
    // True when the plain bitmap class is one of the two built-in readers.
    static bool ReadsBitmapsDirectly();

    void LoadFromFile(const QString& fileName) override;
    void LoadFromStream(const QByteArray& data) override { LoadFromStreamWithName(data, QString()); }
    void LoadFromStreamWithName(const QByteArray& data, const QString& fileName);

    // Takes the picture of another graphic (a TSPIGraphic through a BMP
    // stream, keeping its colour table for 4-bit pictures).
    void Assign(TGraphic& source);
    // Takes over the graphic's picture and destroys the graphic; none fails
    // with "Susie Plugins could not decode".
    void Adopt(std::unique_ptr<TGraphic> graphic);

    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    QImage ToImage() const override { return m_image; }
    void Reorient(int orientation) override;

    void SetOnProgress(TSPIProgressHandler handler) { m_onProgress = std::move(handler); }

    // The published OnLoadFromStreamWithName event: always this bitmap's own
    // LoadFromStreamWithName (there is deliberately no way to replace it).
    using LoadFromStreamWithNameEvent = std::function<void(const QByteArray& data, const QString& fileName)>;
    LoadFromStreamWithNameEvent OnLoadFromStreamWithName()
    {
        return [this](const QByteArray& data, const QString& fileName) { LoadFromStreamWithName(data, fileName); };
    }

private:
    enum class Source { File, Stream };
    void Load(Source source, const QByteArray& data, const QString& fileName);
    void TakeFromSPIGraphic(TSPIGraphic& graphic, bool destructive);
    void Notify(const TSPIProgress& report) const;

    QImage m_image;
    TSPIProgressHandler m_onProgress;
};

// Removes every registry entry naming TSPIBitmap (at program end).
void UnregisterSPIBitmap();
