// Translation of timeline documents into the engine's timeline. Each case is
// checked against a golden MLT XML file under tests/data/writer/ and against
// structural rules read back from the generated XML. Set VK_UPDATE_GOLDEN=1
// to rewrite the golden files after a deliberate change (and review the diff).

#include "writer/mltbuilder.h"
#include "writer/paramsdocument.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

using namespace vk;

namespace {

// A fake of what the engine reports: pictures are 200x300 stills, everything
// else a 320x240 video at 30 fps; names containing "broken" cannot be opened;
// ".mp4" files seek by presentation time.
SourceInfo fakeMedia(const std::string& src)
{
    SourceInfo m;
    m.ok = src.find("broken") == std::string::npos;
    m.still = isStillImagePath(src);
    m.width = m.still ? 200 : 320;
    m.height = m.still ? 300 : 240;
    m.seeksByPresentationTime = !m.still && endsWithNoCase(src, ".mp4");
    m.frameRate = m.still ? 0 : 30;
    return m;
}

// One editor row: a sound section with an optional video registration.
struct Row {
    Row(double t, std::string s = {}, double in = 0, double out = 0, std::string effect = {}, double d = 0,
        bool keepAspect = false)
        : tStart(t), src(std::move(s)), mIn(in), mOut(out), clsid(std::move(effect)), transDur(d), preserve(keepAspect)
    {
    }
    double tStart;     // section start, seconds
    std::string src;   // empty: no video
    double mIn, mOut;  // media span, seconds
    std::string clsid; // effect: opens a new track
    double transDur;
    bool preserve;
};

std::string num(double v)
{
    std::ostringstream o;
    o.imbue(std::locale::classic());
    o.precision(15);
    o << v;
    return o.str();
}

double round3(double v)
{
    return std::nearbyint(v * 1000) / 1000;
}

// Writes the document the way the editor builds it from its rows: clips go
// into the current track, a row with an effect opens a new track with a
// transition, the clip before a transition runs on under it, and the sound
// is cut into one piece per row; f is 1 / sound playback rate.
std::string editorTimeline(const std::vector<Row>& rows, double soundEnd, double f, int w = 320, int h = 240,
                           double fps = 30)
{
    std::string v = "<group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"" + num(fps) +
                    "\" width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"><track>";
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        const double tEnd = r + 1 < rows.size() ? rows[r + 1].tStart : soundEnd;
        if (row.src.empty())
            continue;
        if (!row.clsid.empty())
            v += "</track><track>";
        double stopSec = tEnd;
        if (r + 1 < rows.size() && !rows[r + 1].clsid.empty())
            stopSec += rows[r + 1].transDur;
        v += "<clip start=\"" + num(round3(row.tStart * f)) + "\" stop=\"" + num(round3(stopSec * f)) + "\" mstart=\"" +
             num(row.mIn) + "\" mstop=\"" + num(row.mOut) + "\" src=\"" + row.src + "\"" +
             (row.preserve ? " stretchmode=\"PreserveAspectRatio\"" : "") + "/>";
        if (!row.clsid.empty())
            v += "<transition start=\"" + num(round3(row.tStart * f)) + "\" stop=\"" +
                 num(round3((row.tStart + row.transDur) * f)) + "\" clsid=\"" + row.clsid + "\"/>";
    }
    v += "</track></group>";
    std::string a = "<group type=\"audio\" samplingrate=\"48000\"><track>";
    for (size_t r = 0; r < rows.size(); ++r) {
        const double tEnd = r + 1 < rows.size() ? rows[r + 1].tStart : soundEnd;
        a += "<clip mstart=\"" + num(rows[r].tStart) + "\" mstop=\"" + num(tEnd) + "\" start=\"" +
             num(round3(rows[r].tStart * f)) + "\" stop=\"" + num(round3(tEnd * f)) + "\" src=\"/media/song.wav\"/>";
    }
    a += "</track></group>";
    return "<timeline>" + v + a + "</timeline>";
}

const char* kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";
const char* kIris = "{3F69F351-0379-11D2-A484-00C04F8EFB69}";
const char* kSlide = "{810E402F-056B-11D2-A484-00C04F8EFB69}";
const char* kPixelate = "{4CCEA634-FBE0-11d1-906A-00C04FD9189D}";

