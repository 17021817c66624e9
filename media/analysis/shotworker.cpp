#include "media/analysis/shotworker.h"

namespace vk {

ShotWorker::ShotWorker(QObject* parent) : ShotWorker(ShotCache(), parent) {}

ShotWorker::ShotWorker(const ShotCache& cache, QObject* parent) : QObject(parent), m_cache(cache)
{
    qRegisterMetaType<vk::ShotAnalysis>();
}

ShotWorker::~ShotWorker()
{
    m_threads.stop();
}

quint64 ShotWorker::start(const QStringList& paths)
{
    const quint64 job = ++m_job;
    m_busy = true;
    m_threads.start([this, job, paths](const JobThreads::Flag& cancel) { run(job, paths, cancel); });
    return job;
}

void ShotWorker::cancel()
{
    m_threads.cancel();
    m_busy = false;
}

void ShotWorker::run(quint64 job, const QStringList& paths, const JobThreads::Flag& cancel)
{
    auto deliver = [this, job, cancel](auto fn) {
        QMetaObject::invokeMethod(
            this,
            [this, job, cancel, fn]() {
                if (!cancel->load() && job == m_job)
                    fn();
            },
            Qt::QueuedConnection);
    };
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
                deliver([this, job, total]() { emit progress(job, total); });
            },
            &fromCache);
        if (cancel->load())
            break;
        auto shared = std::make_shared<ShotAnalysis>(std::move(a));
        const QString path = paths[i];
        deliver([this, job, i, path, shared, fromCache]() { emit fileFinished(job, i, path, *shared, fromCache); });
    }
    if (!cancel->load()) {
        deliver([this, job]() {
            m_busy = false;
            emit progress(job, 1.0);
            emit finished(job);
        });
    }
}

} // namespace vk
