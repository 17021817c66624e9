#include "writer/crashguard.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace vk {

namespace {

// Only what a signal handler may touch: a fixed buffer, set before any crash can come.
char g_partPath[4096];

extern "C" void removePartAndDie(int sig)
{
    if (g_partPath[0] != '\0')
        ::unlink(g_partPath);
    // The handler was reset on entry (SA_RESETHAND): the signal now does what it
    // would have done without it.
    ::raise(sig);
}

} // namespace

void guardPartFileOnCrash(const std::string& partPath)
{
    static bool installed = false;
    if (partPath.size() >= sizeof g_partPath)
        return; // a path this long cannot be a file name here anyway
    std::memcpy(g_partPath, partPath.c_str(), partPath.size() + 1);
    if (installed)
        return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = removePartAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        ::sigaction(sig, &action, nullptr);
}

} // namespace vk
