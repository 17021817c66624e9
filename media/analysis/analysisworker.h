#pragma once
// Runs the analysis of a sound clip on a thread of its own, so the window and the taps
// never wait for it. Owned by a window (or any QObject in a thread with an event loop):
//
//   auto* worker = new vk::AnalysisWorker(this);
//   connect(worker, &vk::AnalysisWorker::progress, ...);   // fraction 0..1
//   connect(worker, &vk::AnalysisWorker::finished, ...);   // the analysis, on this thread
//   worker->start(path);                                   // on every clip load
//
// start() cancels the job before it: a cancelled job's signals are never emitted, so
// only the clip loaded last reports. Both signals are emitted on the worker object's own
// thread, from its event loop. A clip analysed before comes from the cache at once
// (finished's fromCache is then true); a fresh analysis is stored there when it ends.
// Destroying the worker cancels the running job and waits for its thread.

#include "media/analysis/analysiscache.h"
#include "media/analysis/beatanalysis.h"
#include "media/analysis/jobworker.h"

#include <QMetaType>
#include <QString>

namespace vk {

class AnalysisWorker : public JobWorker {
    Q_OBJECT
public:
    explicit AnalysisWorker(QObject* parent = nullptr);
    // With a cache of its own (tests, or a cache folder other than the user's).
    explicit AnalysisWorker(const AnalysisCache& cache, QObject* parent = nullptr);
    ~AnalysisWorker() override;

    // Starts analysing `path` and returns the new job's number (counting from 1).
    quint64 start(const QString& path);

signals:
    // reason on analysis tells why there are no beats, when there are none.
    void finished(quint64 job, const QString& path, const vk::AudioAnalysis& analysis, bool fromCache);

private:
    void run(quint64 job, const QString& path, const JobThreads::Flag& cancel);

    AnalysisCache m_cache;
};

} // namespace vk

Q_DECLARE_METATYPE(vk::AudioAnalysis)
