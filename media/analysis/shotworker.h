#pragma once
// Runs shot analyses on a thread of their own, one file after another, through the shot
// cache; the pattern of AnalysisWorker:
//
//   auto* worker = new vk::ShotWorker(this);
//   connect(worker, &vk::ShotWorker::fileFinished, ...); // each file's analysis
//   connect(worker, &vk::ShotWorker::finished, ...);     // after the last one
//   worker->start({path});
//
// start() cancels the job before it: a cancelled job's signals are never emitted. All
// signals are emitted on the worker object's own thread. Destroying the worker cancels
// the running job and waits for its thread.

#include "media/analysis/jobworker.h"
#include "media/analysis/shotcache.h"

#include <QMetaType>
#include <QStringList>

namespace vk {

class ShotWorker : public JobWorker {
    Q_OBJECT
public:
    explicit ShotWorker(QObject* parent = nullptr);
    explicit ShotWorker(const ShotCache& cache, QObject* parent = nullptr);
    ~ShotWorker() override;

    // Starts analysing the files, one after another (they weigh alike in the progress).
    quint64 start(const QStringList& paths);
    const ShotCache& cache() const { return m_cache; }

signals:
    void fileFinished(quint64 job, int index, const QString& path, const vk::ShotAnalysis& analysis, bool fromCache);
    void finished(quint64 job);

private:
    void run(quint64 job, const QStringList& paths, const JobThreads::Flag& cancel);

    ShotCache m_cache;
};

} // namespace vk

Q_DECLARE_METATYPE(vk::ShotAnalysis)
