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

// Every decoding failure is raised as this error, carrying the message text.
class EGraphicError : public std::runtime_error {
public:
    explicit EGraphicError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
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

protected:
    void ReportProgress(int percent) const
    {
        if (m_progress)
            m_progress(percent);
    }

private:
    ProgressHandler m_progress;
};

// A graphic class: a named factory of empty graphics. Classes are compared
// by identity, like class references.
struct TGraphicClassInfo {
    const char* name;
    std::unique_ptr<TGraphic> (*create)();
};
using TGraphicClass = const TGraphicClassInfo*;
