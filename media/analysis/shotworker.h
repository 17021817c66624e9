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

#include "media/analysis/jobthreads.h"
#include "media/analysis/shotcache.h"

#include <QMetaType>
#include <QObject>
#include <QStringList>

namespace vk {

class ShotWorker : public QObject {
    Q_OBJECT
public:
    explicit ShotWorker(QObject* parent = nullptr);
    explicit ShotWorker(const ShotCache& cache, QObject* parent = nullptr);
    ~ShotWorker() override;

    quint64 start(const QStringList& paths);
    void cancel();
    bool isBusy() const { return m_busy; }
    quint64 currentJob() const { return m_job; }
    const ShotCache& cache() const { return m_cache; }

signals:
    // The share of the job done, 0..1 (files weigh alike).
    void progress(quint64 job, double fraction);
    void fileFinished(quint64 job, int index, const QString& path, const vk::ShotAnalysis& analysis, bool fromCache);
    void finished(quint64 job);

private:
    void run(quint64 job, const QStringList& paths, const JobThreads::Flag& cancel);

    ShotCache m_cache;
    quint64 m_job = 0;
    bool m_busy = false;
    JobThreads m_threads; // last: its threads use the members above
};

} // namespace vk

Q_DECLARE_METATYPE(vk::ShotAnalysis)
