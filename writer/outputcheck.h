#pragma once
// The check after every file render: the finished file is opened again and
// measured. The number of pictures must be the number the timeline's range
// gives, the sound must last as long as the pictures, and both streams must
// start together. Every figure may be off by at most one frame.
//
// It reads the container only (packets and their timestamps, no decoding), so
// that it measures what a player will be told: the edit list and sample
// durations of an MP4, the chunk sizes of PCM sound in an AVI.

#include <string>
#include <vector>

namespace vk {

struct OutputExpectation final {
    long long frames = 0; // pictures the range gives (0 for sound-only output)
    int rateNum = 30;     // frame rate of the output
    int rateDen = 1;
    bool video = true; // the file must have a picture stream
    bool sound = true; // ... and a sound stream
    double frameSeconds() const { return double(rateDen) / rateNum; }
    double seconds() const { return double(frames) * rateDen / rateNum; }
};

struct OutputMeasure final {
    bool opened = false;
    std::string openError; // why the file could not be read
    bool hasVideo = false;
    bool hasSound = false;
    long long frames = 0;      // picture packets
    double pictureSeconds = 0; // first picture's start to the last one's end
    double soundSeconds = 0;   // first sample to the last
    double videoStart = 0;     // presentation time of the first picture, seconds
    double soundStart = 0;     // ... of the first sample
    // A first sound block left out as the encoder's warm-up (WMA in ASF:
    // the container cannot mark it, the pictures start after it), seconds.
    double soundWarmUp = 0;
    // Such a container knows the sound's end only to a block (its packets
    // carry no exact length): the block's duration, 0 elsewhere.
    double soundBlock = 0;
    double offsetSeconds() const { return soundStart - videoStart; }
};

struct OutputCheck final {
    OutputExpectation expected;
    OutputMeasure measured;
    // Each figure that is off by more than one frame, as a short English note
    // ("frames 1770/1800", "sound 59.000 s against picture 60.000 s", ...).
    std::vector<std::string> problems;
    bool ok() const { return problems.empty(); }
    // "check: 1800/1800 frames, sound 60.000 s, picture 60.000 s, offset 0 ms"
    std::string line() const;
    // The same in Japanese for the completion message.
    std::string summaryJa() const;
};

// Reads the file's streams and packet timestamps.
OutputMeasure measureOutput(const std::string& path);

// Measures `path` and compares it with what the render was to give.
OutputCheck checkOutput(const std::string& path, const OutputExpectation& expected);

} // namespace vk
