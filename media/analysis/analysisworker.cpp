#include "media/analysis/analysisworker.h"

namespace vk {

AnalysisWorker::AnalysisWorker(QObject* parent) : AnalysisWorker(AnalysisCache(), parent) {}

AnalysisWorker::AnalysisWorker(const AnalysisCache& cache, QObject* parent) : JobWorker(parent), m_cache(cache)
{
    qRegisterMetaType<vk::AudioAnalysis>();
}

AnalysisWorker::~AnalysisWorker()
{
    stopJobs();
}

quint64 AnalysisWorker::start(const QString& path)
{
    return startJob([this, path](quint64 job, const JobThreads::Flag& cancel) { run(job, path, cancel); });
}

void AnalysisWorker::run(quint64 job, const QString& path, const JobThreads::Flag& cancel)
{
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
            deliver(job, cancel, [this, job, f]() { emit progress(job, f); });
        });
        if (!cancel->load())
            m_cache.store(key, result);
    }
    if (!cancel->load()) {
        auto shared = std::make_shared<AudioAnalysis>(std::move(result));
        deliver(job, cancel, [this, job, path, shared, fromCache]() {
            finishJob(job);
            emit finished(job, path, *shared, fromCache);
        });
    }
}

} // namespace vk
