// Preloaded into T-VideoWrite by tests/writer/render_test.cpp: a source file that the
// user deletes at one exact moment of the render's start. Every open of the file named
// by VK_TEST_VANISH_PATH through libavformat (the writer's own probe and the engine's
// file producer alike, whatever name reaches the file) is counted on stderr as
// "vanish: open <n>"; right after the open numbered VK_TEST_VANISH_AT (from 1) has
// succeeded, the file is deleted, before the caller does anything with what it opened.
// Without VK_TEST_VANISH_AT nothing is deleted, and the count tells how many opens there
// are to choose from.

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using OpenFn = int (*)(void**, const char*, const void*, void**);

// The victim's real path, taken before anything can delete it.
const std::string& victim()
{
    static const std::string path = [] {
        const char* named = std::getenv("VK_TEST_VANISH_PATH");
        char resolved[PATH_MAX];
        return std::string(named && realpath(named, resolved) ? resolved : "");
    }();
    return path;
}

bool isVictim(const char* url)
{
    if (!url || victim().empty())
        return false;
    char resolved[PATH_MAX];
    return realpath(url, resolved) && victim() == resolved;
}

std::atomic<int> g_opens{0};

} // namespace

extern "C" int avformat_open_input(void** context, const char* url, const void* format, void** options)
{
    static const auto real = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "avformat_open_input"));
    static const int at = [] {
        const char* n = std::getenv("VK_TEST_VANISH_AT");
        return n ? std::atoi(n) : 0;
    }();
    const bool counted = isVictim(url);
    const int rc = real(context, url, format, options);
    if (counted && rc >= 0) {
        const int n = g_opens.fetch_add(1) + 1;
        std::fprintf(stderr, "vanish: open %d\n", n);
        if (n == at) {
            ::unlink(victim().c_str());
            std::fprintf(stderr, "vanish: deleted after open %d\n", n);
        }
    }
    return rc;
}
