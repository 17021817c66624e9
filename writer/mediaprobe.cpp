#include "writer/mediaprobe.h"

#include <mlt++/Mlt.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <filesystem>
#include <set>

namespace vk {

bool seeksByPresentationTime(const std::string& path)
{
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) != 0)
        return false;
    const bool byPts = context->iformat && (context->iformat->flags & AVFMT_SEEK_TO_PTS);
    avformat_close_input(&context);
    return byPts;
}

SourceInfo MediaProbe::info(const std::string& src)
{
    auto it = m_cache.find(src);
    if (it != m_cache.end())
        return it->second;
    SourceInfo mi;
    std::error_code ec;
    const std::string path = m_openAs ? m_openAs(src) : src;
    if (std::filesystem::is_regular_file(path, ec)) {
        mi.still = isStillImagePath(src);
        Mlt::Producer p(m_profile, "avformat", path.c_str());
        if (p.is_valid()) {
            // The picture size of the first video stream; a source without
            // one is still usable for its sound.
            bool sound = false;
            const int streams = p.get_int("meta.media.nb_streams");
            for (int i = 0; i < streams; ++i) {
                const std::string key = "meta.media." + std::to_string(i);
                const char* type = p.get((key + ".stream.type").c_str());
                if (type && std::string(type) == "video" && mi.width == 0) {
                    mi.width = p.get_int((key + ".codec.width").c_str());
                    mi.height = p.get_int((key + ".codec.height").c_str());
                    mi.frameRate = p.get_double((key + ".stream.frame_rate").c_str());
                } else if (type && std::string(type) == "audio") {
                    sound = true;
                }
            }
            mi.ok = mi.width > 0 || sound;
            if (m_profile.fps() > 0)
                mi.seconds = double(p.get_length()) / m_profile.fps();
            if (mi.width > 0 && !mi.still)
                mi.seeksByPresentationTime = seeksByPresentationTime(path);
        }
    }
    m_cache.emplace(src, mi);
    return mi;
}

std::vector<std::string> sourcesInRange(const Timeline& timeline, double fromSec, double toSec)
{
    std::vector<std::string> out;
    std::set<std::string> seen;
    auto take = [&](const TimelineClip& c) {
        if (c.stop > fromSec && c.start < toSec && seen.insert(c.src).second)
            out.push_back(c.src);
    };
    for (const TimelineTrack& t : timeline.video.tracks)
        for (const TimelineClip& c : t.clips)
            take(c);
    for (const TimelineClip& c : timeline.audio.clips)
        take(c);
    return out;
}

std::vector<std::string> missingSources(const std::vector<std::string>& sources)
{
    std::vector<std::string> missing;
    for (const std::string& s : sources) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(s, ec))
            missing.push_back(s);
    }
    return missing;
}

std::string missingSourcesMessage(const std::vector<std::string>& missing)
{
    std::string text = "入力ファイルが見つかりません。";
    for (const std::string& m : missing)
        text += "\n" + m;
    return text;
}

} // namespace vk
