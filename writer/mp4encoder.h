#pragma once
// Writes an MP4 file (H.264 pictures, AAC sound) from the rendered frames,
// with libavformat and libavcodec directly.
//
// The pictures come in planar 4:2:0 at the output size, the sound in planar
// float at the output rate, both in step with the pictures. A picture's
// planes are handed over with a release callback, so that they are not copied
// on their way to x264 (which copies them into its own frames when it takes
// them). The sound is cut to end with the last picture: the encoder gets
// exactly the samples of the pictures' time, the last block shortened.

#include "writer/outputformat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vk {

// One 4:2:0 picture at the output size. `release(owner)` is called exactly
// once, when the encoder no longer needs the planes (it may be before
// addPicture returns, and it is also called when addPicture fails).
struct Picture420 final {
    uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int strides[3] = {0, 0, 0};
    void (*release)(void* owner) = nullptr;
    void* owner = nullptr;
};

class Mp4Encoder final {
public:
    Mp4Encoder();
    ~Mp4Encoder(); // a file not finished is closed as it is (the caller removes it)
    Mp4Encoder(const Mp4Encoder&) = delete;
    Mp4Encoder& operator=(const Mp4Encoder&) = delete;

    // Creates `path` and opens both encoders with the output's settings
    // (size, rate, pixel shape, constant rate factor, preset, sound rate,
    // channels, bit rate, muxer flags).
    bool open(const std::string& path, const OutputSettings& output, std::string& error);

    // The next picture; its time is its number (one frame each).
    bool addPicture(const Picture420& picture, std::string& error);

    // Sound: `channels` planes of `samples` float samples each (the output's
    // channel count).
    bool addSound(const float* const* planes, int samples, std::string& error);

    // Encodes what is still waiting, drains both encoders and writes the
    // index (in front of the media data with "+faststart").
    bool finish(std::string& error);

    long long picturesWritten() const;

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace vk
