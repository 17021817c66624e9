#pragma once
// What the analysis workers (AnalysisWorker, ShotWorker) share: one job current at a
// time, run on a thread of its own (JobThreads), whose reports reach the worker object's
// own thread, through its event loop, only while the job is still the current one.
// Starting a job cancels the one before it: a cancelled job's signals are never emitted.

#include "media/analysis/jobthreads.h"

#include <QObject>

#include <functional>

namespace vk {

class JobWorker : public QObject {
    Q_OBJECT
public:
    // Cancels the running job, if any; it then reports nothing.
    void cancel();
    // True from the start of a job until its last report or cancel().
    bool isBusy() const { return m_busy; }
    quint64 currentJob() const { return m_job; }
    // Threads not yet ended: the current job's and those of cancelled jobs, which end
    // on their own soon after (at the next check of their cancel flag).
    int threadCount() const;

signals:
    // The share of the job done, 0..1.
    void progress(quint64 job, double fraction);

protected:
    explicit JobWorker(QObject* parent);
    ~JobWorker() override;

    // Starts a job and returns its number (counting from 1). The body runs on the job's
    // thread.
    quint64 startJob(std::function<void(quint64 job, const JobThreads::Flag& cancel)> body);
    // Runs fn on the worker object's thread while the job is current and not cancelled.
    // The check runs there, so it cannot race with the start of another job.
    void deliver(quint64 job, const JobThreads::Flag& cancel, std::function<void()> fn);
    // The job's last report: the worker is no longer busy and the job is whole.
    void finishJob(quint64 job);
    // Cancels every job and waits for its thread. A derived worker calls it first in its
    // destructor, as its jobs use its members.
    void stopJobs() { m_threads.stop(); }

private:
    quint64 m_job = 0;
    bool m_busy = false;
    JobThreads m_threads;
};

} // namespace vk
