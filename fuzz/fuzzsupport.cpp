#include "fuzz/fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vk::fuzz {

std::string writeInput(const uint8_t* data, size_t size, const char* suffix)
{
    static std::string base;
    if (base.empty()) {
        const char* dir = std::getenv("TMPDIR");
        base = std::string(dir && *dir ? dir : "/tmp") + "/vk-fuzz-" + std::to_string(getpid());
    }
    const std::string path = base + suffix;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        fail("cannot write the input file");
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        fail("cannot write the input file");
    std::fclose(f);
    return path;
}

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz harness: %s\n", what);
    std::abort();
}

} // namespace vk::fuzz
