// Preloaded into T-VideoWrite by tests/writer/render_test.cpp: gives the engine's file
// writer thread the head start a busy machine gives it by chance. A thread
// started from the engine's avformat module (its only thread is the writer's)
// runs on its own first: the code that created it is held until the thread has
// ended or WAIT_MS have passed. The writer thread must cope with the code that
// started it being that late.

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr long kWaitMs = 1500;

using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

struct Start {
    void* (*routine)(void*) = nullptr;
    void* arg = nullptr;
    sem_t ended;
    std::atomic<int> refs{2};
};

void release(Start* s)
{
    if (s->refs.fetch_sub(1) == 1) {
        sem_destroy(&s->ended);
        delete s;
    }
}

void* trampoline(void* p)
{
    auto* s = static_cast<Start*>(p);
    void* result = s->routine(s->arg);
    sem_post(&s->ended);
    release(s);
    return result;
}

bool fromWriterModule(void* (*routine)(void*))
{
    Dl_info info;
    return dladdr(reinterpret_cast<void*>(routine), &info) != 0 && info.dli_fname &&
           std::strstr(info.dli_fname, "mltavformat") != nullptr;
}

} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*), void* arg)
{
    static const auto real = reinterpret_cast<CreateFn>(dlsym(RTLD_NEXT, "pthread_create"));
    if (!fromWriterModule(routine))
        return real(thread, attr, routine, arg);
    auto* s = new Start;
    s->routine = routine;
    s->arg = arg;
    sem_init(&s->ended, 0, 0);
    const int rc = real(thread, attr, trampoline, s);
    if (rc != 0) {
        sem_destroy(&s->ended);
        delete s;
        return rc;
    }
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += kWaitMs / 1000;
    until.tv_nsec += (kWaitMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (sem_timedwait(&s->ended, &until) != 0 && errno == EINTR) {
    }
    release(s);
    return 0;
}
