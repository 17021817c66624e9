#pragma once
// The threads of a worker's cancellable jobs, one job current at a time:
//
//   JobThreads m_threads;
//   m_threads.start([this, job](const JobThreads::Flag& cancel) { ... });
//
// start() cancels the jobs before it and runs the new one on a thread of its own. A
// job watches its cancel flag and returns soon after it is set; the flag is shared, so
// what the job has queued for the owner's event loop can still check it after the
// thread has ended. Finished threads are joined at the next start(), so the owner never
// waits for a cancelled job; destroying the object cancels every job and waits for all.
// Used on the owner's thread only.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace vk {

class JobThreads {
public:
    using Flag = std::shared_ptr<std::atomic<bool>>;

    JobThreads() = default;
    JobThreads(const JobThreads&) = delete;
    JobThreads& operator=(const JobThreads&) = delete;
    ~JobThreads();

    void start(std::function<void(const Flag& cancel)> body);
    // Sets every job's cancel flag.
    void cancel();
    // Cancels every job and waits for its thread.
    void stop();
    // Threads not yet ended: the current job's and those of cancelled jobs.
    int running() const;

private:
    struct Job {
        std::thread thread;
        Flag cancel;
        Flag done;
    };
    void reapFinished();

    std::vector<Job> m_jobs;
};

} // namespace vk
