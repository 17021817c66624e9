#include "writer/timelinereader.h"

#include "writer/numbertext.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

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
    std::string_view text = attr.value();
    // Blanks around the number are allowed.
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return false;
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    double v = 0;
    if (!parseNumberText(text, v) || !std::isfinite(v) || std::fabs(v) > kMaxSeconds)
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

// What a group attribute may hold: a number from `min` to `max`, a whole multiple
// of `step` when that is not 0.
struct GroupValue {
    const char* name;
    double min;
    double max;
    int step;
    const char* allowed; // the same, as the message says it
};

// Picture sides from 16 pixels (one macroblock, the least the MP4 profile takes too) to
// 8192 (one uncompressed frame is then 200 MB; the editor's own sizes run from 176x144
// to 1920x1080); 1 to 240 frames a second; the bit counts of uncompressed RGB pictures;
// the sampling rates sound is recorded and played at.
constexpr GroupValue kWidth{"width", 16, 8192, 1, "16〜8192 の整数"};
constexpr GroupValue kHeight{"height", 16, 8192, 1, "16〜8192 の整数"};
constexpr GroupValue kFrameRate{"framerate", 1, 240, 0, "1 以上 240 以下"};
constexpr GroupValue kBitDepth{"bitdepth", 8, 32, 8, "8、16、24、32 のいずれか"};
constexpr GroupValue kSamplingRate{"samplingrate", 8000, 192000, 1, "8000〜192000 の整数"};

// A group attribute the document leaves out keeps its default; one it gives must be a
// value the output can mean, or the document is refused before anything is written.
// Rounding a wrong value, or putting the default in its place, would render something
// nobody asked for over the user's file (a sampling rate of "2.5" came out as 3 Hz).
bool readGroupValue(const pugi::xml_node& group, const GroupValue& v, double& out, std::string& error)
{
    const pugi::xml_attribute attr = group.attribute(v.name);
    if (!attr)
        return true;
    double d = 0;
    const bool fits = parseNumber(attr, d) && d >= v.min && d <= v.max &&
                      (v.step == 0 || (d == std::floor(d) && std::fmod(d, v.step) == 0));
    if (!fits) {
        error = std::string("<group> の \"") + v.name + "\" が正しくありません（\"" + attr.value() + "\"、" +
                v.allowed + "）。";
        return false;
    }
    out = d;
    return true;
}

bool readGroupValue(const pugi::xml_node& group, const GroupValue& v, int& out, std::string& error)
{
    double d = out;
    if (!readGroupValue(group, v, d, error))
        return false;
    out = static_cast<int>(d);
    return true;
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
            if (!readGroupValue(group, kWidth, t.video.width, error) ||
                !readGroupValue(group, kHeight, t.video.height, error) ||
                !readGroupValue(group, kBitDepth, t.video.bitDepth, error) ||
                !readGroupValue(group, kFrameRate, t.video.frameRate, error))
                return false;
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
            if (!readGroupValue(group, kSamplingRate, t.audio.samplingRate, error))
                return false;
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
