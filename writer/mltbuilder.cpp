#include "writer/mltbuilder.h"

#include "writer/numbertext.h"

#include <pugixml.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <sstream>

extern "C" {
#include <libavutil/rational.h>
}

namespace vk {

namespace {

std::string fmtInt(long long v)
{
    return std::to_string(v);
}

// See Builder::videoProducer.
const char* const kFileSeekSpeed = "1.000001";

long long frameAt(double seconds, const FrameRate& r)
{
    return std::llround(seconds * r.num / r.den);
}

void addProperty(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_node p = node.append_child("property");
    p.append_attribute("name") = name;
    p.text() = value.c_str();
}

std::string extensionOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return toLower(path.substr(dot + 1));
}

// The engine's time warp reads its file under a profile of the output rate divided
// by the speed, in the engine's own integer arithmetic: the numerator (scaled to at
// least 1000) divided by the speed and cut to an integer.
double warpedProfileFps(const FrameRate& rate, double speed)
{
    int num = rate.num, den = rate.den;
    if (num < 1000) {
        num *= 1000;
        den *= 1000;
    }
    const double scaled = double(num) / std::fabs(speed);
    if (scaled > INT_MAX)
        den = int(double(den) * std::fabs(speed));
    else
        num = int(scaled);
    return double(num) / den;
}

// Whether the file producer read at `forcedFps` shows, at every producer frame of
// [first, last], the source frame the engine's time warp at `warp` shows there: the
// projects exported for other programs hold the time warp, and melt must play them
// as this renderer plays the document. Both round a frame's position in the source
// to the nearest frame, each in its own arithmetic (the forced rate as a fraction of
// numbers up to 1024, the warp's profile cut to an integer); half-way positions
// (every other frame at 1.5x) and long spans can round apart.
bool forcedRateMatchesWarp(const FrameRate& rate, double sourceFps, double forcedFps, double warp, long long first,
                           long long last)
{
    const AVRational q = av_d2q(forcedFps, 1024);
    if (q.den == 0)
        return false;
    const double forced = double(q.num) / q.den;
    const double profileFps = double(rate.num) / rate.den;
    const double warpFps = warpedProfileFps(rate, warp);
    for (long long p = first; p <= last; ++p)
        if (static_cast<long long>(double(p) / profileFps * forced + 0.5) !=
            static_cast<long long>(double(p) / warpFps * sourceFps + 0.5))
            return false;
    return true;
}

// The speed as written into a time warp's resource, read back.
double writtenSpeed(const std::string& text)
{
    double v = 0;
    parseNumberText(text, v);
    return v;
}

// One placed piece of media in a playlist.
struct Entry {
    long long start = 0; // first timeline frame
    long long length = 0;
    std::string producer;
    long long in = 0;
};

class Builder {
public:
    Builder(const Timeline& t, const OutputSettings& o, const MediaLookup& m, const BuildOptions& opt)
        : m_timeline(t), m_out(o), m_media(m), m_options(opt)
    {
        m_root = m_doc.append_child("mlt");
        m_root.append_attribute("LC_NUMERIC") = "C";
        m_root.append_attribute("producer") = "main";
    }

    BuildResult build(long long startMs, long long endMs);

private:
    double displayAspect() const { return double(m_out.displayAspectNum) / m_out.displayAspectDen; }
    std::string enginePath(const std::string& src) const
    {
        return m_options.enginePath ? m_options.enginePath(src) : src;
    }

    void addProfile();
    std::string videoProducer(const TimelineClip& clip, double speed, const SourceInfo& info, long long first,
                              long long last);
    std::string audioProducer(const std::string& src, double speed);
    std::string newProducer(const std::string& key, const std::function<void(pugi::xml_node)>& fill,
                            const char* prefix);
    void placeVideoClip(const TimelineClip& clip, std::vector<Entry>& entries);
    void placeAudioClip(const TimelineClip& clip, std::vector<Entry>& entries);
    std::string writePlaylist(const std::string& id, std::vector<Entry> entries);
    void addTransition(pugi::xml_node tractor, const TimelineTransition& x, int aTrack, int bTrack);

