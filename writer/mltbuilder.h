#pragma once
// Translates a timeline document into the render engine's own timeline, as
// MLT XML text: one black background track, one playlist per video track
// (lowest first, each higher one on top), the transitions between a track and
// the one below it, and one sound track made of the pieces of the sound clip.
// The text is loaded with the engine's xml-string producer and can be saved
// for inspection or replayed with melt.

#include "writer/outputformat.h"
#include "writer/timelinereader.h"
#include "writer/transitionstyle.h"

#include <functional>
#include <set>
#include <string>

namespace vk {

struct SourceInfo final {
    bool ok = false;    // the engine can open it
    bool still = false; // a picture rather than a moving video
    int width = 0;      // picture size in pixels, 0 when unknown
    int height = 0;
    // The container seeks by presentation time (the mp4/mov family): a seek
    // lands on the key frame at or before the wanted picture, so the engine's
    // two-second decoding run-up before every seek is not needed.
    bool seeksByPresentationTime = false;
    // Pictures per second of the video, 0 when unknown.
    double frameRate = 0;
    // Length in seconds, 0 when unknown.
    double seconds = 0;
};

// Looks up what the engine knows of a source file.
using MediaLookup = std::function<SourceInfo(const std::string& src)>;

// True for the picture extensions handled as stills (png, jpg, jpeg, bmp, gif).
bool isStillImagePath(const std::string& path);

struct FrameRange final {
    long long in = 0;  // first frame rendered
    long long out = 0; // last frame rendered (inclusive)
    long long count() const { return out - in + 1; }
};

// The frames of StartPoint..EndPoint (timeline milliseconds). An end at or
// before the start means "to the end of the timeline" (of these, the parameters
// reader lets only an end equal to the start through).
FrameRange frameRangeFor(long long startMs, long long endMs, const Timeline& timeline, const FrameRate& rate);

struct BuildOptions final {
    std::string lumaDir;   // folder holding the generated wipe maps
    bool withVideo = true; // false for sound-only output
    // The name the engine reads a source file by (writer/heldsources.h); the
    // source's own when not set.
    std::function<std::string(const std::string& src)> enginePath;
};

struct BuildResult final {
    std::string xml;
    FrameRange range;
    std::set<TransitionStyle> lumaStyles; // wipe maps the timeline needs
    std::vector<std::string> warnings;
};

BuildResult buildMltXml(const Timeline& timeline, const OutputSettings& output, long long startMs, long long endMs,
                        const MediaLookup& media, const BuildOptions& options);

// Lowest and highest speed the engine's time-warp accepts.
constexpr double kMinWarpSpeed = 0.01;
constexpr double kMaxWarpSpeed = 20.0;

} // namespace vk
