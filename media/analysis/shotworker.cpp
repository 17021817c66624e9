#include "media/analysis/shotworker.h"

namespace vk {

ShotWorker::ShotWorker(QObject* parent) : ShotWorker(ShotCache(), parent) {}

ShotWorker::ShotWorker(const ShotCache& cache, QObject* parent) : JobWorker(parent), m_cache(cache)
{
    qRegisterMetaType<vk::ShotAnalysis>();
}

ShotWorker::~ShotWorker()
{
    stopJobs();
}

quint64 ShotWorker::start(const QStringList& paths)
{
    return startJob([this, paths](quint64 job, const JobThreads::Flag& cancel) { run(job, paths, cancel); });
}

void ShotWorker::run(quint64 job, const QStringList& paths, const JobThreads::Flag& cancel)
{
    const int n = int(paths.size());
    for (int i = 0; i < n && !cancel->load(); ++i) {
        int lastPercent = -1;
        bool fromCache = false;
        ShotAnalysis a = cachedShotAnalysis(
            m_cache, paths[i], cancel.get(),
            [&](double f) {
                const double total = (i + f) / n;
                const int percent = int(total * 100.0);
                if (percent == lastPercent)
                    return;
                lastPercent = percent;
                deliver(job, cancel, [this, job, total]() { emit progress(job, total); });
            },
            &fromCache);
        if (cancel->load())
            break;
        auto shared = std::make_shared<ShotAnalysis>(std::move(a));
        const QString path = paths[i];
        deliver(job, cancel,
                [this, job, i, path, shared, fromCache]() { emit fileFinished(job, i, path, *shared, fromCache); });
    }
    if (!cancel->load()) {
        deliver(job, cancel, [this, job]() {
            finishJob(job);
            emit finished(job);
        });
    }
}

} // namespace vk
