#include "writer/timelinereader.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace vk {

namespace {

// The editor keeps every time in 32-bit milliseconds, so no time it writes lies beyond
// this many seconds either way. Larger values cannot come from it, and would overflow
// the frame numbers of the engine's timeline.
constexpr double kMaxSeconds = 2147483.648;

// Numbers in the document always use "." whatever the user's locale is. A number out of
// the editor's time range counts as malformed.
bool parseNumber(const pugi::xml_attribute& attr, double& out)
{
    if (!attr)
        return false;
    std::istringstream in(attr.value());
    in.imbue(std::locale::classic());
    double v = 0;
    in >> v;
    if (in.fail() || !std::isfinite(v) || std::fabs(v) > kMaxSeconds)
        return false;
    in >> std::ws;
    if (!in.eof())
        return false;
    out = v;
    return true;
}

bool readTime(const pugi::xml_node& node, const char* name, double& out, std::string& error)
{
    if (!parseNumber(node.attribute(name), out)) {
        error = std::string("<") + node.name() + "> の \"" + name + "\" が正しくありません（\"" +
                node.attribute(name).value() + "\"）。";
        return false;
    }
    return true;
}

bool readClip(const pugi::xml_node& node, TimelineClip& clip, std::string& error)
{
    if (!readTime(node, "start", clip.start, error) || !readTime(node, "stop", clip.stop, error))
        return false;
    // A clip without media times plays its media from 0 at normal speed.
    if (!parseNumber(node.attribute("mstart"), clip.mstart))
        clip.mstart = 0;
    if (!parseNumber(node.attribute("mstop"), clip.mstop))
        clip.mstop = clip.mstart + (clip.stop - clip.start);
    clip.src = node.attribute("src").value();
    clip.preserveAspect = std::string(node.attribute("stretchmode").value()) == "PreserveAspectRatio";
    if (clip.src.empty()) {
        error = "<clip> に \"src\" がありません。";
        return false;
    }
    return true;
}

int intAttr(const pugi::xml_node& node, const char* name, int fallback)
{
    double v = 0;
    if (!parseNumber(node.attribute(name), v) || v < 1 || v > 100000)
        return fallback;
    return static_cast<int>(std::lround(v));
}

} // namespace

double Timeline::duration() const
{
    double end = 0;
    for (const auto& t : video.tracks)
        for (const auto& c : t.clips)
            end = std::max(end, c.stop);
    for (const auto& c : audio.clips)
        end = std::max(end, c.stop);
    return end;
}

bool parseTimeline(const std::string& xmlText, Timeline& out, std::string& error)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_buffer(xmlText.data(), xmlText.size());
    if (!r) {
        error = "XML の形式が正しくありません。";
        return false;
    }
    const pugi::xml_node root = doc.child("timeline");
    if (!root) {
        error = "<timeline> がありません。";
        return false;
    }
    Timeline t;
    bool haveVideo = false;
    for (const pugi::xml_node group : root.children("group")) {
        const std::string type = group.attribute("type").value();
        if (type == "video" && !haveVideo) {
            haveVideo = true;
            t.video.width = intAttr(group, "width", 720);
            t.video.height = intAttr(group, "height", 480);
            t.video.bitDepth = intAttr(group, "bitdepth", 24);
            double fps = 0;
            if (parseNumber(group.attribute("framerate"), fps) && fps >= 1 && fps <= 240)
                t.video.frameRate = fps;
            for (const pugi::xml_node track : group.children("track")) {
                TimelineTrack tr;
                for (const pugi::xml_node child : track.children()) {
                    const std::string name = child.name();
                    if (name == "clip") {
                        TimelineClip c;
                        if (!readClip(child, c, error))
                            return false;
                        tr.clips.push_back(c);
                    } else if (name == "transition") {
                        TimelineTransition x;
                        if (!readTime(child, "start", x.start, error) || !readTime(child, "stop", x.stop, error))
                            return false;
                        x.clsid = child.attribute("clsid").value();
                        tr.transitions.push_back(x);
                    }
                }
                t.video.tracks.push_back(tr);
            }
        } else if (type == "audio" && !t.hasAudioGroup) {
            t.hasAudioGroup = true;
            t.audio.samplingRate = intAttr(group, "samplingrate", 48000);
            // The editor writes one audio track; clips of further tracks are
            // placed on the same sound line.
            for (const pugi::xml_node track : group.children("track"))
                for (const pugi::xml_node clip : track.children("clip")) {
                    TimelineClip c;
                    if (!readClip(clip, c, error))
                        return false;
                    t.audio.clips.push_back(c);
                }
        }
    }
    if (!haveVideo && !t.hasAudioGroup) {
        error = "映像グループも音声グループもありません。";
        return false;
    }
    out = t;
    return true;
}

bool readTimeline(const std::string& path, Timeline& out, std::string& error)
{
    std::string text;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            error = "タイムラインファイルが見つかりません。\n" + path;
            return false;
        }
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    std::string why;
    if (!parseTimeline(text, out, why)) {
        error = "タイムラインファイルの形式が正しくありません。\n" + path + "\n" + why;
        return false;
    }
    return true;
}

} // namespace vk
