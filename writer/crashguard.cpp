#include "writer/crashguard.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace vk {

namespace {

// Only what a signal handler may touch: fixed buffers, set before any crash can come.
char g_partPath[4096];
char g_folderPath[4096];

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes the folder `name` (in the folder `parentFd`) and what it holds, folders in it
// to `depth` more levels, by system calls alone. Entries are read again until a pass
// removes none, as removing while reading may skip some.
void removeFolder(int parentFd, const char* name, int depth)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(struct dirent64) char entries[4096];
        for (int pass = 0; pass < 8; ++pass) {
            bool removed = false;
            ::lseek(fd, 0, SEEK_SET);
            for (ssize_t n; (n = ::getdents64(fd, entries, sizeof entries)) > 0;) {
                for (ssize_t at = 0; at < n;) {
                    const auto* entry = reinterpret_cast<const struct dirent64*>(entries + at);
                    at += entry->d_reclen;
                    if (isDotOrDotDot(entry->d_name))
                        continue;
                    if (::unlinkat(fd, entry->d_name, 0) == 0) {
                        removed = true;
                    } else if (errno == EISDIR && depth > 0) {
                        removeFolder(fd, entry->d_name, depth - 1);
                        removed = true;
                    }
                }
            }
            if (!removed)
                break;
        }
        ::close(fd);
    }
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

extern "C" void cleanUpAndDie(int sig)
{
    const int savedErrno = errno;
    if (g_partPath[0] != '\0')
        ::unlink(g_partPath);
    if (g_folderPath[0] != '\0')
        removeFolder(AT_FDCWD, g_folderPath, 3);
    errno = savedErrno;
    // The handler was reset on entry (SA_RESETHAND): the signal now does what it
    // would have done without it.
    ::raise(sig);
}

void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = cleanUpAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        ::sigaction(sig, &action, nullptr);
}

// Copies `path` into `buffer` for the handler; false when it does not fit.
template <size_t N>
bool keep(char (&buffer)[N], const std::string& path)
{
    if (path.size() >= N)
        return false; // a path this long cannot be a file name here anyway
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

void guardPartFileOnCrash(const std::string& partPath)
{
    if (keep(g_partPath, partPath))
        installHandlers();
}

void guardPrivateFolderOnCrash(const std::string& folder)
{
    if (!folder.empty() && keep(g_folderPath, folder))
        installHandlers();
}

} // namespace vk