    const Timeline& m_timeline;
    const OutputSettings& m_out;
    const MediaLookup& m_media;
    const BuildOptions& m_options;
    pugi::xml_document m_doc;
    pugi::xml_node m_root;
    std::map<std::string, std::string> m_producerIds; // key -> id
    std::map<std::string, long long> m_lengthNeeded;  // key -> frames its clips reach
    int m_videoCount = 0;
    int m_audioCount = 0;
    long long m_total = 0; // frames every track must cover
    BuildResult m_result;
};

void Builder::addProfile()
{
    pugi::xml_node p = m_root.append_child("profile");
    p.append_attribute("description") = "videokadro";
    p.append_attribute("width") = m_out.width;
    p.append_attribute("height") = m_out.height;
    p.append_attribute("progressive") = 1;
    p.append_attribute("sample_aspect_num") = m_out.sampleAspectNum;
    p.append_attribute("sample_aspect_den") = m_out.sampleAspectDen;
    p.append_attribute("display_aspect_num") = m_out.displayAspectNum;
    p.append_attribute("display_aspect_den") = m_out.displayAspectDen;
    p.append_attribute("frame_rate_num") = m_out.rate.num;
    p.append_attribute("frame_rate_den") = m_out.rate.den;
    p.append_attribute("colorspace") = 601;
}

std::string Builder::newProducer(const std::string& key, const std::function<void(pugi::xml_node)>& fill,
                                 const char* prefix)
{
    auto it = m_producerIds.find(key);
    if (it != m_producerIds.end())
        return it->second;
    const int n = (prefix[0] == 'v') ? ++m_videoCount : ++m_audioCount;
    const std::string id = std::string(prefix) + std::to_string(n);
    // Producers must precede the playlists that use them.
    pugi::xml_node node = m_root.append_child("producer");
    node.append_attribute("id") = id.c_str();
    fill(node);
    m_producerIds.emplace(key, id);
    return id;
}

std::string Builder::videoProducer(const TimelineClip& clip, double speed, const SourceInfo& info, long long first,
                                   long long last)
{
    // Stretch to fill: give the source the pixel aspect that makes its
    // picture exactly the shape of the output frame.
    std::string aspect;
    if (!clip.preserveAspect && info.width > 0 && info.height > 0)
        aspect = numberText(displayAspect() * info.height / info.width);
    const std::string fit = clip.preserveAspect ? "keep" : "fill";
    if (info.still) {
        const std::string key = "still|" + fit + "|" + clip.src;
        return newProducer(
            key,
            [&](pugi::xml_node n) {
                n.append_attribute("in") = 0;
                n.append_attribute("out") = fmtInt(m_total - 1).c_str();
                addProperty(n, "length", fmtInt(m_total));
                addProperty(n, "resource", enginePath(clip.src));
                if (!aspect.empty())
                    addProperty(n, "force_aspect_ratio", aspect);
            },
            "v");
    }
    if (speed <= 0) {
        // No media span: hold the in-point picture for the whole clip.
        const long long frame = frameAt(clip.mstart, m_out.rate);
        const std::string key = "hold|" + fit + "|" + fmtInt(frame) + "|" + clip.src;
        return newProducer(
            key,
            [&](pugi::xml_node n) {
                n.append_attribute("in") = 0;
                n.append_attribute("out") = fmtInt(m_total - 1).c_str();
                addProperty(n, "mlt_service", "hold");
                addProperty(n, "resource", enginePath(clip.src));
                addProperty(n, "frame", fmtInt(frame));
                addProperty(n, "length", fmtInt(m_total));
                if (!aspect.empty())
                    addProperty(n, "force_aspect_ratio", aspect);
            },
            "v");
    }
    if (speed == 1.0) {
        const std::string key = "video|" + fit + "|" + clip.src;
        return newProducer(
            key,
            [&](pugi::xml_node n) {
                addProperty(n, "mlt_service", "avformat");
                addProperty(n, "resource", enginePath(clip.src));
                addProperty(n, "threads", fmtInt(m_out.decoderThreads));
                // The engine's file producer decodes two seconds before every
                // seek when the video has B-frames (so that a seek by decoding
                // time cannot land after the wanted picture), but not when it is
                // run faster than normal speed. Clips only ever reach the file
                // producer through cuts, which position it themselves and give
                // their frames their own speed, so a file producer speed just
                // above 1 changes nothing but that run-up. Only for containers
                // that seek by presentation time, where the run-up is not needed.
                if (info.seeksByPresentationTime)
                    addProperty(n, "_speed", kFileSeekSpeed);
                if (!aspect.empty())
                    addProperty(n, "force_aspect_ratio", aspect);
            },
            "v");
    }
    const std::string warp = numberText(speed);
    if (info.frameRate > 0 &&
        forcedRateMatchesWarp(m_out.rate, info.frameRate, info.frameRate * speed, writtenSpeed(warp), first, last)) {
        // Other speeds: the file producer reads the video as if it had been
        // recorded at speed x its rate, which maps producer frame p to media
        // time p * speed / fps like the time warp does, but keeps the file
        // producer's own speed in our hands (see above) and needs no second
        // profile. Its length is set once all clips are placed: a slowed-down
        // file lasts longer than the engine measures. Where it would show
        // another frame than the time warp the clip takes the time warp; the
        // warp's speed is kept for the exported projects.
        const std::string key = "rate|" + numberText(speed) + "|" + fit + "|" + clip.src;
        return newProducer(
            key,
            [&](pugi::xml_node n) {
                addProperty(n, "mlt_service", "avformat");
                addProperty(n, "resource", enginePath(clip.src));
                addProperty(n, "force_fps", numberText(info.frameRate * speed));
                addProperty(n, "warp_speed", warp);
                addProperty(n, "threads", fmtInt(m_out.decoderThreads));
                if (info.seeksByPresentationTime)
                    addProperty(n, "_speed", kFileSeekSpeed);
                if (!aspect.empty())
                    addProperty(n, "force_aspect_ratio", aspect);
                m_lengthNeeded[key] = 0;
            },
            "v");
    }
    const std::string key = "warp|" + warp + "|" + fit + "|" + clip.src;
    return newProducer(
        key,
        [&](pugi::xml_node n) {
            addProperty(n, "mlt_service", "timewarp");
            addProperty(n, "resource", warp + ":" + enginePath(clip.src));
            if (!aspect.empty())
                addProperty(n, "force_aspect_ratio", aspect);
        },
        "v");
}

std::string Builder::audioProducer(const std::string& src, double speed)
{
    if (speed == 1.0) {
        return newProducer(
            "audio|" + src,
            [&](pugi::xml_node n) {
                addProperty(n, "mlt_service", "avformat");
                addProperty(n, "resource", enginePath(src));
                addProperty(n, "video_index", "-1");
            },
            "a");
    }
    return newProducer(
        "audiowarp|" + numberText(speed) + "|" + src,
        [&](pugi::xml_node n) {
            addProperty(n, "mlt_service", "timewarp");
            addProperty(n, "resource", numberText(speed) + ":" + enginePath(src));
            addProperty(n, "warp_pitch", "1");
            addProperty(n, "video_index", "-1");
        },
        "a");
}

// Speed of a clip: its media span over its timeline span, snapped to exactly
// 1 when the two agree to a microsecond, and kept inside the time-warp limits.
double clipSpeed(const TimelineClip& c)
{
    const double span = c.mstop - c.mstart, dur = c.stop - c.start;
    if (dur <= 0)
        return 0;
    if (std::fabs(span - dur) < 1e-6)
        return 1.0;
    const double s = span / dur;
    if (s <= 0)
        return 0;
    return std::clamp(s, kMinWarpSpeed, kMaxWarpSpeed);
}

// First frame to ask of a producer running at `speed` so that timeline frame
// `first` shows the media time the clip maps it to.
long long inPointFor(const TimelineClip& c, double speed, long long first, const FrameRate& r)
{
    const double t = double(first) * r.den / r.num; // seconds on the timeline
    const double media = c.mstart + (t - c.start) * speed;
    return std::max(0LL, std::llround(media * r.num / r.den / speed));
}

void Builder::placeVideoClip(const TimelineClip& clip, std::vector<Entry>& entries)
{
    const long long a = frameAt(clip.start, m_out.rate), b = frameAt(clip.stop, m_out.rate);
    if (b <= a)
        return;
    const SourceInfo info = m_media(clip.src);
    if (!info.ok) {
        m_result.warnings.push_back("skipped a clip the engine cannot open: " + clip.src);
        return;
    }
    const double speed = info.still ? 0 : clipSpeed(clip);
    const double wanted = (clip.stop > clip.start) ? (clip.mstop - clip.mstart) / (clip.stop - clip.start) : 0;
    if (!info.still && speed > 0 && std::fabs(speed - wanted) > 1e-9 && speed != 1.0)
        m_result.warnings.push_back("speed " + numberText(wanted) + " of " + clip.src + " limited to " +
                                    numberText(speed));
    Entry e;
    e.start = a;
    e.length = b - a;
    e.in = (info.still || speed <= 0) ? 0 : inPointFor(clip, speed, a, m_out.rate);
    e.producer = videoProducer(clip, speed, info, e.in, e.in + e.length - 1);
    for (auto& [key, needed] : m_lengthNeeded)
        if (m_producerIds[key] == e.producer)
            needed = std::max(needed, e.in + e.length);
    entries.push_back(e);
}

void Builder::placeAudioClip(const TimelineClip& clip, std::vector<Entry>& entries)
{
    const long long a = frameAt(clip.start, m_out.rate), b = frameAt(clip.stop, m_out.rate);
    if (b <= a)
        return;
    const double speed = clipSpeed(clip);
    if (speed <= 0)
        return;
    Entry e;
    e.start = a;
    e.length = b - a;
    e.producer = audioProducer(clip.src, speed);
    e.in = inPointFor(clip, speed, a, m_out.rate);
    entries.push_back(e);
}

std::string Builder::writePlaylist(const std::string& id, std::vector<Entry> entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) { return x.start < y.start; });
    pugi::xml_node pl = m_root.append_child("playlist");
    pl.append_attribute("id") = id.c_str();
    long long at = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry e = entries[i];
        // A clip that overlaps the next one on the same track gives way to it.
        if (i + 1 < entries.size())
            e.length = std::min(e.length, entries[i + 1].start - e.start);
        if (e.start < at) { // starts under the previous one: drop its covered head
            const long long cut = at - e.start;
            e.start = at;
            e.length -= cut;
            e.in += cut;
        }
        if (e.length <= 0)
            continue;
        if (e.start > at) {
            pugi::xml_node blank = pl.append_child("blank");
            blank.append_attribute("length") = fmtInt(e.start - at).c_str();
        }
        pugi::xml_node entry = pl.append_child("entry");
        entry.append_attribute("producer") = e.producer.c_str();
        entry.append_attribute("in") = fmtInt(e.in).c_str();
        entry.append_attribute("out") = fmtInt(e.in + e.length - 1).c_str();
        at = e.start + e.length;
    }
    return id;
}

