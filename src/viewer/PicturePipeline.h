#pragma once
// Decodes pictures on worker threads for the views: the pictures shown now
// first, then the ones likely shown next (prefetched into the cache). A
// picture nobody wants any more is cancelled, queued or running. Results
// come back on the thread that owns the pipeline (the window thread), in
// pictureReady; the pipeline never blocks that thread while decoding.
#include "viewer/FitPicture.h"
#include "viewer/PictureCache.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

// One picture a view wants: the file and how it will be fitted (the area
// and fit options; the picture's own size is filled in once known). An
// empty area asks for the full picture.
struct PictureRequest {
    QString path;
    FitInput fit;
    QSize Area() const { return QSize(fit.areaWidth, fit.areaHeight); }
};

// Decodes one picture for showing: a reduced decode where the decoder can
// (JPEG), the pixels shrunk to the fitted size, and the reason of a
// failure. Runs on any thread; `cancelled` is asked while decoding.
DecodedPicturePtr DecodeForDisplay(const PictureRequest& request, const std::function<bool()>& cancelled);

class PicturePipeline : public QObject {
    Q_OBJECT
public:
    // threads 0: as many as the machine has cores, at least two.
    explicit PicturePipeline(QObject* parent = nullptr, int threads = 0);
    // Cancels all work and waits for the workers to stop.
    ~PicturePipeline() override;

    PictureCache& Cache() { return m_cache; }

    // The picture from the cache when it is there for the file as it is now.
    DecodedPicturePtr Ready(const PictureRequest& request);

    // Sets what is wanted: `shown` (decoded first, in order) and `ahead`
    // (prefetched after them). Cached pictures are not decoded again; a
    // picture already being decoded for the same area is not started
    // twice; every other job is cancelled.
    void Want(const std::vector<PictureRequest>& shown, const std::vector<PictureRequest>& ahead);

    // Decodes the picture at full size (when only a reduced one is held)
    // and calls `done` on this thread with it. Not cancelled by Want.
    void DecodeFull(const QString& path, std::function<void(DecodedPicturePtr)> done);

    // Cancels every job (a plug-in is told through its progress callback).
    void CancelAll();
    // Blocks until no job runs or waits; results already delivered.
    // Meant for shutdown and tests.
    void WaitForIdle();

    // Jobs queued or running.
    int Pending() const { return int(m_jobs.size() + m_fullJobs.size()); }
    // Decodes that reached the decoder (a cancelled job that never started
    // does not count), and those stopped by a cancel.
    int DecodesStarted() const { return m_started.load(); }
    int DecodesCancelled() const { return m_cancelled; }

signals:
    // A picture finished decoding (or failed for a reason other than a
    // cancel); it is in the cache unless too large for it.
    void pictureReady(DecodedPicturePtr picture);

private:
    struct Job {
        PictureRequest request;
        bool full = false;
        std::atomic<bool> cancelled{false};
        std::atomic<bool> started{false};
        std::vector<std::function<void(DecodedPicturePtr)>> waiters;
    };
    using JobPtr = std::shared_ptr<Job>;

    JobPtr Start(const PictureRequest& request, int priority, bool full);
    void Finished(const JobPtr& job, DecodedPicturePtr result);
    static void Cancel(const JobPtr& job);

    PictureCache m_cache;
    QThreadPool m_pool;
    std::unordered_map<QString, JobPtr> m_jobs; // display decodes by path
    std::unordered_map<QString, JobPtr> m_fullJobs; // full-size decodes by path
    std::atomic<int> m_started{0};
    int m_cancelled = 0;
};
