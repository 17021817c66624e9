#include "media/analysis/shotworker.h"

namespace vk {

ShotWorker::ShotWorker(QObject* parent) : ShotWorker(ShotCache(), parent) {}

ShotWorker::ShotWorker(const ShotCache& cache, QObject* parent) : QObject(parent), m_cache(cache)
{
    qRegisterMetaType<vk::ShotAnalysis>();
}

ShotWorker::~ShotWorker()
{
    for (Job& j : m_jobs) {
        j.cancel->store(true);
        if (j.thread.joinable())
            j.thread.join();
    }
}

quint64 ShotWorker::start(const QStringList& paths)
{
    cancel();
    reapFinishedThreads();
    const quint64 job = ++m_job;
    m_busy = true;
    Job j;
    j.cancel = std::make_shared<std::atomic<bool>>(false);
    j.done = std::make_shared<std::atomic<bool>>(false);
    j.thread = std::thread(&ShotWorker::run, this, job, paths, j.cancel, j.done);
    m_jobs.push_back(std::move(j));
    return job;
}

void ShotWorker::cancel()
{
    for (Job& j : m_jobs)
        j.cancel->store(true);
    m_busy = false;
}

void ShotWorker::reapFinishedThreads()
{
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void ShotWorker::run(quint64 job, QStringList paths, std::shared_ptr<std::atomic<bool>> cancel,
                     std::shared_ptr<std::atomic<bool>> done)
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
    done->store(true);
}

} // namespace vk
