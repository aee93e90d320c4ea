#pragma once
// The pictures of the page on screen, as the view waits for them: asks the
// pipeline for them (and for the pages around, to prefetch), reports each
// slot as soon as its picture is there, and tells when the page has been
// waited for long enough to show that the program is busy. No widgets: the
// view decides what a report looks like on screen.
#include "viewer/PicturePipeline.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <vector>

// One slot of a page: the picture file (empty: nothing to show) and how it
// is fitted.
struct ShownSlot {
    QString path;
    FitInput fit;
};

class PageLoader : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 2;
    // How long a page may be waited for before the view shows it is busy.
    static constexpr int kBusyDelayMs = 300;

    explicit PageLoader(PicturePipeline& pipeline, QObject* parent = nullptr);

    // Starts showing a page. A slot whose picture is ready is reported at
    // once, inside this call; the others when their picture is decoded.
    // Slots with an empty area are left waiting, not decoded, until the
    // page is shown again with its area known. `ahead` is prefetched.
    void ShowPage(const std::vector<ShownSlot>& pageSlots, const std::vector<PictureRequest>& ahead);
    // Forgets the page and cancels its work; nothing more is reported.
    void Clear();

    // True while some slot of the page has not been reported.
    bool Waiting() const;
    bool Busy() const { return m_busy; }
    PicturePipeline& Pipeline() { return m_pipeline; }

signals:
    // The slot's picture, decoded or failed (see DecodedPicture::failure).
    void slotReady(int slot, DecodedPicturePtr picture);
    // True once the page has been waited for kBusyDelayMs, false when done.
    void busyChanged(bool busy);

private:
    void PictureReady(const DecodedPicturePtr& picture);
    void SetBusy(bool busy);
    void Settle();

    PicturePipeline& m_pipeline;
    std::array<PictureRequest, kSlots> m_waiting; // path empty: nothing awaited
    QTimer m_busyTimer;
    bool m_busy = false;
};
