// writer-check: the sync check T-VideoWrite runs after every render, on its
// own, for tests and for looking at a file by hand.
//
//   writer-check FILE FRAMES RATE [sound-only | picture-only]
//
// FRAMES is the number of pictures the file must hold (for sound-only files:
// the length of the range in frames), RATE the frame rate ("30", "29.97",
// "30000/1001"). Prints the check line; exit status 0 in sync, 3 out of sync
// or unreadable (as T-VideoWrite), 1 for bad arguments.

#include "writer/numbertext.h"
#include "writer/outputcheck.h"
#include "writer/outputformat.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: writer-check FILE FRAMES RATE [sound-only | picture-only]\n");
        return 1;
    }
    vk::OutputExpectation e;
    char* end = nullptr;
    e.frames = std::strtoll(argv[2], &end, 10);
    if (*end != '\0' || e.frames < 0) {
        std::fprintf(stderr, "writer-check: FRAMES is not a count: %s\n", argv[2]);
        return 1;
    }
    const std::string rate = argv[3];
    const auto slash = rate.find('/');
    if (slash != std::string::npos) {
        e.rateNum = std::atoi(rate.substr(0, slash).c_str());
        e.rateDen = std::atoi(rate.substr(slash + 1).c_str());
    } else if (double value = 0; vk::parseNumberText(rate, value) && value > 0) {
        const vk::FrameRate r = vk::frameRateFromValue(value);
        e.rateNum = r.num;
        e.rateDen = r.den;
    } else {
        e.rateNum = 0;
    }
    if (e.rateNum <= 0 || e.rateDen <= 0) {
        std::fprintf(stderr, "writer-check: RATE is not a frame rate: %s\n", argv[3]);
        return 1;
    }
    if (argc == 5) {
        const std::string kind = argv[4];
        if (kind == "sound-only")
            e.video = false;
        else if (kind == "picture-only")
            e.sound = false;
        else {
            std::fprintf(stderr, "writer-check: unknown kind: %s\n", argv[4]);
            return 1;
        }
    }
    const vk::OutputCheck c = vk::checkOutput(argv[1], e);
    std::printf("%s\n", c.line().c_str());
    for (const std::string& p : c.problems)
        std::printf("check failed: %s\n", p.c_str());
    return c.ok() ? 0 : 3;
}
