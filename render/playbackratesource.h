#pragma once
// Where the output commands read the sound playback rate text from, when it is not the
// speed box of the sound clip panel (tests give fixed texts).

#include <QString>

namespace vk {

class PlaybackRateSource {
public:
    virtual ~PlaybackRateSource() = default;

    virtual QString playbackRateText() const = 0;
};

} // namespace vk
