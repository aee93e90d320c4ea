#pragma once
// A decoded picture of some decoder class, and the class reference by which
// the format registry creates new empty graphics.
#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

class QPainter;
class QByteArray;
namespace platform {
class LargeBlock;
}

// Why a picture could not be had.
enum class TDecodeFailure {
    None,
    UnknownFormat, // no decoder for the extension
    Unreadable, // the file cannot be opened or read
    DamagedData, // the decoder refused the data
    TooLarge, // the picture exceeds the pixel, memory or file-size limit
    PluginFailed, // no plug-in decoded it
    Cancelled, // the decode was stopped because nobody wants it any more
};

// Every decoding failure is raised as this error, carrying the message text
// and the reason (damaged data unless told otherwise).
class EGraphicError : public std::runtime_error {
public:
    explicit EGraphicError(const QString& message, TDecodeFailure reason = TDecodeFailure::DamagedData)
        : std::runtime_error(message.toStdString()),
          m_message(message),
          m_reason(reason)
    {
    }
    const QString& message() const { return m_message; }
    TDecodeFailure reason() const { return m_reason; }

private:
    QString m_message;
    TDecodeFailure m_reason;
};

class TGraphic {
public:
    // Progress while loading, in percent (0..100).
    using ProgressHandler = std::function<void(int percent)>;

    virtual ~TGraphic() = default;

    // Both raise EGraphicError on failure; the graphic must then be discarded.
    virtual void LoadFromFile(const QString& path);
    virtual void LoadFromStream(const QByteArray& data) = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() <= 0 || Height() <= 0; }

    // Draws the picture scaled into the rectangle.
    virtual void Draw(QPainter& painter, const QRect& target) const = 0;

    // The picture as an image (for the clipboard and previews). An empty
    // graphic gives a null image.
    virtual QImage ToImage() const = 0;

    // Turns the decoded picture by an orientation (1..8, see
    // Orientation.h). Graphics that hold no raster picture keep theirs.
    virtual void Reorient(int orientation) { (void)orientation; }

    void SetProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }

    // The area the picture will be fitted into. A decoder may then decode a
    // reduced picture that still covers the fitted size; Width and Height
    // stay those of the full picture. An empty size asks for full size.
    void SetSizeHint(const QSize& area) { m_sizeHint = area; }
    const QSize& SizeHint() const { return m_sizeHint; }
    // True when the held pixels are fewer than the full picture's.
    virtual bool IsReduced() const { return false; }

protected:
    // The whole file in a large block kept for reuse, for decoders that
    // need the bytes only while they decode; *size receives its length.
    // Raises the EGraphicError LoadFromFile raises for an unreadable file.
    static platform::LargeBlock ReadWholeFile(const QString& path, qint64* size);

    void ReportProgress(int percent) const
    {
        if (m_progress)
            m_progress(percent);
    }

private:
    ProgressHandler m_progress;
    QSize m_sizeHint;
};

// A graphic class: a named factory of empty graphics. Classes are compared
// by identity, like class references.
struct TGraphicClassInfo {
    const char* name;
    std::unique_ptr<TGraphic> (*create)();
};
using TGraphicClass = const TGraphicClassInfo*;
