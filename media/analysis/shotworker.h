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

#include "media/analysis/shotcache.h"

#include <QMetaType>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

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
    struct Job {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> cancel;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void run(quint64 job, QStringList paths, std::shared_ptr<std::atomic<bool>> cancel,
             std::shared_ptr<std::atomic<bool>> done);
    void reapFinishedThreads();

    ShotCache m_cache;
    std::vector<Job> m_jobs;
    quint64 m_job = 0;
    bool m_busy = false;
};

} // namespace vk

Q_DECLARE_METATYPE(vk::ShotAnalysis)