BuildResult translate(const std::string& timelineXml, long long startMs, long long endMs,
                      const std::string& aviName = "/out/result.avi")
{
    Timeline t;
    std::string error;
    EXPECT_TRUE(parseTimeline(timelineXml, t, error)) << error;
    WriterParams p;
    p.aviFileName = aviName;
    const OutputSettings o = chooseOutput(p, t);
    BuildOptions options;
    options.lumaDir = "/LUMA";
    options.withVideo = o.kind != OutputKind::Wav;
    return buildMltXml(t, o, startMs, endMs, fakeMedia, options);
}

void expectGolden(const std::string& name, const std::string& xml)
{
    const std::string path = std::string(VK_WRITER_GOLDEN_DIR) + "/" + name + ".mlt";
    if (const char* u = std::getenv("VK_UPDATE_GOLDEN"); u && std::string(u) == "1") {
        std::ofstream(path, std::ios::binary) << xml;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing golden file " << path;
    std::stringstream want;
    want << in.rdbuf();
    EXPECT_EQ(xml, want.str()) << "engine timeline differs from " << path;
}

// The generated XML read back as plain values.
struct Parsed {
    pugi::xml_document doc;
    explicit Parsed(const std::string& xml) { EXPECT_TRUE(doc.load_string(xml.c_str())); }

    std::string prop(pugi::xml_node n, const char* name) const
    {
        return n.find_child_by_attribute("property", "name", name).text().as_string();
    }
    pugi::xml_node producer(const std::string& id) const
    {
        return doc.child("mlt").find_child_by_attribute("producer", "id", id.c_str());
    }
    pugi::xml_node playlist(const std::string& id) const
    {
        return doc.child("mlt").find_child_by_attribute("playlist", "id", id.c_str());
    }
    // Placed pieces of a playlist: timeline start frame, length, producer, in.
    struct Piece {
        long long at, length, in;
        std::string producer;
    };
    std::vector<Piece> pieces(const std::string& id) const
    {
        std::vector<Piece> out;
        long long at = 0;
        for (pugi::xml_node n : playlist(id).children()) {
            if (std::string(n.name()) == "blank") {
                at += n.attribute("length").as_llong();
            } else {
                const long long in = n.attribute("in").as_llong(), o = n.attribute("out").as_llong();
                out.push_back({at, o - in + 1, in, n.attribute("producer").as_string()});
                at += o - in + 1;
            }
        }
        return out;
    }
    // A time warp's speed, or a video's read at another rate (the fake
    // videos run at 30 fps); 1 for everything else.
    double speedOf(const std::string& producerId) const
    {
        const pugi::xml_node p = producer(producerId);
        if (prop(p, "mlt_service") == "timewarp")
            return std::stod(prop(p, "resource"));
        if (!prop(p, "force_fps").empty())
            return std::stod(prop(p, "force_fps")) / 30.0;
        return 1.0;
    }
    bool changesSpeed(const std::string& producerId) const { return speedOf(producerId) != 1.0; }
    std::vector<pugi::xml_node> transitions() const
    {
        std::vector<pugi::xml_node> out;
        for (pugi::xml_node t : doc.child("mlt").child("tractor").children("transition"))
            out.push_back(t);
        return out;
    }
};

// The rows used by most cases: a normal-speed span, a 3x span, a still, a
// row without video (a gap) and a slowed span, with two transitions.
std::vector<Row> sampleRows()
{
    return {
        {0.0, "/media/clip.avi", 1.0, 3.0},
        {2.0, "/media/clip.avi", 5.0, 11.0},
        {4.0, "/media/red.png", 0, 0, kFade, 0.5},
        {6.0, ""},
        {7.0, "/media/other.avi", 2.0, 2.5, kIris, 0.4, true},
    };
}

} // namespace

