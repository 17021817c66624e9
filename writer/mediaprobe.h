#pragma once
// What the engine makes of each source file of a timeline: whether it opens,
// whether it is a still picture, its picture size and frame rate, and whether
// its container seeks by presentation time. Results are cached per
// path, since a timeline usually cuts many clips from one file.

#include "writer/mltbuilder.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Mlt {
class Profile;
}

namespace vk {

class MediaProbe final {
public:
    // `openAs` gives the name a source is opened by (writer/heldsources.h); the
    // source's own when not set. Results are keyed by the source's own name.
    explicit MediaProbe(Mlt::Profile& profile, std::function<std::string(const std::string&)> openAs = {})
        : m_profile(profile), m_openAs(std::move(openAs))
    {
    }

    SourceInfo info(const std::string& src);
    MediaLookup lookup()
    {
        return [this](const std::string& src) { return info(src); };
    }

private:
    Mlt::Profile& m_profile;
    std::function<std::string(const std::string&)> m_openAs;
    std::map<std::string, SourceInfo> m_cache;
};

// Source files of the clips, video and sound, that overlap fromSec..toSec on
// the timeline, each once, in document order.
std::vector<std::string> sourcesInRange(const Timeline& timeline, double fromSec, double toSec);

// True when libavformat's demuxer for the file seeks by presentation time.
bool seeksByPresentationTime(const std::string& path);

// The sources that do not exist as files, each once.
std::vector<std::string> missingSources(const std::vector<std::string>& sources);
// The message for sources that are not there ("入力ファイルが見つかりません。" and a line
// for each), the same before a render and when one vanishes during it.
std::string missingSourcesMessage(const std::vector<std::string>& missing);

} // namespace vk
