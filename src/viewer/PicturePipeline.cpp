#include "PicturePipeline.h"

#include "viewer/common/FastShrink.h"
#include "decode/DisplayInfo.h"
#include "decode/FormatRegistry.h"
#include "decode/Picture.h"
#include "helper/HelperClient.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>
#include <mutex>
#include <shared_mutex>

DecodedPicturePtr DecodeForDisplay(const PictureRequest& request, const std::function<bool()>& cancelled)
{
    auto out = std::make_shared<DecodedPicture>();
    out->path = request.path;
    out->stamp = StampOf(request.path);
    out->area = request.Area();
    std::unique_ptr<TGraphic> graphic;
    for (;;) {
        const DecoderArrivals::Mark mark = DecoderArrivals::Now();
        std::shared_lock<std::shared_mutex> decoders(DecoderUseLock());
        TPicture picture;
        picture.SetSizeHint(out->area);
        picture.SetCancelHook(cancelled);
        const TPictureLoadResult result = LoadPictureReporting(request.path, picture);
        if (result.ok()) {
            graphic = picture.Release();
            break;
        }
        // No decoder yet: plug-ins still being added may read it. Waited
        // for without the lock, which their adding needs.
        const bool noDecoder =
            result.failure == TDecodeFailure::UnknownFormat || result.failure == TDecodeFailure::PluginFailed;
        if (noDecoder) {
            decoders.unlock();
            if (DecoderArrivals::AwaitSince(mark, cancelled))
                continue;
        }
        out->failure = result.failure;
        out->message = result.message;
        return out;
    }
    if (!graphic || graphic->Empty()) {
        out->failure = TDecodeFailure::DamagedData;
        return out;
    }
    const QImage pixels = graphic->ToImage();
    out->pixelSize = pixels.isNull() ? QSize(graphic->Width(), graphic->Height()) : pixels.size();
    if (!out->area.isEmpty() && !pixels.isNull() && !cancelled()) {
        // The shrink the control would do on the window thread, done here.
        FitInput fit = request.fit;
        fit.pictureWidth = graphic->Width();
        fit.pictureHeight = graphic->Height();
        const QSize shown = FitPictureRect(fit).size();
        if (!shown.isEmpty() && pixels.width() >= shown.width() && pixels.height() >= shown.height()
            && pixels.size() != shown)
            out->display = SmoothShrink(pixels, shown);
    }
    out->graphic = std::shared_ptr<const TGraphic>(std::move(graphic));
    return out;
}

PicturePipeline::PicturePipeline(QObject* parent, int threads) : QObject(parent)
{
    if (threads <= 0)
        threads = std::max(2, QThread::idealThreadCount());
    m_pool.setMaxThreadCount(threads);
    // Read on this thread once, so decoding threads need not ask the screen.
    decode::ScreenBitsPerPixel();
}

PicturePipeline::~PicturePipeline()
{
    CancelAll();
    m_pool.waitForDone();
}

DecodedPicturePtr PicturePipeline::Ready(const PictureRequest& request)
{
    return m_cache.Find(request.path, StampOf(request.path), request.Area());
}

void PicturePipeline::Cancel(const JobPtr& job)
{
    job->cancelled = true;
}

PicturePipeline::JobPtr PicturePipeline::Start(const PictureRequest& request, int priority, bool full)
{
    auto job = std::make_shared<Job>();
    job->request = request;
    job->full = full;
    m_pool.start(
        [this, job] {
            DecodedPicturePtr result;
            if (!job->cancelled) {
                job->started = true;
                ++m_started;
                // A plug-in in the helper process that no longer reports is
                // ended when the picture is not wanted any more.
                const helper::CancelScope cancellable(&job->cancelled);
                result = DecodeForDisplay(job->request, [job] { return job->cancelled.load(); });
            }
            QMetaObject::invokeMethod(
                this, [this, job, result] { Finished(job, result); }, Qt::QueuedConnection);
        },
        priority);
    return job;
}

void PicturePipeline::Want(const std::vector<PictureRequest>& shown, const std::vector<PictureRequest>& ahead)
{
    std::unordered_map<QString, JobPtr> kept;
    auto want = [&](const PictureRequest& request, int priority) {
        if (request.path.isEmpty() || kept.count(request.path))
            return;
        const auto running = m_jobs.find(request.path);
        if (running != m_jobs.end()) {
            const JobPtr& job = running->second;
            const bool sameArea = job->request.Area() == request.Area() || job->request.Area().isEmpty();
            // A queued job keeps the priority it was queued with: requeue it
            // when it is now wanted more urgently.
            const bool urgentButQueued = priority > 0 && !job->started;
            if (sameArea && !urgentButQueued && !job->cancelled) {
                kept[request.path] = job;
                return;
            }
        }
        if (m_cache.Find(request.path, StampOf(request.path), request.Area()))
            return;
        if (running != m_jobs.end())
            Cancel(running->second);
        kept[request.path] = Start(request, priority, false);
    };
    int priority = 100;
    for (const PictureRequest& request : shown)
        want(request, priority--);
    priority = 0;
    for (const PictureRequest& request : ahead)
        want(request, priority--);
    for (auto& [path, job] : m_jobs) {
        const auto it = kept.find(path);
        if (it == kept.end() || it->second != job) {
            Cancel(job);
            ++m_cancelled;
        }
    }
    m_jobs = std::move(kept);
}

void PicturePipeline::DecodeFull(const QString& path, std::function<void(DecodedPicturePtr)> done)
{
    if (DecodedPicturePtr held = m_cache.Find(path, StampOf(path), QSize())) {
        if (done)
            done(held);
        return;
    }
    auto running = m_fullJobs.find(path);
    if (running == m_fullJobs.end()) {
        PictureRequest request;
        request.path = path;
        running = m_fullJobs.emplace(path, Start(request, 200, true)).first;
    }
    if (done)
        running->second->waiters.push_back(std::move(done));
}

void PicturePipeline::CancelAll()
{
    for (auto& [path, job] : m_jobs)
        Cancel(job);
    for (auto& [path, job] : m_fullJobs)
        Cancel(job);
    m_cancelled += int(m_jobs.size() + m_fullJobs.size());
    m_jobs.clear();
    m_fullJobs.clear();
}

void PicturePipeline::WaitForIdle()
{
    m_pool.waitForDone();
    // Deliver what the workers posted before they stopped.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void PicturePipeline::Finished(const JobPtr& job, DecodedPicturePtr result)
{
    auto& jobs = job->full ? m_fullJobs : m_jobs;
    const auto it = jobs.find(job->request.path);
    if (it != jobs.end() && it->second == job)
        jobs.erase(it);
    const bool usable = result && result->failure != TDecodeFailure::Cancelled;
    if (usable)
        m_cache.Insert(result);
    for (auto& waiter : job->waiters)
        waiter(usable ? result : nullptr);
    if (usable && !job->full)
        emit pictureReady(result);
}
