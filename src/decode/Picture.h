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
    int Width() const { return m_graphic ? m_graphic->Width() : 0; }
    int Height() const { return m_graphic ? m_graphic->Height() : 0; }
    bool Empty() const { return !m_graphic || m_graphic->Empty(); }

    void SetChangeHandler(ChangeHandler handler) { m_onChange = std::move(handler); }
    void SetProgressHandler(TGraphic::ProgressHandler handler) { m_onProgress = std::move(handler); }

private:
    std::unique_ptr<TGraphic> m_graphic;
    ChangeHandler m_onChange;
    TGraphic::ProgressHandler m_onProgress;
};

// Loads the file into the picture; every failure gives false, no message.
bool LoadPictureSafe(const QString& path, TPicture& picture);