TEST(WriterTranslation, TracksAndTransitions)
{
    std::vector<Row> rows = sampleRows();
    rows.push_back({8.0, "/media/clip.avi", 12, 13, kSlide, 0.3});
    rows.push_back({9.0, "/media/clip.avi", 14, 15, kPixelate, 0.3});
    const BuildResult r = translate(editorTimeline(rows, 10.0, 1.0), 0, 10000);
    expectGolden("tracks_transitions", r.xml);

    Parsed x(r.xml);
    // Background, four video tracks (one per effect plus the first), sound.
    const pugi::xml_node multi = x.doc.child("mlt").child("tractor").child("multitrack");
    std::vector<std::string> tracks;
    for (pugi::xml_node t : multi.children("track"))
        tracks.push_back(t.attribute("producer").as_string());
    ASSERT_EQ(tracks, (std::vector<std::string>{"black", "video1", "video2", "video3", "video4", "video5", "sound"}));
    EXPECT_STREQ(multi.child("track").attribute("hide").as_string(), "audio");
    EXPECT_STREQ(multi.last_child().attribute("hide").as_string(), "video");

    const auto ts = x.transitions();
    ASSERT_EQ(ts.size(), 4u);
    // Each transition blends from the track below into its own track, over its span.
    const struct {
        const char* service;
        int a, b;
        long long in, out;
        const char* style;
    } want[] = {
        {"luma", 1, 2, 120, 134, "fade"},
        {"luma", 2, 3, 210, 221, "iris"},
        {"composite", 3, 4, 240, 248, "slide"},
        {"vk_blend", 4, 5, 270, 278, "pixelate"},
    };
    for (size_t i = 0; i < ts.size(); ++i) {
        EXPECT_EQ(x.prop(ts[i], "mlt_service"), want[i].service) << i;
        EXPECT_EQ(x.prop(ts[i], "a_track"), std::to_string(want[i].a)) << i;
        EXPECT_EQ(x.prop(ts[i], "b_track"), std::to_string(want[i].b)) << i;
        EXPECT_EQ(x.prop(ts[i], "in"), std::to_string(want[i].in)) << i;
        EXPECT_EQ(x.prop(ts[i], "out"), std::to_string(want[i].out)) << i;
        EXPECT_EQ(x.prop(ts[i], "vk_style"), want[i].style) << i;
    }
    EXPECT_EQ(x.prop(ts[0], "resource"), ""); // a plain dissolve
    EXPECT_EQ(x.prop(ts[1], "resource"), "/LUMA/vk-iris.pgm");
    EXPECT_EQ(r.lumaStyles, (std::set<TransitionStyle>{TransitionStyle::Iris}));

    // The clip before a transition runs on under it: 2 s .. 4.5 s.
    const auto below = x.pieces("video1");
    ASSERT_EQ(below.size(), 2u);
    EXPECT_EQ(below[1].at, 60);
    EXPECT_EQ(below[1].length, 75);
}

TEST(WriterTranslation, SameSpeedSpanUsesThePlainSource)
{
    // Media span equal to the section length (the editor's normal speed):
    // no time warp, the in point is the media start.
    const std::vector<Row> rows = {{0.0, "/media/clip.avi", 3.2, 5.7}, {2.5, "/media/clip.avi", 10.0, 10.5}};
    const BuildResult r = translate(editorTimeline(rows, 3.0, 1.0), 0, 3000);
    expectGolden("same_speed", r.xml);
    Parsed x(r.xml);
    const auto v = x.pieces("video1");
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(x.prop(x.producer(v[0].producer), "mlt_service"), "avformat");
    EXPECT_EQ(v[0].in, 96); // 3.2 s at 30 fps
    EXPECT_EQ(v[0].length, 75);
    EXPECT_EQ(v[1].producer, v[0].producer); // one source, one producer
    EXPECT_EQ(v[1].in, 300);
    EXPECT_EQ(v[1].length, 15);
    // The sound pieces play at normal speed too.
    for (const auto& a : x.pieces("sound"))
        EXPECT_DOUBLE_EQ(x.speedOf(a.producer), 1.0);
}

TEST(WriterTranslation, StillsCoverTheirSpanStretchedOrLetterboxed)
{
    std::vector<Row> rows = {{0.0, "/media/red.png"}, {1.5, "/media/red.png"}, {4.0, "/media/blue.jpg"}};
    rows[1].preserve = true;
    const BuildResult r = translate(editorTimeline(rows, 5.0, 1.0), 0, 5000);
    expectGolden("stills", r.xml);
    Parsed x(r.xml);
    const auto v = x.pieces("video1");
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].length, 45);
    EXPECT_EQ(v[1].length, 75);
    EXPECT_EQ(v[2].length, 30);
    // Stretched: the 200x300 picture gets the pixel shape that fills 4:3.
    EXPECT_NEAR(std::stod(x.prop(x.producer(v[0].producer), "force_aspect_ratio")), 4.0 / 3.0 * 300 / 200, 1e-6);
    // Letterboxed: keeps its own shape.
    EXPECT_NE(v[1].producer, v[0].producer);
    EXPECT_EQ(x.prop(x.producer(v[1].producer), "force_aspect_ratio"), "");
    for (const auto& piece : v)
        EXPECT_NE(x.prop(x.producer(piece.producer), "mlt_service"), "timewarp");
}

