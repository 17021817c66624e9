#pragma once
// The timeline document the editor writes (DirectShow Editing Services XTL
// form: timeline / group / track / clip / transition, times in seconds), read
// into plain values. Nothing here touches media or the render engine.

#include <string>
#include <vector>

namespace vk {

struct TimelineClip final {
    double start = 0; // seconds on the timeline
    double stop = 0;
    double mstart = 0; // seconds in the media
    double mstop = 0;
    std::string src;
    bool preserveAspect = false; // stretchmode="PreserveAspectRatio"
};

struct TimelineTransition final {
    double start = 0;
    double stop = 0;
    std::string clsid;
};

struct TimelineTrack final {
    std::vector<TimelineClip> clips;
    std::vector<TimelineTransition> transitions;
};

struct VideoGroup final {
    int width = 720;
    int height = 480;
    double frameRate = 30;
    int bitDepth = 24;
    std::vector<TimelineTrack> tracks; // lowest first; each one above the ones before
};

struct AudioGroup final {
    int samplingRate = 48000;
    std::vector<TimelineClip> clips; // the pieces of the sound clip
};

struct Timeline final {
    VideoGroup video;
    AudioGroup audio;
    bool hasAudioGroup = false;

    // End of the last clip, video or audio, in seconds.
    double duration() const;
};

// Reads the document; false with a reason (Japanese, shown to the user) when it is
// not a timeline, a time is not a number or beyond the editor's range, or a group
// gives a size, frame rate, bit depth or sampling rate no output can have. A group
// attribute left out keeps the default above.
bool readTimeline(const std::string& path, Timeline& out, std::string& error);
bool parseTimeline(const std::string& xmlText, Timeline& out, std::string& error);

} // namespace vk
