#include "media/analysis/analysisworker.h"

namespace vk {

AnalysisWorker::AnalysisWorker(QObject* parent) : AnalysisWorker(AnalysisCache(), parent) {}

AnalysisWorker::AnalysisWorker(const AnalysisCache& cache, QObject* parent) : QObject(parent), m_cache(cache)
{
    qRegisterMetaType<vk::AudioAnalysis>();
}

AnalysisWorker::~AnalysisWorker()
{
    m_threads.stop();
}

quint64 AnalysisWorker::start(const QString& path)
{
    const quint64 job = ++m_job;
    m_busy = true;
    m_threads.start([this, job, path](const JobThreads::Flag& cancel) { run(job, path, cancel); });
    return job;
}

void AnalysisWorker::cancel()
{
    m_threads.cancel();
    m_busy = false;
}

int AnalysisWorker::threadCount() const
{
    return m_threads.running();
}

void AnalysisWorker::run(quint64 job, const QString& path, const JobThreads::Flag& cancel)
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
}

} // namespace vk