void Builder::addTransition(pugi::xml_node tractor, const TimelineTransition& x, int aTrack, int bTrack)
{
    const long long a = frameAt(x.start, m_out.rate), b = frameAt(x.stop, m_out.rate);
    if (b - a < 1)
        return;
    const TransitionStyle style = transitionStyleForClsid(x.clsid);
    pugi::xml_node t = tractor.append_child("transition");
    const std::string last = fmtInt(b - a - 1);
    auto common = [&](const char* service) {
        addProperty(t, "mlt_service", service);
        addProperty(t, "a_track", fmtInt(aTrack));
        addProperty(t, "b_track", fmtInt(bTrack));
        addProperty(t, "in", fmtInt(a));
        addProperty(t, "out", fmtInt(b - 1));
        addProperty(t, "vk_style", transitionStyleName(style));
    };
    switch (style) {
    case TransitionStyle::Fade:
        common("luma");
        break;
    case TransitionStyle::Slide: // the new picture comes in from the right edge
        common("composite");
        addProperty(t, "geometry", "0=100% 0% 100% 100%;" + last + "=0% 0% 100% 100%");
        addProperty(t, "distort", "1");
        addProperty(t, "fill", "1");
        addProperty(t, "progressive", "1");
        break;
    case TransitionStyle::Stretch: // the new picture widens from the centre line
        common("composite");
        addProperty(t, "geometry", "0=49.5% 0% 1% 100%;" + last + "=0% 0% 100% 100%");
        addProperty(t, "distort", "1");
        addProperty(t, "fill", "1");
        addProperty(t, "progressive", "1");
        break;
    case TransitionStyle::Burn:
    case TransitionStyle::Pixelate:
        // Drawn by this program's own blend (registered with the engine at start).
        common("vk_blend");
        break;
    default:
        common("luma");
        addProperty(t, "resource", m_options.lumaDir + "/" + lumaMapFileName(style));
        addProperty(t, "softness", "0.02");
        m_result.lumaStyles.insert(style);
        break;
    }
}

