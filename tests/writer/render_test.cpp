// End-to-end renders with T-VideoWrite on media generated here: a video whose
// frames carry their own number, a red still and a sound clip of one tone per
// section. Every checked output frame must show the source frame the
// timeline puts there, the gap must be black, the transition must mix both
// pictures, and each section must sound the tone of its part of the clip.

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
#include <memory>
#include <sstream>
#include <map>
#include <vector>

namespace fs = std::filesystem;
using namespace vktest;

namespace {

const char* kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";
const std::vector<int> kTones = {440, 660, 880, 1100};  // one per 2 s of the sound clip
constexpr double kSourceFps = 30;

std::string num(double v)
{
    std::ostringstream o;
    o.imbue(std::locale::classic());
    o.precision(15);
    o << v;
    return o.str();
}

double round3(double v) { return std::nearbyint(v * 1000) / 1000; }

struct Media {
    std::unique_ptr<TempDir> dir;
    std::string video, still, sound;
};
Media* g_media = nullptr;

// The document the editor writes for five rows over an 8 s sound clip:
//  0-2 s  normal speed, media 1-3 s
//  2-4 s  3x, media 5-12.5 s (runs on to 4.5 s under the next row's fade)
//  4-6 s  the red still, stretched, with a 0.5 s fade in
//  6-7 s  no video: a black gap
//  7-8 s  half speed (stretched in time), media 2-2.5 s
// f is the time factor (1 / sound playback rate).
std::string testTimeline(double f, int w, int h, double fps, bool preserveStill = false)
{
    const std::string& v = g_media->video;
    auto clip = [&](double s, double e, double ms, double me, const std::string& src, const char* extra = "") {
        return "<clip start=\"" + num(round3(s * f)) + "\" stop=\"" + num(round3(e * f)) + "\" mstart=\"" + num(ms) +
               "\" mstop=\"" + num(me) + "\" src=\"" + src + "\"" + extra + "/>";
    };
    std::string doc = "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"" +
                      num(fps) + "\" width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"><track>";
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

std::string paramsDoc(const std::string& xtl, const std::string& out, long long start, long long end, bool dv,
                      const std::string& prx = "640-2000k-stereo.prx", const std::string& engineXml = "",
                      const Mp4Profile& mp4 = {})
{
    const std::string video = !mp4.empty() ? "H.264" : dv ? "DV Video Encoder" : "";
    const std::string audio = !mp4.empty() ? "AAC" : dv ? "PCM" : "";
    const bool pcm = dv && mp4.empty();
    std::string doc = "<params><XtlFilePath>" + xtl + "</XtlFilePath><AviFileName>" + out +
           "</AviFileName><WriteGrfArg></WriteGrfArg><WriteXtlArg>" + engineXml + "</WriteXtlArg><StartPoint>" +
           std::to_string(start) + "</StartPoint><EndPoint>" + std::to_string(end) +
           "</EndPoint><VideoCompressor dwBitRate=\"0\" KeyFrameRate=\"0\" Quality=\"0\" WindowSize=\"0\">" +
           video + "</VideoCompressor><AudioCompressor nSamplesPerSec=\"" +
           (pcm ? "48000" : "0") + "\" wBitsPerSample=\"" + (pcm ? "16" : "0") + "\" nChannels=\"" + (pcm ? "2" : "0") +
           "\">" + audio + "</AudioCompressor><PrxFileName>" + prx + "</PrxFileName>";
    if (!mp4.empty())
        doc += "<FrameWidth>" + std::to_string(mp4.width) + "</FrameWidth><FrameHeight>" +
               std::to_string(mp4.height) + "</FrameHeight><FrameRate>" + mp4.rate + "</FrameRate>";
    return doc + "</params>";
}

// The top-level boxes of an MP4 file, in order ("ftyp", "moov", "mdat" ...).
std::vector<std::string> topLevelBoxes(const std::string& file)
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
std::string checkLine(const std::string& out)
{
    const auto at = out.find("check: ");
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
}

// What the timeline shows at output frame `frame` (at `fps`), top track first.
struct Expected {
    enum Kind { Black, Still, Source, Transition } kind = Black;
    double sourceFrame = 0;
    double speed = 1;
    double progress = 0;  // within a transition
};

Expected expectedAt(const vk::Timeline& t, double fps, long long frame)
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
FrameReport checkFrames(const std::string& file, const vk::Timeline& t, double fps, long long first,
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
            EXPECT_TRUE(r > 150 && g < 90 && b < 90) << file << " frame " << f << " centre " << r << "," << g << "," << b;
            pixel(img, w, 3, 3, r, g, b);
            if (stillStretched)
                EXPECT_TRUE(r > 150 && g < 90) << file << " frame " << f << " corner not red (not stretched)";
            else
                EXPECT_TRUE(r < 40 && g < 40 && b < 40) << file << " frame " << f << " corner not black (not letterboxed)";
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
void checkSound(const std::string& file, double f, double fromTimelineSec, double toTimelineSec)
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
    double seconds = -1;
    bool pausedText = false;
    std::string button;
};

KeyReport keyReport(const std::string& out, const std::string& key, int afterMs)
{
    KeyReport k;
    std::istringstream in(out);
    std::string line;
    const std::string head = "test key " + key + " at ";
    while (std::getline(in, line)) {
        if (line.compare(0, head.size(), head) != 0)
            continue;
        const int at = std::atoi(line.c_str() + head.size());
        if (std::abs(at - afterMs) > 150)  // another entry of the same key
            continue;
        const auto pos = line.find("position ");
        const auto bar = line.find(" | button ");
        if (pos == std::string::npos || bar == std::string::npos)
            continue;
        int m = 0, s = 0, cs = 0;
        if (std::sscanf(line.c_str() + pos + 9, "%d:%d.%d", &m, &s, &cs) != 3)
            continue;
        k.seen = true;
        k.seconds = m * 60 + s + cs / 100.0;
        const std::string readOut = line.substr(pos, bar - pos);
        k.pausedText = readOut.find("一時停止中") != std::string::npos;
        k.button = line.substr(bar + 10);
    }
    return k;
}

class WriterRender : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_media = new Media;
        g_media->dir = std::make_unique<TempDir>();
        g_media->video = *g_media->dir / "numbered clip.mkv";  // a blank in the name on purpose
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
    RunResult render(const std::string& timeline, const std::string& outName, long long start, long long end,
                     bool dv, const std::string& prx = "640-2000k-stereo.prx", const std::string& engineXml = "",
                     const Mp4Profile& mp4 = {}, const std::map<std::string, std::string>& env = {})
    {
        const std::string xtl = m_dir / "T-KaDro-Clips.xml";
        writeFile(xtl, timeline);
        m_out = outName.empty() ? std::string() : m_dir / outName;
        const std::string params = m_dir / "T-KaDro-Params.xml";
        writeFile(params, paramsDoc(xtl, m_out, start, end, dv, prx, engineXml, mp4));
        std::map<std::string, std::string> all = env;
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
};

}  // namespace

TEST_F(WriterRender, DvAviIsNtscDvWithPcmSoundAndTheRightFrames)
{
    const std::string doc = testTimeline(1.0, 720, 480, 29.97);
    const RunResult r = render(doc, "out.avi", 0, 8000, true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Finished: " + m_out), std::string::npos);
    EXPECT_EQ(r.err.find("T-VideoWrite:"), std::string::npos) << r.err;  // nothing to report
    EXPECT_NE(r.out.find("progress 100%"), std::string::npos);
    EXPECT_EQ(probeFormat(m_out), "avi");
    auto v = probeStream(m_out, "v:0");
    EXPECT_EQ(v["codec_name"], "dvvideo");
    EXPECT_EQ(v["width"], "720");
    EXPECT_EQ(v["height"], "480");
    EXPECT_EQ(v["r_frame_rate"], "30000/1001");
    EXPECT_EQ(v["nb_read_packets"], "240");  // 8 s at 29.97 fps
    auto a = probeStream(m_out, "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_NEAR(probeDuration(m_out), 8.0, 0.04);
    const FrameReport rep = checkFrames(m_out, parsed(doc), 30000.0 / 1001, 0);
    EXPECT_GE(rep.sources, 140);
    EXPECT_GT(rep.stills, 40);
    EXPECT_GT(rep.blacks, 25);
    EXPECT_GE(rep.mixes, 1);
    checkSound(m_out, 1.0, 0, 8);
    // No temporary file is left beside the result.
    for (const auto& e : fs::directory_iterator(m_dir.path()))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
}

TEST_F(WriterRender, UncompressedAviAt24FpsOverARange)
{
    const std::string doc = testTimeline(1.0, 320, 240, 24);
    const std::string engineXml = m_dir / "T-KaDro-Xtl.xml";
    const RunResult r = render(doc, "range.AVI", 1000, 7500, false, "640-2000k-stereo.prx", engineXml);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto v = probeStream(m_out, "v:0");
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["pix_fmt"], "bgr24");
    EXPECT_EQ(v["width"], "320");
    EXPECT_EQ(v["height"], "240");
    EXPECT_EQ(v["r_frame_rate"], "24/1");
    EXPECT_EQ(v["nb_read_packets"], "156");  // 6.5 s at 24 fps
    EXPECT_EQ(probeStream(m_out, "a:0")["codec_name"], "pcm_s16le");
    EXPECT_NEAR(probeDuration(m_out), 6.5, 0.045);
    const FrameReport rep = checkFrames(m_out, parsed(doc), 24, 24);
    EXPECT_GT(rep.sources, 70);
    EXPECT_GT(rep.blacks, 18);
    EXPECT_GE(rep.mixes, 1);
    checkSound(m_out, 1.0, 1.0, 7.5);
    // The engine timeline was saved where asked.
    EXPECT_NE(readFile(engineXml).find("<tractor"), std::string::npos);
}

// The editor's "1280x720 29.97fps" MP4 profile over a 640x480 timeline: H.264
// High 4:2:0 and AAC stereo 48 kHz at 192 kb/s, the index (moov) in front of
// the pictures and sound (mdat), every frame where the timeline puts it with
// the still and the pictures stretched to the new shape (a still that keeps
// its shape letterboxed), every section with its tone, and the check after
// the render in sync.
TEST_F(WriterRender, Mp4At1280x720IsHighProfileH264WithAacAndFastStart)
{
    const std::string doc = testTimeline(1.0, 640, 480, 30);
    const RunResult r = render(doc, "movie.mp4", 0, 8000, false, "", "", {1280, 720, "29.97"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("MP4: frames 0..239 (240) at 30000/1001 fps, 1280x720"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Finished: " + m_out), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("T-VideoWrite:"), std::string::npos) << r.err;
    // 240 frames of 1001/30000 s; the sound ends with the last picture.
    EXPECT_EQ(checkLine(r.out), "check: 240/240 frames, sound 8.008 s, picture 8.008 s, offset 0 ms") << r.out;

    EXPECT_EQ(probeFormat(m_out), "mov,mp4,m4a,3gp,3g2,mj2");
    auto v = probeStream(m_out, "v:0");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["profile"], "High");
    EXPECT_EQ(v["pix_fmt"], "yuv420p");
    EXPECT_EQ(v["width"], "1280");
    EXPECT_EQ(v["height"], "720");
    EXPECT_EQ(v["r_frame_rate"], "30000/1001");
    EXPECT_EQ(v["nb_read_packets"], "240");
    EXPECT_EQ(v["start_time"], "0.000000");
    auto a = probeStream(m_out, "a:0");
    EXPECT_EQ(a["codec_name"], "aac");
    EXPECT_EQ(a["profile"], "LC");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_NEAR(std::atof(a["bit_rate"].c_str()), 192000, 20000);
    EXPECT_EQ(a["start_time"], "0.000000");
    EXPECT_NEAR(std::atof(a["duration"].c_str()), 8.008, 0.001);
    EXPECT_NEAR(probeDuration(m_out), 8.008, 0.001);
    // Fast start: the index comes before the media data.
    const std::vector<std::string> boxes = topLevelBoxes(m_out);
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov"), mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end());
    ASSERT_NE(mdat, boxes.end());
    EXPECT_LT(moov - boxes.begin(), mdat - boxes.begin());

    const FrameReport rep = checkFrames(m_out, parsed(doc), 30000.0 / 1001, 0);
    EXPECT_GE(rep.sources, 140);
    EXPECT_GT(rep.stills, 40);
    EXPECT_GT(rep.blacks, 25);
    EXPECT_GE(rep.mixes, 1);
    checkSound(m_out, 1.0, 0, 8);
    for (const auto& e : fs::directory_iterator(m_dir.path()))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();

    // A still that keeps its shape is letterboxed in the profile's frame.
    const std::string boxed = testTimeline(1.0, 320, 240, 30, true);
    const RunResult b = render(boxed, "boxed.mp4", 3000, 6000, false, "", "", {640, 360, "30"});
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(probeStream(m_out, "v:0")["width"], "640");
    const FrameReport boxedRep = checkFrames(m_out, parsed(boxed), 30, 90, false);
    EXPECT_GT(boxedRep.stills, 40);
    EXPECT_GE(boxedRep.sources, 25);
}

// The check after the render: a good MP4 passes; the same file with its last
// second cut off (without coding again) fails the check tool with the
// writer's status for it; and when the writer's own check fails, it says so,
// ends with that status and keeps the file. (The writer is made to expect two
// frames more than it renders, through its test hook.)
TEST_F(WriterRender, SyncCheckPassesAGoodRenderAndFailsAShortenedFile)
{
    const std::string doc = testTimeline(1.0, 320, 240, 30);
    RunResult r = render(doc, "good.mp4", 0, 4000, false, "", "", {640, 360, "59.94"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // 4 s at 59.94: 240 frames of 1001/60000 s. A frame is 16.7 ms here, less
    // than the AAC block the engine fills with silence at the end (21.3 ms):
    // the sound must still end with the pictures.
    EXPECT_EQ(checkLine(r.out), "check: 240/240 frames, sound 4.004 s, picture 4.004 s, offset 0 ms") << r.out;
    const std::string good = m_out;
    RunResult c = runProgram({VK_WRITER_CHECK_EXE, good, "240", "59.94"});
    EXPECT_EQ(c.exitCode, 0) << c.out;
    EXPECT_EQ(c.out, checkLine(r.out) + "\n");

    const std::string cut = m_dir / "cut.mp4";
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-i", good, "-c", "copy", "-t", "3.004", cut}));
    c = runProgram({VK_WRITER_CHECK_EXE, cut, "240", "59.94"});
    EXPECT_EQ(c.exitCode, 3) << c.out;
    EXPECT_NE(c.out.find("OUT OF SYNC"), std::string::npos) << c.out;
    EXPECT_NE(c.out.find("check failed: frames "), std::string::npos) << c.out;

    // The writer's own verdict, for every kind of file it makes.
    for (const char* name : {"off.mp4", "off.avi"}) {
        writeFile(m_dir / name, "old contents");
        r = render(doc, name, 0, 2000, false, "", "", std::string(name) == "off.mp4" ? Mp4Profile{640, 360, "30"}
                                                                                     : Mp4Profile{},
                   {{"VK_WRITER_TEST_EXTRA_FRAMES", "2"}});
        EXPECT_EQ(r.exitCode, 3) << name << "\n" << r.out << r.err;
        EXPECT_EQ(checkLine(r.out), "check: 60/62 frames, sound 2.000 s, picture 2.000 s, offset 0 ms -- OUT OF SYNC")
            << r.out;
        EXPECT_NE(r.out.find("check failed: frames 60/62"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Finished:"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("T-VideoWrite: 作成したファイルの映像と音声が合っていません（1 フレームを超えるずれがあります）。"
                             "ファイルは残してあります。\n" + m_out + "\n確認: フレーム 60/62、音声 2.000 秒、映像 2.000 秒、ずれ 0 ミリ秒"),
                  std::string::npos)
            << r.err;
        // The file is kept, complete.
        EXPECT_EQ(probeStream(m_out, "v:0")["nb_read_packets"], "60") << name;
    }
}

TEST_F(WriterRender, WavHoldsOnlyTheSoundAndKeepsPitchAtDoubleRate)
{
    RunResult r = render(testTimeline(1.0, 320, 240, 30), "song-out.Wav", 0, 8000, true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probeFormat(m_out), "wav");
    EXPECT_TRUE(probeStream(m_out, "v").empty());
    auto a = probeStream(m_out, "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_NEAR(probeDuration(m_out), 8.0, 0.02);
    checkSound(m_out, 1.0, 0, 8);

    // Sound played at rate 2: every section half as long, same tones.
    r = render(testTimeline(0.5, 320, 240, 30), "fast.wav", 0, 4000, false);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(probeDuration(m_out), 4.0, 0.02);
    checkSound(m_out, 0.5, 0, 4);
}

TEST_F(WriterRender, AsfUsesTheProfileSizeAndWindowsMediaCodecs)
{
    const std::string doc = testTimeline(1.0, 320, 240, 30, true);
    const RunResult r = render(doc, "movie.wmv", 0, 8000, false, "640-2000k-stereo.prx");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probeFormat(m_out), "asf");
    auto v = probeStream(m_out, "v:0");
    EXPECT_EQ(v["codec_name"], "wmv2");
    EXPECT_EQ(v["width"], "640");
    EXPECT_EQ(v["height"], "480");
    EXPECT_EQ(v["nb_read_packets"], "240");
    EXPECT_EQ(probeStream(m_out, "a:0")["codec_name"], "wmav2");
    EXPECT_NEAR(probeDuration(m_out), 8.0, 0.1);
    const FrameReport rep = checkFrames(m_out, parsed(doc), 30, 0, false);  // still letterboxed
    EXPECT_GE(rep.sources, 140);
    EXPECT_GT(rep.stills, 40);
    checkSound(m_out, 1.0, 0, 8);

    // An unknown profile still gives a file, at the default size, and says so.
    const RunResult u = render(doc, "other.asf", 0, 1000, false, "no-such-profile.prx");
    ASSERT_EQ(u.exitCode, 0) << u.err;
    EXPECT_NE(u.err.find("no-such-profile.prx"), std::string::npos);
    EXPECT_EQ(probeStream(m_out, "v:0")["width"], "640");
}

TEST_F(WriterRender, BadInputFailsCleanlyAndNeverHarmsTheTarget)
{
    // No argument at all.
    RunResult r = runProgram({VK_WRITER_EXE}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 30);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("パラメータファイルが指定されていません。"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("使い方: T-VideoWrite <パラメータファイル>"), std::string::npos) << r.err;
    // A parameters document that does not exist; the words join into one path.
    r = runProgram({VK_WRITER_EXE, m_dir / "no such", "params.xml"}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 30);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("パラメータファイルが見つかりません。\n" + m_dir / "no such params.xml"), std::string::npos)
        << r.err;
    // A timeline document that is not XML.
    const std::string params = m_dir / "p.xml";
    writeFile(m_dir / "broken.xml", "<timeline><group");
    writeFile(params, paramsDoc(m_dir / "broken.xml", m_dir / "x.avi", 0, 1000, false));
    r = runProgram({VK_WRITER_EXE, params}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 30);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("タイムラインファイルの形式が正しくありません。\n" + m_dir / "broken.xml"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "x.avi"));

    // A missing source is named before anything is written.
    std::string doc = testTimeline(1.0, 320, 240, 30);
    const std::string gone = m_dir / "gone.avi";
    doc.replace(doc.find(g_media->still), g_media->still.size(), gone);
    r = render(doc, "new.avi", 0, 8000, false);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("入力ファイルが見つかりません。\n" + gone), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_out));
    // ...and an existing target is left exactly as it was.
    writeFile(m_dir / "keep.avi", "precious");
    r = render(doc, "keep.avi", 0, 8000, false);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(readFile(m_dir / "keep.avi"), "precious");
}

TEST_F(WriterRender, CancelMidRenderKeepsTheOldFileAndLeavesNoPart)
{
    // A long DV render, stopped (SIGTERM, like the Cancel button) once it is under way.
    std::string doc = "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" "
                      "framerate=\"29.97\" width=\"720\" height=\"480\"><track>";
    for (int i = 0; i < 15; ++i)
        doc += "<clip start=\"" + std::to_string(i * 4) + "\" stop=\"" + std::to_string(i * 4 + 4) +
               "\" mstart=\"0\" mstop=\"15\" src=\"" + g_media->video + "\"/>";
    doc += "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"8\" "
           "start=\"0\" stop=\"60\" src=\"" + g_media->sound + "\"/></track></group></timeline>";
    const std::string target = m_dir / "long.avi";
    writeFile(target, "old contents");
    const std::string xtl = m_dir / "long.xml", params = m_dir / "long-params.xml";
    writeFile(xtl, doc);
    writeFile(params, paramsDoc(xtl, target, 0, 60000, true));
    // Stop once some frames (not all) are written: "progress  n% frame k/total" with k > 0.
    auto underWay = [](const std::string& out) {
        const auto at = out.rfind(" frame ");
        return at != std::string::npos && out.compare(at, 9, " frame 0/") != 0;
    };
    const RunResult r = runProgram({VK_WRITER_EXE, params}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 240, underWay);
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("キャンセルしました。ファイルは作成されていません。"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(target), "old contents");
    for (const auto& e : fs::directory_iterator(m_dir.path()))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
}

TEST_F(WriterRender, PreviewPlaysTheRangeHeadlessAndClosesAtTheEnd)
{
    if (!fs::exists("/usr/bin/xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    const std::string xtl = m_dir / "T-KaDro-Clips.xml", params = m_dir / "T-KaDro-Params.xml";
    writeFile(xtl, testTimeline(1.0, 320, 240, 30));
    writeFile(params, paramsDoc(xtl, "", 3000, 5000, false));
    const auto t0 = std::chrono::steady_clock::now();
    const RunResult r = runProgram({"xvfb-run", "-a", VK_WRITER_EXE, params},
                                   {{"SDL_AUDIODRIVER", "dummy"}, {"QT_QPA_PLATFORM", "xcb"}}, 60);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("preview finished"), std::string::npos) << r.out << r.err;
    // Real time: a 2 s range takes about 2 s, not a flash.
    EXPECT_GT(seconds, 1.5);
}

TEST_F(WriterRender, PreviewSpacePausesAndResumesAndEscClosesEarly)
{
    if (!fs::exists("/usr/bin/xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    const std::string xtl = m_dir / "T-KaDro-Clips.xml", params = m_dir / "T-KaDro-Params.xml";
    writeFile(xtl, testTimeline(1.0, 320, 240, 30));
    writeFile(params, paramsDoc(xtl, "", 0, 8000, false));
    // Times count from the first shown frame. Space pauses at 1 s, the read-out
    // is looked at twice while paused, Space plays on at 2.4 s, Esc at 3.6 s.
    const std::string keys = "space@1000,look@1300,look@2300,space@2400,look@3400,esc@3600";
    const auto t0 = std::chrono::steady_clock::now();
    const RunResult r = runProgram({"xvfb-run", "-a", VK_WRITER_EXE, params},
                                   {{"SDL_AUDIODRIVER", "dummy"}, {"QT_QPA_PLATFORM", "xcb"},
                                    {"VK_WRITER_TEST_KEYS", keys}},
                                   60);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("preview closed"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("preview finished"), std::string::npos) << "Esc did not end the 8 s preview early\n" << r.out;
    EXPECT_LT(seconds, 7.5) << r.out;

    const KeyReport pause = keyReport(r.out, "space", 1000);
    const KeyReport paused1 = keyReport(r.out, "look", 1300);
    const KeyReport paused2 = keyReport(r.out, "look", 2300);
    const KeyReport resume = keyReport(r.out, "space", 2400);
    const KeyReport playing = keyReport(r.out, "look", 3400);
    const KeyReport esc = keyReport(r.out, "esc", 3600);
    ASSERT_TRUE(pause.seen && paused1.seen && paused2.seen && resume.seen && playing.seen && esc.seen) << r.out;

    // Playing before the first Space.
    EXPECT_FALSE(pause.pausedText) << r.out;
    EXPECT_EQ(pause.button, "一時停止") << r.out;
    EXPECT_GT(pause.seconds, 0.5) << r.out;
    // Paused: the read-out stands still at the picture the key stopped.
    EXPECT_TRUE(paused1.pausedText) << r.out;
    EXPECT_EQ(paused1.button, "再生") << r.out;
    EXPECT_DOUBLE_EQ(paused1.seconds, paused2.seconds) << r.out;
    EXPECT_LE(std::fabs(paused1.seconds - pause.seconds), 0.07) << r.out;
    // Playing on from there, in real time, without a jump.
    EXPECT_FALSE(playing.pausedText) << r.out;
    EXPECT_EQ(playing.button, "一時停止") << r.out;
    EXPECT_GT(playing.seconds - paused2.seconds, 0.5) << r.out;
    EXPECT_LT(playing.seconds - paused2.seconds, 1.4) << r.out;
    EXPECT_LT(esc.seconds, 7.0) << r.out;
}

// H.264 sources with B-frames, cut the way a music video is: short spans that
// jump forwards and backwards around key frames, from an mp4 (which the
// renderer seeks by presentation time, without the engine's decoding run-up)
// and from an MPEG-TS copy of the same stream (which keeps the run-up), one
// span at double speed, a plain red clip, a gap and a fade. Every picture
// must be exactly the source frame the span maps it to, and the red clip red,
// in an uncompressed AVI and in an MP4.
TEST_F(WriterRender, H264CutsAreFrameExactAfterEverySeek)
{
    const std::string mp4 = m_dir / "numbered.mp4", ts = m_dir / "numbered.ts", red = m_dir / "red.mp4";
    ASSERT_TRUE(makeNumberedH264(mp4, 20));
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-i", mp4, "-c", "copy", ts}));
    ASSERT_TRUE(makeColourH264(red, "red", 2));

    struct Span {
        int track;                     // 1 or 2
        double start, stop;            // timeline seconds
        std::string src;
        int firstFrame;                // source frame shown first
        double speed;
    };
    const std::vector<Span> spans = {
        {1, 0.0, 0.5, mp4, 28, 1},  {1, 0.5, 1.0, mp4, 88, 1},  {1, 1.0, 1.5, mp4, 59, 1},
        {1, 1.5, 2.0, ts, 29, 1},   {1, 2.0, 2.5, ts, 148, 1},  {1, 2.5, 3.0, ts, 119, 1},
        {1, 3.0, 3.5, red, 0, 1},   {1, 4.0, 5.0, mp4, 200, 2}, {1, 5.0, 6.5, mp4, 239, 1},
        {2, 5.5, 6.5, mp4, 400, 1},
    };
    std::string doc = "<timeline><group type=\"video\" framerate=\"30\" width=\"320\" height=\"240\"><track>";
    for (int track = 1; track <= 2; ++track) {
        if (track == 2)
            doc += "</track><track>";
        for (const Span& s : spans)
            if (s.track == track)
                doc += "<clip start=\"" + num(s.start) + "\" stop=\"" + num(s.stop) + "\" mstart=\"" +
                       num(s.firstFrame / 30.0) + "\" mstop=\"" +
                       num(s.firstFrame / 30.0 + (s.stop - s.start) * s.speed) + "\" src=\"" + s.src + "\"/>";
    }
    doc += "<transition start=\"5.5\" stop=\"5.8\" clsid=\"" + std::string(kFade) + "\"/>";
    doc += "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"6.5\" "
           "start=\"0\" stop=\"6.5\" src=\"" + g_media->sound + "\"/></track></group></timeline>";
    const std::string engineXml = m_dir / "engine.mlt";
    // Uncompressed AVI at the timeline's size, and MP4 (H.264 at 640x360,
    // the pictures stretched to fill): the same pictures in both.
    const std::vector<std::pair<std::string, Mp4Profile>> outputs = {{"cuts.avi", {}},
                                                                      {"cuts.mp4", {640, 360, "30"}}};
    for (const auto& [outName, profile] : outputs) {
        SCOPED_TRACE(outName);
        const RunResult r = render(doc, outName, 0, 6500, false, "640-2000k-stereo.prx", engineXml, profile);
        EXPECT_EQ(checkLine(r.out), "check: 195/195 frames, sound 6.500 s, picture 6.500 s, offset 0 ms");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // The mp4 spans run without the run-up, the MPEG-TS ones with it.
        const std::string engine = readFile(engineXml);
        EXPECT_NE(engine.find(mp4 + "</property>\n    <property name=\"threads\">2</property>\n    <property "
                                    "name=\"_speed\">"),
                  std::string::npos)
            << engine;
        EXPECT_EQ(engine.find(ts + "</property>\n    <property name=\"threads\">2</property>\n    <property "
                                   "name=\"_speed\">"),
                  std::string::npos)
            << engine;

        const int w = 160, h = 120;
        const std::vector<std::string> frames = decodeFrames(m_out, w, h);
        ASSERT_EQ(frames.size(), 195u);
        int exact = 0, reds = 0, blacks = 0;
        for (int f = 0; f < int(frames.size()); ++f) {
            const Span* top = nullptr;
            for (const Span& s : spans)
                if (f >= std::lround(s.start * 30) && f < std::lround(s.stop * 30) && (!top || s.track > top->track))
                    top = &s;
            const std::string& img = frames[size_t(f)];
            if (!top) {
                EXPECT_LT(meanLevel(img), 20) << "frame " << f << " should be black";
                ++blacks;
            } else if (f >= 165 && f < 174) {
                continue;  // the fade
            } else if (top->src == red) {
                int r0, g0, b0;
                pixel(img, w, w / 2, h / 2, r0, g0, b0);
                EXPECT_TRUE(r0 > 200 && g0 < 40 && b0 < 40) << "frame " << f << " " << r0 << "," << g0 << "," << b0;
                ++reds;
            } else {
                const double source = top->firstFrame + (f - std::lround(top->start * 30)) * top->speed;
                const int got = readFrameNumber(img, w, h);
                EXPECT_EQ(got, int(source)) << "frame " << f << " of a span from " << top->src << " at speed "
                                            << top->speed;
                ++exact;
            }
        }
        EXPECT_EQ(exact, 156);
        EXPECT_EQ(reds, 15);
        EXPECT_EQ(blacks, 15);
    }
}

// Every transition kind, one after the other on two tracks: a one-second
// transition from a blue picture (track 1) into a red one (track 2) every two
// seconds; pixelate goes from a fine blue/white chequer into a red/black one,
// so that its blocks show. Each kind is checked at a quarter, half and three
// quarters of its span against what it should look like, and the engine must
// not complain about any transition.
TEST_F(WriterRender, EveryTransitionKindDrawsAsIntended)
{
    struct Kind {
        const char* clsid;
        vk::TransitionStyle style;
    };
    const std::vector<Kind> kinds = {
        {"{16B280C5-EE70-11D1-9066-00C04FD9189D}", vk::TransitionStyle::Fade},
        {"{C3BDF740-0B58-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Barn},
        {"{00C429C0-0BA9-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Blinds},
        {"{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}", vk::TransitionStyle::Burn},
        {"{93073C40-0BA5-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Inset},
        {"{3F69F351-0379-11D2-A484-00C04F8EFB69}", vk::TransitionStyle::Iris},
        {"{4CCEA634-FBE0-11d1-906A-00C04FD9189D}", vk::TransitionStyle::Pixelate},
        {"{424B71AF-0695-11D2-A484-00C04F8EFB69}", vk::TransitionStyle::RadialWipe},
        {"{810E402F-056B-11D2-A484-00C04F8EFB69}", vk::TransitionStyle::Slide},
        {"{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Spiral},
        {"{7658F2A2-0A83-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Stretch},
        {"{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Wheel},
        {"{AF279B30-86EB-11D1-81BF-0000F87557DB}", vk::TransitionStyle::Wipe},
        {"{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Zigzag},
    };
    const int w = 320, h = 240, fps = 30;
    const std::string blue = m_dir / "blue.png", red = m_dir / "red.png";
    const std::string oldChequer = m_dir / "old-chequer.png", newChequer = m_dir / "new-chequer.png";
    ASSERT_TRUE(makeStill(blue, "blue", w, h));
    ASSERT_TRUE(makeStill(red, "red", w, h));
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::string cell = "mod(floor(X/2)+floor(Y/2),2)";
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                       "color=c=black:s=" + size + ",format=rgb24,geq=r='255*" + cell + "':g='255*" + cell +
                           "':b=255",
                       "-frames:v", "1", oldChequer}));
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                       "color=c=black:s=" + size + ",format=rgb24,geq=r='255*" + cell + "':g=0:b=0", "-frames:v", "1",
                       newChequer}));

    std::string lower, upper;
    for (size_t k = 0; k < kinds.size(); ++k) {
        const int s = int(2 * k);
        const bool chequer = kinds[k].style == vk::TransitionStyle::Pixelate;
        lower += "<clip start=\"" + std::to_string(s) + "\" stop=\"" + std::to_string(s + 2) +
                 "\" mstart=\"0\" mstop=\"0\" src=\"" + (chequer ? oldChequer : blue) + "\"/>";
        upper += "<clip start=\"" + std::to_string(s + 1) + "\" stop=\"" + std::to_string(s + 2) +
                 "\" mstart=\"0\" mstop=\"0\" src=\"" + (chequer ? newChequer : red) + "\"/>";
        upper += "<transition start=\"" + std::to_string(s + 1) + "\" stop=\"" + std::to_string(s + 2) +
                 "\" clsid=\"" + kinds[k].clsid + "\"/>";
    }
    const int seconds = int(2 * kinds.size());
    const std::string doc = "<timeline><group type=\"video\" framerate=\"30\" width=\"320\" height=\"240\"><track>" +
                            lower + "</track><track>" + upper +
                            "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" "
                            "mstop=\"8\" start=\"0\" stop=\"8\" src=\"" +
                            g_media->sound + "\"/></track></group></timeline>";
    const RunResult r = render(doc, "transitions.avi", 0, seconds * 1000, false);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("invalid transition type"), std::string::npos) << r.err.substr(0, 2000);
    EXPECT_EQ(r.err.find("[transition "), std::string::npos) << r.err.substr(0, 2000);

    const std::vector<std::string> frames = decodeFrames(m_out, w, h);
    ASSERT_EQ(frames.size(), size_t(seconds * fps));
    auto isRed = [](int r0, int g0, int b0) { return r0 > 200 && g0 < 50 && b0 < 50; };
    auto isBlue = [](int r0, int g0, int b0) { return b0 > 200 && r0 < 50 && g0 < 50; };
    for (size_t k = 0; k < kinds.size(); ++k) {
        const vk::TransitionStyle style = kinds[k].style;
        const std::string name = vk::transitionStyleName(style);
        const int first = int(2 * k + 1) * fps;  // the transition's first frame
        const std::vector<unsigned char> map = vk::usesLumaMap(style) ? vk::lumaMap(style, w, h)
                                                                      : std::vector<unsigned char>();
        // Just before its start: the old picture alone.
        {
            int r0, g0, b0;
            pixel(frames[size_t(first - 1)], w, w / 2, h / 2, r0, g0, b0);
            if (style != vk::TransitionStyle::Pixelate) {
                EXPECT_TRUE(isBlue(r0, g0, b0)) << name << " before its start: " << r0 << "," << g0 << "," << b0;
            }
        }
        for (int at : {8, 15, 22}) {
            const std::string& img = frames[size_t(first + at)];
            const double p = double(at) / fps;            // the engine's progress on this frame
            const double q = double(at) / (fps - 1);      // key-framed geometry: 0 on the first, 1 on the last frame
            int wrong = 0, checked = 0;
            std::ostringstream firstWrong;
            auto expect = [&](bool ok, int x, int y, int r0, int g0, int b0, const char* what) {
                ++checked;
                if (!ok && wrong++ == 0)
                    firstWrong << " first at " << x << "," << y << ": " << r0 << "," << g0 << "," << b0 << " ("
                               << what << ")";
            };
            for (int y = 1; y < h; y += 4) {
                for (int x = 1; x < w; x += 4) {
                    int r0, g0, b0;
                    pixel(img, w, x, y, r0, g0, b0);
                    const double cx = x + 0.5;
                    switch (style) {
                    case vk::TransitionStyle::Fade: {
                        const double share = double(r0) / std::max(1, r0 + b0);
                        expect(std::fabs(share - p) < 0.12 && g0 < 50, x, y, r0, g0, b0, "dissolve");
                        break;
                    }
                    case vk::TransitionStyle::Burn:
                        // Hot: much brighter than either picture, with a glow neither has.
                        expect(r0 > 180 && g0 > 90, x, y, r0, g0, b0, "glow");
                        break;
                    case vk::TransitionStyle::Pixelate: {
                        // Blocks: no trace of the 2-pixel chequer, the colour of the old
                        // picture before the middle and of the new one after it.
                        int r1, g1, b1;
                        pixel(img, w, x + 2, y, r1, g1, b1);
                        const bool flat = std::abs(r0 - r1) + std::abs(g0 - g1) + std::abs(b0 - b1) < 60;
                        const bool colour = p < 0.5 ? (b0 > 200 && r0 > 70 && r0 < 190 && g0 > 70 && g0 < 190)
                                                    : (r0 > 70 && r0 < 190 && g0 < 50 && b0 < 50);
                        expect(flat && colour, x, y, r0, g0, b0, "block");
                        break;
                    }
                    case vk::TransitionStyle::Slide: {  // the new picture's left edge at (1 - q) * w
                        const double edge = (1 - q) * w;
                        if (std::fabs(cx - edge) > 4)
                            expect(cx > edge ? isRed(r0, g0, b0) : isBlue(r0, g0, b0), x, y, r0, g0, b0, "slide");
                        break;
                    }
                    case vk::TransitionStyle::Stretch: {  // a band round the centre line
                        const double half = (0.01 + 0.99 * q) * w / 2;
                        const double d = std::fabs(cx - w / 2.0);
                        if (std::fabs(d - half) > 4)
                            expect(d < half ? isRed(r0, g0, b0) : isBlue(r0, g0, b0), x, y, r0, g0, b0, "stretch");
                        break;
                    }
                    default: {  // wipes: a pixel has turned once the progress has passed its map value
                        const double m = map[size_t(y) * w + x] / 255.0;
                        if (m < p - 0.05)
                            expect(isRed(r0, g0, b0), x, y, r0, g0, b0, "new");
                        else if (m > p + 0.05)
                            expect(isBlue(r0, g0, b0), x, y, r0, g0, b0, "old");
                        break;
                    }
                    }
                }
            }
            EXPECT_GT(checked, 1000) << name << " frame " << at;
            EXPECT_LE(wrong, checked / 100) << name << " at progress " << p << ": " << wrong << " of " << checked
                                            << " pixels wrong," << firstWrong.str();
        }
    }
}

// Every kind of file the writer makes must decode from start to end with
// nothing to report: `ffmpeg -v warning -i FILE -f null -` prints no line.
// The one line allowed is ffmpeg's note that it assumed the usual layout for
// the sound's channels ("Guessed Channel Layout ... : stereo"): these formats
// store PCM and WMA sound with the plain wave header, which names the number
// of channels but no speaker layout, and ffmpeg prints the same note for the
// files it writes itself. The writer's own muxer must not complain either.
TEST_F(WriterRender, EveryOutputDecodesWithoutErrorsOrWarnings)
{
    struct Output {
        const char* name;
        bool dv;
    };
    const std::vector<Output> outputs = {
        {"dv.avi", true}, {"raw.avi", false}, {"sound.wav", false}, {"movie.wmv", false}, {"movie.mp4", false}};
    const std::string doc = testTimeline(1.0, 320, 240, 30);
    for (const Output& o : outputs) {
        const bool mp4 = std::string(o.name) == "movie.mp4";
        const RunResult r = render(doc, o.name, 0, 3000, o.dv, "320-0300k-stereo.prx", "",
                                   mp4 ? Mp4Profile{854, 480, "29.97"} : Mp4Profile{});
        ASSERT_EQ(r.exitCode, 0) << o.name << "\n" << r.err;
        for (const char* muxer : {"[avi @", "[wav @", "[asf @", "[mp4 @", "[libx264 @", "[aac @"})
            EXPECT_EQ(r.err.find(muxer), std::string::npos) << o.name << ": the muxer complained\n" << r.err;

        const RunResult d = runProgram({"ffmpeg", "-nostdin", "-v", "warning", "-i", m_out, "-f", "null", "-"});
        EXPECT_EQ(d.exitCode, 0) << o.name << "\n" << d.err;
        std::istringstream lines(d.out + d.err);
        std::string line;
        int reported = 0;
        while (std::getline(lines, line)) {
            if (line.empty() || line.rfind("Guessed Channel Layout for Input Stream", 0) == 0)
                continue;
            ADD_FAILURE() << o.name << " does not decode cleanly: " << line;
            ++reported;
        }
        EXPECT_EQ(reported, 0) << o.name;
        // Nothing was dropped to get there: the sound is complete.
        EXPECT_NEAR(probeDuration(m_out), 3.0, 0.1) << o.name;
        const std::vector<short> sound = decodeSound(m_out, 48000);
        EXPECT_NEAR(double(sound.size()), 3.0 * 48000, 48000 * 0.05) << o.name;
    }
}
