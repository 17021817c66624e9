#include "media/analysis/jobworker.h"

namespace vk {

JobWorker::JobWorker(QObject* parent) : QObject(parent) {}

JobWorker::~JobWorker()
{
    m_threads.stop();
}

quint64 JobWorker::startJob(std::function<void(quint64 job, const JobThreads::Flag& cancel)> body)
{
    const quint64 job = ++m_job;
    m_busy = true;
    m_threads.start([job, body = std::move(body)](const JobThreads::Flag& cancel) { body(job, cancel); });
    return job;
}

void JobWorker::cancel()
{
    m_threads.cancel();
    m_busy = false;
}

int JobWorker::threadCount() const
{
    return m_threads.running();
}

void JobWorker::deliver(quint64 job, const JobThreads::Flag& cancel, std::function<void()> fn)
{
    QMetaObject::invokeMethod(
        this,
        [this, job, cancel, fn = std::move(fn)]() {
            if (!cancel->load() && job == m_job)
                fn();
        },
        Qt::QueuedConnection);
}

void JobWorker::finishJob(quint64 job)
{
    m_busy = false;
    emit progress(job, 1.0);
}

} // namespace vk