TEST(WriterTranslation, GapsAreBlankOverBlack)
{
    const std::vector<Row> rows = {
        {0.0, ""}, {1.0, "/media/clip.avi", 0, 1}, {2.0, ""}, {3.0, ""}, {4.0, "/media/clip.avi", 5, 6}};
    const BuildResult r = translate(editorTimeline(rows, 5.0, 1.0), 0, 5000);
    expectGolden("gaps", r.xml);
    Parsed x(r.xml);
    const pugi::xml_node pl = x.playlist("video1");
    std::vector<std::string> kinds;
    for (pugi::xml_node n : pl.children())
        kinds.push_back(std::string(n.name()) + ":" +
                        (std::string(n.name()) == "blank" ? n.attribute("length").as_string() : ""));
    EXPECT_EQ(kinds, (std::vector<std::string>{"blank:30", "entry:", "blank:60", "entry:"}));
    const pugi::xml_node black = x.producer("black");
    EXPECT_EQ(x.prop(black, "mlt_service"), "color");
    EXPECT_EQ(x.prop(black, "resource"), "0x000000ff");
    EXPECT_GE(std::stoll(x.prop(black, "length")), 150);
    // The sound still covers the whole timeline, gaps included.
    const auto s = x.pieces("sound");
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s.front().at, 0);
    EXPECT_EQ(s.back().at + s.back().length, 150);
}

TEST(WriterTranslation, PlaybackRateTwoHalvesTheTimelineAndDoublesTheSpeeds)
{
    const std::vector<Row> rows = sampleRows();
    const BuildResult one = translate(editorTimeline(rows, 8.0, 1.0), 0, 8000);
    const BuildResult two = translate(editorTimeline(rows, 8.0, 0.5), 0, 4000);
    expectGolden("rate2", two.xml);
    Parsed a(one.xml), b(two.xml);
    for (const char* track : {"video1", "video2", "video3", "sound"}) {
        const auto pa = a.pieces(track), pb = b.pieces(track);
        ASSERT_EQ(pa.size(), pb.size()) << track;
        for (size_t i = 0; i < pa.size(); ++i) {
            EXPECT_NEAR(pb[i].at, pa[i].at / 2.0, 0.5) << track << " piece " << i;
            EXPECT_NEAR(pb[i].length, pa[i].length / 2.0, 1.0) << track << " piece " << i;
            if (a.changesSpeed(pa[i].producer) || b.changesSpeed(pb[i].producer)) {
                EXPECT_NEAR(b.speedOf(pb[i].producer), 2 * a.speedOf(pa[i].producer), 1e-6) << track << " " << i;
            }
        }
    }
    // Sound at double speed keeps its pitch.
    for (const auto& s : b.pieces("sound")) {
        const pugi::xml_node p = b.producer(s.producer);
        EXPECT_EQ(b.prop(p, "mlt_service"), "timewarp");
        EXPECT_EQ(b.prop(p, "warp_pitch"), "1");
        EXPECT_DOUBLE_EQ(b.speedOf(s.producer), 2.0);
    }
    EXPECT_EQ(b.doc.child("mlt").child("tractor").attribute("out").as_llong(), 119);
}

TEST(WriterTranslation, RangeLimitsTheRenderedFrames)
{
    const std::string doc = editorTimeline(sampleRows(), 8.0, 1.0);
    const BuildResult r = translate(doc, 1500, 6250);
    expectGolden("range", r.xml);
    Parsed x(r.xml);
    const pugi::xml_node tractor = x.doc.child("mlt").child("tractor");
    EXPECT_EQ(tractor.attribute("in").as_llong(), 45);
    EXPECT_EQ(tractor.attribute("out").as_llong(), 187);
    EXPECT_EQ(r.range.in, 45);
    EXPECT_EQ(r.range.out, 187);
    EXPECT_EQ(r.range.count(), 143);
    // An end at or before the start renders to the end of the timeline.
    const BuildResult open = translate(doc, 2000, 0);
    EXPECT_EQ(open.range.in, 60);
    EXPECT_EQ(open.range.out, 239);
    // 29.97 fps: 1 s is frame 30 (29.97 rounded), 10 s ends at frame 300.
    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(editorTimeline(sampleRows(), 8.0, 1.0, 720, 480, 29.97), t, error));
    const FrameRange ntsc = frameRangeFor(1000, 10000, t, frameRateFromValue(29.97));
    EXPECT_EQ(ntsc.in, 30);
    EXPECT_EQ(ntsc.out, 299);
}