BuildResult Builder::build(long long startMs, long long endMs)
{
    m_result.range = frameRangeFor(startMs, endMs, m_timeline, m_out.rate);
    m_total = std::max(m_result.range.out + 1, frameAt(m_timeline.duration(), m_out.rate));
    addProfile();

    pugi::xml_node black = m_root.append_child("producer");
    black.append_attribute("id") = "black";
    black.append_attribute("in") = 0;
    black.append_attribute("out") = fmtInt(m_total - 1).c_str();
    addProperty(black, "mlt_service", "color");
    addProperty(black, "resource", "0x000000ff");
    addProperty(black, "length", fmtInt(m_total));

    std::vector<std::string> videoTracks;
    if (m_options.withVideo) {
        int n = 0;
        for (const TimelineTrack& track : m_timeline.video.tracks) {
            std::vector<Entry> entries;
            for (const TimelineClip& c : track.clips)
                placeVideoClip(c, entries);
            videoTracks.push_back(writePlaylist("video" + std::to_string(++n), entries));
        }
    }
    std::vector<Entry> sound;
    for (const TimelineClip& c : m_timeline.audio.clips)
        placeAudioClip(c, sound);
    const std::string audioTrack = writePlaylist("sound", sound);

    // The engine also ends a file producer where it measured the file, and a playlist
    // entry past that end shows the last picture before it for its whole length: a
    // slowed span late in a file froze on a picture of an earlier shot. The producer's
    // in and out make the whole stretched length reachable.
    for (const auto& [key, needed] : m_lengthNeeded) {
        pugi::xml_node n = m_root.find_child_by_attribute("producer", "id", m_producerIds[key].c_str());
        const long long length = std::max(needed, m_total);
        pugi::xml_attribute in = n.insert_attribute_after("in", n.attribute("id"));
        in = 0;
        n.insert_attribute_after("out", in) = fmtInt(length - 1).c_str();
        addProperty(n, "length", fmtInt(length));
    }

    pugi::xml_node tractor = m_root.append_child("tractor");
    tractor.append_attribute("id") = "main";
    tractor.append_attribute("in") = fmtInt(m_result.range.in).c_str();
    tractor.append_attribute("out") = fmtInt(m_result.range.out).c_str();
    pugi::xml_node multi = tractor.append_child("multitrack");
    pugi::xml_node bg = multi.append_child("track");
    bg.append_attribute("producer") = "black";
    bg.append_attribute("hide") = "audio";
    for (const std::string& id : videoTracks) {
        pugi::xml_node t = multi.append_child("track");
        t.append_attribute("producer") = id.c_str();
        t.append_attribute("hide") = "audio";
    }
    pugi::xml_node at = multi.append_child("track");
    at.append_attribute("producer") = audioTrack.c_str();
    at.append_attribute("hide") = "video";

    // Track k of the document is tractor track k + 1; its transitions blend
    // from the track right below it.
    if (m_options.withVideo) {
        for (size_t k = 0; k < m_timeline.video.tracks.size(); ++k)
            for (const TimelineTransition& x : m_timeline.video.tracks[k].transitions)
                addTransition(tractor, x, int(k), int(k + 1));
    }

    std::ostringstream out;
    m_doc.save(out, "  ", pugi::format_indent | pugi::format_no_declaration);
    m_result.xml = out.str();
    return m_result;
}

} // namespace

bool isStillImagePath(const std::string& path)
{
    const std::string ext = extensionOf(path);
    return ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "bmp" || ext == "gif";
}

FrameRange frameRangeFor(long long startMs, long long endMs, const Timeline& timeline, const FrameRate& rate)
{
    FrameRange r;
    r.in = std::max(0LL, std::llround(double(startMs) / 1000.0 * rate.num / rate.den));
    long long endFrame = 0;
    if (endMs > startMs)
        endFrame = std::llround(double(endMs) / 1000.0 * rate.num / rate.den);
    else
        endFrame = frameAt(timeline.duration(), rate);
    r.out = std::max(r.in, endFrame - 1);
    return r;
}

BuildResult buildMltXml(const Timeline& timeline, const OutputSettings& output, long long startMs, long long endMs,
                        const MediaLookup& media, const BuildOptions& options)
{
    Builder b(timeline, output, media, options);
    return b.build(startMs, endMs);
}

} // namespace vk
