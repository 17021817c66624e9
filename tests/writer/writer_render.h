#pragma once
// The end-to-end render tests' media, documents and readers: what the timeline shows
// at each output frame, the tones of the sections, the preview's key reports, and the
// fixture that generates the media once and runs the writer.
#include "writer/timelinereader.h"
#include "writer/transitionstyle.h"
#include "writer_testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

namespace vkrender {

namespace fs = std::filesystem;
using namespace vktest;

inline const char* kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";
inline const std::vector<int> kTones = {440, 660, 880, 1100}; // one per 2 s of the sound clip
constexpr double kSourceFps = 30;

inline std::string num(double v)
{
    std::ostringstream o;
    o.imbue(std::locale::classic());
    o.precision(15);
    o << v;
    return o.str();
}

inline double round3(double v)
{
    return std::nearbyint(v * 1000) / 1000;
}

struct Media {
    std::unique_ptr<TempDir> dir;
    std::string video, still, sound;
};
inline Media* g_media = nullptr;

// The document the editor writes for five rows over an 8 s sound clip:
//  0-2 s  normal speed, media 1-3 s
//  2-4 s  3x, media 5-12.5 s (runs on to 4.5 s under the next row's fade)
//  4-6 s  the red still, stretched, with a 0.5 s fade in
//  6-7 s  no video: a black gap
//  7-8 s  half speed (stretched in time), media 2-2.5 s
// f is the time factor (1 / sound playback rate).
inline std::string testTimeline(double f, int w, int h, double fps, bool preserveStill = false)
{
    const std::string& v = g_media->video;
    auto clip = [&](double s, double e, double ms, double me, const std::string& src, const char* extra = "") {
        return "<clip start=\"" + num(round3(s * f)) + "\" stop=\"" + num(round3(e * f)) + "\" mstart=\"" + num(ms) +
               "\" mstop=\"" + num(me) + "\" src=\"" + src + "\"" + extra + "/>";
    };
    std::string doc =
        "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"" + num(fps) +
        "\" width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"><track>";
    doc += clip(0, 2, 1, 3, v) + clip(2, 4.5, 5, 12.5, v);
    doc += "</track><track>";
    doc += clip(4, 6, 0, 0, g_media->still, preserveStill ? " stretchmode=\"PreserveAspectRatio\"" : "");
    doc += "<transition start=\"" + num(round3(4 * f)) + "\" stop=\"" + num(round3(4.5 * f)) + "\" clsid=\"" + kFade +
           "\"/>";
    doc += clip(7, 8, 2, 2.5, v);
    doc += "</track></group><group type=\"audio\" samplingrate=\"48000\"><track>";
    const double cuts[] = {0, 2, 4, 6, 7, 8};
    for (int i = 0; i + 1 < 6; ++i)
        doc += "<clip mstart=\"" + num(cuts[i]) + "\" mstop=\"" + num(cuts[i + 1]) + "\" start=\"" +
               num(round3(cuts[i] * f)) + "\" stop=\"" + num(round3(cuts[i + 1] * f)) + "\" src=\"" + g_media->sound +
               "\"/>";
    doc += "</track></group></timeline>";
    return doc;
}

// An MP4 profile as the editor offers it: size and rate.
struct Mp4Profile {
    int width = 0, height = 0;
    std::string rate;
    bool empty() const { return width == 0; }
};

inline std::string paramsDoc(const std::string& xtl, const std::string& out, long long start, long long end, bool dv,
                             const std::string& prx = "640-2000k-stereo.prx", const std::string& engineXml = "",
                             const Mp4Profile& mp4 = {})
{
    const std::string video = !mp4.empty() ? "H.264" : dv ? "DV Video Encoder" : "";
    const std::string audio = !mp4.empty() ? "AAC" : dv ? "PCM" : "";
    const bool pcm = dv && mp4.empty();
    std::string doc = "<params><XtlFilePath>" + xtl + "</XtlFilePath><AviFileName>" + out +
                      "</AviFileName><WriteGrfArg></WriteGrfArg><WriteXtlArg>" + engineXml +
                      "</WriteXtlArg><StartPoint>" + std::to_string(start) + "</StartPoint><EndPoint>" +
                      std::to_string(end) +
                      "</EndPoint><VideoCompressor dwBitRate=\"0\" KeyFrameRate=\"0\" Quality=\"0\" WindowSize=\"0\">" +
                      video + "</VideoCompressor><AudioCompressor nSamplesPerSec=\"" + (pcm ? "48000" : "0") +
                      "\" wBitsPerSample=\"" + (pcm ? "16" : "0") + "\" nChannels=\"" + (pcm ? "2" : "0") + "\">" +
                      audio + "</AudioCompressor><PrxFileName>" + prx + "</PrxFileName>";
    if (!mp4.empty())
        doc += "<FrameWidth>" + std::to_string(mp4.width) + "</FrameWidth><FrameHeight>" + std::to_string(mp4.height) +
               "</FrameHeight><FrameRate>" + mp4.rate + "</FrameRate>";
    return doc + "</params>";
}

// The top-level boxes of an MP4 file, in order ("ftyp", "moov", "mdat" ...).
inline std::vector<std::string> topLevelBoxes(const std::string& file)
{
    const std::string data = readFile(file);
    std::vector<std::string> boxes;
    size_t at = 0;
    auto be = [&](size_t pos, int bytes) {
        unsigned long long v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | static_cast<unsigned char>(data[pos + size_t(i)]);
        return v;
    };
    while (at + 8 <= data.size()) {
        unsigned long long size = be(at, 4);
        boxes.push_back(data.substr(at + 4, 4));
        if (size == 1 && at + 16 <= data.size())
            size = be(at + 8, 8);
        else if (size == 0)
            size = data.size() - at;
        if (size < 8)
            break;
        at += size_t(size);
    }
    return boxes;
}

// The check line the writer prints after a render, empty when there is none.
inline std::string checkLine(const std::string& out)
{
    const auto at = out.find("check: ");
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
}

// What the timeline shows at output frame `frame` (at `fps`), top track first.
struct Expected {
    enum Kind { Black, Still, Source, Transition } kind = Black;
    double sourceFrame = 0;
    double speed = 1;
    double progress = 0; // within a transition
};

inline Expected expectedAt(const vk::Timeline& t, double fps, long long frame)
{
    for (auto track = t.video.tracks.rbegin(); track != t.video.tracks.rend(); ++track) {
        for (const vk::TimelineClip& c : track->clips) {
            const long long a = std::llround(c.start * fps), b = std::llround(c.stop * fps);
            if (frame < a || frame >= b)
                continue;
            Expected e;
            for (const vk::TimelineTransition& x : track->transitions) {
                const long long ta = std::llround(x.start * fps), tb = std::llround(x.stop * fps);
                if (frame >= ta && frame < tb) {
                    e.kind = Expected::Transition;
                    e.progress = double(frame - ta) / double(tb - ta);
                    return e;
                }
            }
            if (c.mstop <= c.mstart) {
                e.kind = Expected::Still;
                return e;
            }
            e.kind = Expected::Source;
            e.speed = (c.mstop - c.mstart) / (c.stop - c.start);
            e.sourceFrame = (c.mstart + (frame / fps - c.start) * e.speed) * kSourceFps;
            return e;
        }
    }
    return {};
}

struct FrameReport {
    int sources = 0, stills = 0, blacks = 0, mixes = 0;
};

// Checks every decoded frame of a render of frames [first, first + n) against
// the timeline. Frame placement may be off by half an output frame, which is
// `speed` source frames at most per output frame.
inline FrameReport checkFrames(const std::string& file, const vk::Timeline& t, double fps, long long first,
                               bool stillStretched = true)
{
    const int w = 160, h = 120;
    const std::vector<std::string> frames = decodeFrames(file, w, h);
    FrameReport rep;
    EXPECT_FALSE(frames.empty());
    for (size_t i = 0; i < frames.size(); ++i) {
        const long long f = first + static_cast<long long>(i);
        const Expected e = expectedAt(t, fps, f);
        const std::string& img = frames[i];
        int r, g, b;
        switch (e.kind) {
        case Expected::Source: {
            const int got = readFrameNumber(img, w, h);
            const double tol = std::ceil(0.5 * e.speed * kSourceFps / fps + 0.5);
            EXPECT_NEAR(got, e.sourceFrame, tol) << file << " output frame " << f;
            ++rep.sources;
            break;
        }
        case Expected::Still:
            pixel(img, w, w / 2, h / 2, r, g, b);
            EXPECT_TRUE(r > 150 && g < 90 && b < 90)
                << file << " frame " << f << " centre " << r << "," << g << "," << b;
            pixel(img, w, 3, 3, r, g, b);
            if (stillStretched)
                EXPECT_TRUE(r > 150 && g < 90) << file << " frame " << f << " corner not red (not stretched)";
            else
                EXPECT_TRUE(r < 40 && g < 40 && b < 40)
                    << file << " frame " << f << " corner not black (not letterboxed)";
            ++rep.stills;
            break;
        case Expected::Black:
            EXPECT_LT(meanLevel(img), 20) << file << " frame " << f << " should be black";
            ++rep.blacks;
            break;
        case Expected::Transition:
            if (std::fabs(e.progress - 0.5) < 0.08) {
                // Mid-dissolve from the numbered bars to red: the picture is
                // neither the bars (grey levels) nor the still (pure red).
                int mixedBars = 0;
                for (int bit = 0; bit < 10; ++bit) {
                    pixel(img, w, int((bit + 0.5) * w / 10), h / 2, r, g, b);
                    const bool reddish = r - g > 40;
                    const bool notPureRed = g > 25 || b > 25;
                    if (reddish && notPureRed)
                        ++mixedBars;
                }
                // A letterboxed still covers only the middle bars.
                EXPECT_GE(mixedBars, stillStretched ? 3 : 2) << file << " frame " << f << " does not mix both pictures";
                ++rep.mixes;
            }
            break;
        }
    }
    return rep;
}

// The tone heard in each section: the section's part of the sound clip.
inline void checkSound(const std::string& file, double f, double fromTimelineSec, double toTimelineSec)
{
    const int rate = 48000;
    const std::vector<short> s = decodeSound(file, rate);
    ASSERT_FALSE(s.empty()) << file;
    for (size_t i = 0; i < kTones.size(); ++i) {
        // Sound clip seconds 2i..2i+2 are at 2i*f..(2i+2)*f on the timeline.
        const double a = std::max(2.0 * i * f, fromTimelineSec), b = std::min(2.0 * (i + 1) * f, toTimelineSec);
        if (b - a < 0.4)
            continue;
        const size_t from = size_t((a - fromTimelineSec + 0.1) * rate), to = size_t((b - fromTimelineSec - 0.1) * rate);
        int best = 0;
        double bestStrength = 0;
        for (int freq : {300, 440, 660, 880, 1100}) {
            const double st = toneStrength(s, rate, freq, from, to);
            if (st > bestStrength) {
                bestStrength = st;
                best = freq;
            }
        }
        EXPECT_EQ(best, kTones[i]) << file << " section " << i << " (" << a << " s .. " << b << " s)";
        EXPECT_GT(bestStrength, 300) << file << " section " << i << " is too quiet";
    }
}

// What the preview printed for one timed test key: the position read-out in
// seconds, whether it said "paused", and the play button's text.
struct KeyReport {
    bool seen = false;
    int atMs = -1; // when the key was played, counted from the first frame
    double seconds = -1;
    bool pausedText = false;
    std::string button;
};

inline KeyReport keyReport(const std::string& out, const std::string& key, int afterMs)
{
    KeyReport k;
    std::istringstream in(out);
    std::string line;
    const std::string head = "test key " + key + " at ";
    while (std::getline(in, line)) {
        if (line.compare(0, head.size(), head) != 0)
            continue;
        // Entries of one key are a second or more apart; a busy machine may
        // play them late, so the entry is the one played nearest its time.
        const int at = std::atoi(line.c_str() + head.size());
        if (k.seen && std::abs(at - afterMs) >= std::abs(k.atMs - afterMs))
            continue;
        const auto pos = line.find("position ");
        const auto bar = line.find(" | button ");
        if (pos == std::string::npos || bar == std::string::npos)
            continue;
        int m = 0, s = 0, cs = 0;
        if (std::sscanf(line.c_str() + pos + 9, "%d:%d.%d", &m, &s, &cs) != 3)
            continue;
        k.seen = true;
        k.atMs = at;
        k.seconds = m * 60 + s + cs / 100.0;
        const std::string readOut = line.substr(pos, bar - pos);
        k.pausedText = readOut.find("一時停止中") != std::string::npos;
        k.button = line.substr(bar + 10);
    }
    return k;
}

// Every position read-out the preview showed from the first one that says
// "paused" after the first Space up to the second Space (the preview reports
// each change of the read-out while test keys are played).
inline std::vector<std::string> readOutsWhilePaused(const std::string& out)
{
    std::vector<std::string> seen;
    std::istringstream in(out);
    std::string line;
    int spaces = 0;
    bool paused = false;
    while (std::getline(in, line)) {
        if (line.rfind("test key space at ", 0) == 0 && ++spaces == 2)
            break;
        if (spaces != 1 || line.rfind("test position ", 0) != 0)
            continue;
        paused = paused || line.find("一時停止中") != std::string::npos;
        if (paused)
            seen.push_back(line.substr(14));
    }
    return seen;
}

class WriterRender : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_media = new Media;
        g_media->dir = std::make_unique<TempDir>();
        g_media->video = *g_media->dir / "numbered clip.mkv"; // a blank in the name on purpose
        g_media->still = *g_media->dir / "red.png";
        g_media->sound = *g_media->dir / "song.wav";
        ASSERT_TRUE(makeNumberedVideo(g_media->video, 16));
        ASSERT_TRUE(makeStill(g_media->still, "red", 200, 300));
        ASSERT_TRUE(makeTones(g_media->sound, kTones, 2.0));
    }
    static void TearDownTestSuite()
    {
        delete g_media;
        g_media = nullptr;
    }

    // Writes the two documents into a fresh folder and runs the writer on them.
    RunResult render(const std::string& timeline, const std::string& outName, long long start, long long end, bool dv,
                     const std::string& prx = "640-2000k-stereo.prx", const std::string& engineXml = "",
                     const Mp4Profile& mp4 = {}, const std::map<std::string, std::string>& env = {})
    {
        const std::string xtl = m_dir / "T-KaDro-Clips.xml";
        writeFile(xtl, timeline);
        m_out = outName.empty() ? std::string() : m_dir / outName;
        const std::string params = m_dir / "T-KaDro-Params.xml";
        writeFile(params, paramsDoc(xtl, m_out, start, end, dv, prx, engineXml, mp4));
        std::map<std::string, std::string> all = m_env;
        for (const auto& [name, value] : env)
            all[name] = value;
        all["VK_WRITER_NO_DIALOGS"] = "1";
        return runProgram({VK_WRITER_EXE, params}, all, 240);
    }

    vk::Timeline parsed(const std::string& doc)
    {
        vk::Timeline t;
        std::string error;
        EXPECT_TRUE(vk::parseTimeline(doc, t, error)) << error;
        return t;
    }

    TempDir m_dir;
    std::string m_out;
    std::map<std::string, std::string> m_env; // more environment for render()
};

} // namespace vkrender