TEST(WriterTranslation, SpeedsAndInPointsFollowTheMediaSpan)
{
    const BuildResult r = translate(editorTimeline(sampleRows(), 8.0, 1.0), 0, 8000);
    Parsed x(r.xml);
    const auto v1 = x.pieces("video1");
    ASSERT_EQ(v1.size(), 2u);
    // 5 s .. 11 s over 2 s .. 4.5 s (run on under the fade): 2.4x from 5 s.
    EXPECT_NEAR(x.speedOf(v1[1].producer), 6.0 / 2.5, 1e-9);
    EXPECT_NEAR(v1[1].in * 2.4 / 30.0, 5.0, 0.5 / 30 * 2.4 + 1e-9);
    const auto v2 = x.pieces("video2");
    ASSERT_EQ(v2.size(), 1u);
    EXPECT_EQ(v2[0].at, 120); // the still 4 s .. 6 s, then the row without video
    EXPECT_EQ(v2[0].length, 60);
    // Row 5 opened the third video track: 0.5 s of media over 1 s from 2 s.
    const auto v3 = x.pieces("video3");
    ASSERT_EQ(v3.size(), 1u);
    EXPECT_EQ(v3[0].at, 210);
    EXPECT_EQ(v3[0].length, 30);
    EXPECT_NEAR(x.speedOf(v3[0].producer), 0.5, 1e-9);
    EXPECT_EQ(v3[0].in, 120);                                                // 2 s of media at half speed
    EXPECT_EQ(x.prop(x.producer(v3[0].producer), "force_aspect_ratio"), ""); // PreserveAspectRatio
    EXPECT_NE(x.prop(x.producer(v1[0].producer), "force_aspect_ratio"), "");
    const pugi::xml_node multi = x.doc.child("mlt").child("tractor").child("multitrack");
    EXPECT_EQ(std::distance(multi.children("track").begin(), multi.children("track").end()), 5);
}

TEST(WriterTranslation, WavOutputLeavesTheVideoOutAndBrokenSourcesAreReported)
{
    const BuildResult wav = translate(editorTimeline(sampleRows(), 8.0, 1.0), 0, 8000, "/out/a.WAV");
    Parsed x(wav.xml);
    EXPECT_FALSE(x.playlist("video1"));
    EXPECT_EQ(x.pieces("sound").size(), 5u);
    EXPECT_TRUE(x.transitions().empty());

    std::vector<Row> rows = sampleRows();
    rows[1].src = "/media/broken.avi";
    const BuildResult r = translate(editorTimeline(rows, 8.0, 1.0), 0, 8000);
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_NE(r.warnings[0].find("/media/broken.avi"), std::string::npos);
}

TEST(WriterTranslation, FilesSeekingByPresentationTimeSkipTheSeekRunUp)
{
    // Spans of an mp4 play through a file producer whose own speed is just
    // above 1 (no two-second decoding run-up before a seek), at normal speed
    // and read at another rate alike; an avi keeps the run-up.
    const std::vector<Row> rows = {{0.0, "/media/phone.mp4", 3.2, 5.7},
                                   {2.5, "/media/old.avi", 10.0, 10.5},
                                   {3.0, "/media/phone.mp4", 20.0, 21.0}};
    const BuildResult r = translate(editorTimeline(rows, 3.5, 1.0), 0, 3500);
    Parsed x(r.xml);
    const auto v = x.pieces("video1");
    ASSERT_EQ(v.size(), 3u);
    const pugi::xml_node mp4 = x.producer(v[0].producer), avi = x.producer(v[1].producer),
                         warp = x.producer(v[2].producer);
    EXPECT_EQ(x.prop(mp4, "mlt_service"), "avformat");
    EXPECT_GT(std::stod(x.prop(mp4, "_speed")), 1.0);
    EXPECT_LT(std::stod(x.prop(mp4, "_speed")), 1.001);
    EXPECT_EQ(x.prop(avi, "mlt_service"), "avformat");
    EXPECT_EQ(x.prop(avi, "_speed"), "");
    EXPECT_EQ(x.prop(warp, "mlt_service"), "avformat");
    EXPECT_EQ(x.prop(warp, "force_fps"), "60"); // 1 s of media over 0.5 s
    EXPECT_GT(std::stod(x.prop(warp, "_speed")), 1.0);
    EXPECT_DOUBLE_EQ(x.speedOf(v[2].producer), 2.0);
    EXPECT_EQ(v[2].in, 300); // 20 s of media at 2x: producer frame 300
    // Its length covers its clips even where the file would end sooner.
    EXPECT_GE(std::stoll(x.prop(warp, "length")), v[2].in + v[2].length);
    // Frames keep normal speed: the run-up is the only thing that changes.
    EXPECT_EQ(v[0].in, 96);
    EXPECT_EQ(v[0].length, 75);
}
