#pragma once
// A holder that owns at most one graphic (one per picture slot).
#include "Graphic.h"

#include <functional>
#include <memory>

class TPicture {
public:
    using ChangeHandler = std::function<void()>;

    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Loads the file through the format registry. On failure raises
    // EGraphicError and keeps the graphic it had.
    void LoadFromFile(const QString& fileName);

    // Frees the graphic (the picture becomes empty) and reports a change.
    void Clear();
    // Takes ownership of a graphic and reports a change.
    void Assign(std::unique_ptr<TGraphic> graphic);

    TGraphic* Graphic() const { return m_graphic.get(); }
    // Hands the graphic over; the picture becomes empty (no change reported).
    std::unique_ptr<TGraphic> Release() { return std::move(m_graphic); }
    int Width() const { return m_graphic ? m_graphic->Width() : 0; }
    int Height() const { return m_graphic ? m_graphic->Height() : 0; }
    bool Empty() const { return !m_graphic || m_graphic->Empty(); }

    void SetChangeHandler(ChangeHandler handler) { m_onChange = std::move(handler); }
    void SetProgressHandler(TGraphic::ProgressHandler handler) { m_onProgress = std::move(handler); }
    // Passed to the next graphic loaded (see TGraphic::SetSizeHint).
    void SetSizeHint(const QSize& area) { m_sizeHint = area; }
    // Asked at every progress report of a load; when it answers true the
    // load is stopped and fails as cancelled (a plug-in is told through its
    // progress callback).
    void SetCancelHook(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    bool CancelRequested() const { return m_cancelled && m_cancelled(); }

private:
    std::unique_ptr<TGraphic> m_graphic;
    ChangeHandler m_onChange;
    TGraphic::ProgressHandler m_onProgress;
    std::function<bool()> m_cancelled;
    QSize m_sizeHint;
};

// The outcome of a load: failure None on success, else the reason and the
// decoder's message.
struct TPictureLoadResult {
    TDecodeFailure failure = TDecodeFailure::None;
    QString message;
    bool ok() const { return failure == TDecodeFailure::None; }
};

// Loads the file into the picture and tells why it failed; never raises.
TPictureLoadResult LoadPictureReporting(const QString& path, TPicture& picture);

// Loads the file into the picture; every failure gives false, no message.
bool LoadPictureSafe(const QString& path, TPicture& picture);
