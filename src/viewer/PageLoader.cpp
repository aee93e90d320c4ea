#include "PageLoader.h"

PageLoader::PageLoader(PicturePipeline& pipeline, QObject* parent) : QObject(parent), m_pipeline(pipeline)
{
    m_busyTimer.setSingleShot(true);
    m_busyTimer.setInterval(kBusyDelayMs);
    connect(&m_busyTimer, &QTimer::timeout, this, [this] { SetBusy(true); });
    connect(&m_pipeline, &PicturePipeline::pictureReady, this, &PageLoader::PictureReady);
}

bool PageLoader::Waiting() const
{
    for (const PictureRequest& request : m_waiting) {
        if (!request.path.isEmpty())
            return true;
    }
    return false;
}

void PageLoader::ShowPage(const std::vector<ShownSlot>& pageSlots, const std::vector<PictureRequest>& ahead)
{
    std::vector<PictureRequest> wanted;
    std::vector<int> readySlots;
    std::array<DecodedPicturePtr, kSlots> ready;
    for (int slot = 0; slot < kSlots; ++slot) {
        PictureRequest& waiting = m_waiting[size_t(slot)];
        waiting = PictureRequest();
        if (slot >= int(pageSlots.size()) || pageSlots[size_t(slot)].path.isEmpty())
            continue;
        waiting.path = pageSlots[size_t(slot)].path;
        waiting.fit = pageSlots[size_t(slot)].fit;
        if (waiting.Area().isEmpty())
            continue; // not laid out yet: asked for once it is
        if (DecodedPicturePtr picture = m_pipeline.Ready(waiting)) {
            ready[size_t(slot)] = picture;
            readySlots.push_back(slot);
        } else {
            wanted.push_back(waiting);
        }
    }
    for (int slot : readySlots)
        m_waiting[size_t(slot)] = PictureRequest();
    // Pictures for an area not known yet would be decoded at full size for
    // nothing: prefetching waits for the layout too.
    std::vector<PictureRequest> prefetch;
    for (const PictureRequest& request : ahead) {
        if (!request.Area().isEmpty())
            prefetch.push_back(request);
    }
    m_pipeline.Want(wanted, prefetch);
    for (int slot : readySlots)
        emit slotReady(slot, ready[size_t(slot)]);
    Settle();
    if (!wanted.empty() && !m_busy && !m_busyTimer.isActive())
        m_busyTimer.start();
}

void PageLoader::Clear()
{
    m_waiting = {};
    m_pipeline.Want({}, {});
    Settle();
}

void PageLoader::PictureReady(const DecodedPicturePtr& picture)
{
    for (int slot = 0; slot < kSlots; ++slot) {
        PictureRequest& waiting = m_waiting[size_t(slot)];
        if (waiting.path.isEmpty() || waiting.path != picture->path || waiting.Area().isEmpty()
            || !picture->Covers(waiting.Area()))
            continue;
        waiting = PictureRequest();
        emit slotReady(slot, picture);
    }
    Settle();
}

void PageLoader::Settle()
{
    bool requested = false;
    for (const PictureRequest& request : m_waiting)
        requested = requested || (!request.path.isEmpty() && !request.Area().isEmpty());
    if (!requested) {
        m_busyTimer.stop();
        SetBusy(false);
    }
}

void PageLoader::SetBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}
