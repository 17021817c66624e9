#include "media/analysis/analysisworker.h"

namespace vk {

AnalysisWorker::AnalysisWorker(QObject* parent) : AnalysisWorker(AnalysisCache(), parent) {}

AnalysisWorker::AnalysisWorker(const AnalysisCache& cache, QObject* parent) : QObject(parent), m_cache(cache)
{
    qRegisterMetaType<vk::AudioAnalysis>();
}

AnalysisWorker::~AnalysisWorker()
{
    for (Job& j : m_jobs) {
        j.cancel->store(true);
        if (j.thread.joinable())
            j.thread.join();
    }
}

quint64 AnalysisWorker::start(const QString& path)
{
    cancel();
    reapFinishedThreads();
    const quint64 job = ++m_job;
    m_busy = true;
    Job j;
    j.cancel = std::make_shared<std::atomic<bool>>(false);
    j.done = std::make_shared<std::atomic<bool>>(false);
    j.thread = std::thread(&AnalysisWorker::run, this, job, path, j.cancel, j.done);
    m_jobs.push_back(std::move(j));
    return job;
}

void AnalysisWorker::cancel()
{
    for (Job& j : m_jobs)
        j.cancel->store(true);
    m_busy = false;
}

int AnalysisWorker::threadCount() const
{
    int n = 0;
    for (const Job& j : m_jobs)
        n += j.done->load() ? 0 : 1;
    return n;
}

void AnalysisWorker::reapFinishedThreads()
{
    // A cancelled job's thread ends on its own soon after; it is joined here once it
    // has, so the window never waits for one.
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void AnalysisWorker::run(quint64 job, QString path, std::shared_ptr<std::atomic<bool>> cancel,
                         std::shared_ptr<std::atomic<bool>> done)
{
    // Signals go out through the owner's event loop, and only while the job is still the
    // current one; the check runs there, so it cannot race with start().
    auto deliver = [this, job, cancel](auto fn) {
        QMetaObject::invokeMethod(
            this,
            [this, job, cancel, fn]() {
                if (!cancel->load() && job == m_job)
                    fn();
            },
            Qt::QueuedConnection);
    };

    const QByteArray key = AnalysisCache::contentKey(path);
    std::optional<AudioAnalysis> cached = m_cache.load(key);
    bool fromCache = bool(cached);
    AudioAnalysis result;
    if (cached) {
        result = std::move(*cached);
    } else {
        int lastPercent = -1;
        result = analyseFile(path, cancel.get(), [&](double f) {
            const int percent = int(f * 100.0);
            if (percent == lastPercent)
                return;
            lastPercent = percent;
            deliver([this, job, f]() { emit progress(job, f); });
        });
        if (!cancel->load())
            m_cache.store(key, result);
    }
    if (!cancel->load()) {
        auto shared = std::make_shared<AudioAnalysis>(std::move(result));
        deliver([this, job, path, shared, fromCache]() {
            m_busy = false;
            emit progress(job, 1.0);
            emit finished(job, path, *shared, fromCache);
        });
    }
    done->store(true);
}

} // namespace vk
