#include "media/analysis/jobthreads.h"

namespace vk {

JobThreads::~JobThreads()
{
    stop();
}

void JobThreads::start(std::function<void(const Flag& cancel)> body)
{
    cancel();
    reapFinished();
    Job j;
    j.cancel = std::make_shared<std::atomic<bool>>(false);
    j.done = std::make_shared<std::atomic<bool>>(false);
    j.thread = std::thread([body = std::move(body), cancel = j.cancel, done = j.done]() {
        body(cancel);
        done->store(true);
    });
    m_jobs.push_back(std::move(j));
}

void JobThreads::cancel()
{
    for (Job& j : m_jobs)
        j.cancel->store(true);
}

void JobThreads::stop()
{
    cancel();
    for (Job& j : m_jobs)
        if (j.thread.joinable())
            j.thread.join();
    m_jobs.clear();
}

int JobThreads::running() const
{
    int n = 0;
    for (const Job& j : m_jobs)
        n += j.done->load() ? 0 : 1;
    return n;
}

void JobThreads::reapFinished()
{
    // A cancelled job's thread ends on its own soon after; it is joined here once it
    // has, so the owner never waits for one.
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace vk
