// Reading the writer's two input documents, choosing the output, and the
// transition table.

#include "writer/outputformat.h"
#include "writer/paramsdocument.h"
#include "writer/timelinereader.h"
#include "writer/transitionstyle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
using namespace vk;

namespace {

class ScratchDir {
public:
    ScratchDir()
    {
        std::string t = (fs::temp_directory_path() / "vkwriter-doc-XXXXXX").string();
        m_path = mkdtemp(t.data());
    }
    ~ScratchDir() { fs::remove_all(m_path); }
    std::string file(const std::string& name, const std::string& text) const
    {
        const std::string p = m_path + "/" + name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string paramsXml(const std::string& avi, const std::string& vc, const std::string& ac,
                      const std::string& prx = "512-1500k-stereo.prx")
{
    const bool pcm = ac == "PCM";
    return "<params><XtlFilePath>/tmp/my docs/T-KaDro-Clips.xml</XtlFilePath><AviFileName>" + avi +
           "</AviFileName><WriteGrfArg>/tmp/g.grf</WriteGrfArg><WriteXtlArg>/tmp/x.xml</WriteXtlArg>"
           "<StartPoint>1500</StartPoint><EndPoint>64250</EndPoint>"
           "<VideoCompressor dwBitRate=\"0\" KeyFrameRate=\"0\" Quality=\"0\" WindowSize=\"0\">" +
           vc + "</VideoCompressor><AudioCompressor nSamplesPerSec=\"" + (pcm ? "48000" : "0") +
           "\" wBitsPerSample=\"" + (pcm ? "16" : "0") + "\" nChannels=\"" + (pcm ? "2" : "0") + "\">" + ac +
           "</AudioCompressor><PrxFileName>" + prx + "</PrxFileName></params>";
}

const char* kTimeline =
    "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"29.97\" "
    "width=\"640\" height=\"480\"><track><clip start=\"0\" stop=\"1.5\" mstart=\"2\" mstop=\"3.5\" src=\"/m/a.avi\"/>"
    "<clip start=\"1.5\" stop=\"3.2\" mstart=\"0\" mstop=\"5.1\" src=\"/m/b.avi\" stretchmode=\"PreserveAspectRatio\"/>"
    "</track><track><clip start=\"3\" stop=\"4\" mstart=\"0\" mstop=\"0\" src=\"/m/c.png\"/>"
    "<transition start=\"3\" stop=\"3.2\" clsid=\"{3F69F351-0379-11D2-A484-00C04F8EFB69}\"/></track></group>"
    "<group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"1.5\" start=\"0\" stop=\"1.5\" "
    "src=\"/m/song.wav\"/><clip mstart=\"1.5\" mstop=\"4\" start=\"1.5\" stop=\"4\" src=\"/m/song.wav\"/></track>"
    "</group></timeline>";

} // namespace

TEST(WriterParams, ReadsEveryFieldOfADvDocument)
{
    ScratchDir dir;
    WriterParams p;
    std::string error;
    ASSERT_TRUE(loadWriterParams(dir.file("p.xml", paramsXml("/out/v.avi", "DV Video Encoder", "PCM")), p, error))
        << error;
    EXPECT_EQ(p.xtlFilePath, "/tmp/my docs/T-KaDro-Clips.xml");
    EXPECT_EQ(p.aviFileName, "/out/v.avi");
    EXPECT_EQ(p.writeGrfArg, "/tmp/g.grf");
    EXPECT_EQ(p.writeXtlArg, "/tmp/x.xml");
    EXPECT_EQ(p.startMs, 1500);
    EXPECT_EQ(p.endMs, 64250);
    EXPECT_EQ(p.video.name, "DV Video Encoder");
    EXPECT_EQ(p.audio.name, "PCM");
    EXPECT_EQ(p.audio.samplesPerSec, 48000);
    EXPECT_EQ(p.audio.bitsPerSample, 16);
    EXPECT_EQ(p.audio.channels, 2);
    EXPECT_EQ(p.prxFileName, "512-1500k-stereo.prx");
    EXPECT_FALSE(p.isPreview());
}

TEST(WriterParams, EmptyOutputIsAPreviewAndBadDocumentsAreRefused)
{
    ScratchDir dir;
    WriterParams p;
    std::string error;
    ASSERT_TRUE(loadWriterParams(dir.file("p.xml", paramsXml("", "", "")), p, error));
    EXPECT_TRUE(p.isPreview());
    EXPECT_EQ(p.audio.samplesPerSec, 0);

    EXPECT_FALSE(loadWriterParams(dir.path() + "/missing.xml", p, error));
    // The reasons are shown to the user as they are: Japanese, with the path.
    EXPECT_EQ(error, "パラメータファイルが見つかりません。\n" + dir.path() + "/missing.xml");
    EXPECT_FALSE(loadWriterParams(dir.file("bad.xml", "<params><XtlFilePath>x"), p, error));
    EXPECT_EQ(error, "パラメータファイルの形式が正しくありません。\n" + dir.path() + "/bad.xml");
    EXPECT_FALSE(loadWriterParams(dir.file("root.xml", "<timeline/>"), p, error));
    EXPECT_NE(error.find("<params> がありません"), std::string::npos) << error;
    std::string text = paramsXml("/o.avi", "", "");
    text.replace(text.find("1500</StartPoint>"), 4, "abc");
    EXPECT_FALSE(loadWriterParams(dir.file("nan.xml", text), p, error));
    EXPECT_NE(error.find("開始位置（StartPoint）が数値ではありません"), std::string::npos) << error;
    EXPECT_NE(error.find("\"abc\""), std::string::npos) << error;
}

// The MP4 document: the two compressors name H.264 and AAC, and the profile's
// size, rate and (optionally) quality follow in their own elements.
std::string mp4Xml(const std::string& extra, const std::string& vc = "H.264", const std::string& ac = "AAC")
{
    std::string text = paramsXml("/out/movie.mp4", vc, ac, "");
    text.insert(text.find("</params>"), extra);
    return text;
}

const std::string kMp4Elements =
    "<FrameWidth>1920</FrameWidth><FrameHeight>1080</FrameHeight><FrameRate>59.94</FrameRate>";

TEST(WriterParams, Mp4DocumentCarriesSizeRateAndQuality)
{
    ScratchDir dir;
    WriterParams p;
    std::string error;
    ASSERT_TRUE(
        loadWriterParams(dir.file("a.xml", mp4Xml(kMp4Elements + "<VideoQuality> 20 </VideoQuality>")), p, error))
        << error;
    EXPECT_TRUE(p.mp4.requested);
    EXPECT_EQ(p.mp4.width, 1920);
    EXPECT_EQ(p.mp4.height, 1080);
    EXPECT_DOUBLE_EQ(p.mp4.frameRate, 59.94);
    EXPECT_EQ(p.mp4.quality, 20);
    EXPECT_EQ(p.aviFileName, "/out/movie.mp4");

    // VideoQuality may be left out (or empty): the default quality.
    ASSERT_TRUE(loadWriterParams(dir.file("b.xml", mp4Xml(kMp4Elements)), p, error)) << error;
    EXPECT_EQ(p.mp4.quality, kMp4DefaultQuality);
    ASSERT_TRUE(loadWriterParams(dir.file("c.xml", mp4Xml(kMp4Elements + "<VideoQuality/>")), p, error)) << error;
    EXPECT_EQ(p.mp4.quality, kMp4DefaultQuality);

    // Documents without the MP4 choice read as before, with or without the
    // elements (which only an MP4 document uses).
    for (const std::string& extra : {std::string(), kMp4Elements, std::string("<FrameWidth>odd</FrameWidth>")}) {
        std::string text = paramsXml("/out/v.avi", "DV Video Encoder", "PCM");
        text.insert(text.find("</params>"), extra);
        ASSERT_TRUE(loadWriterParams(dir.file("d.xml", text), p, error)) << error << " " << extra;
        EXPECT_FALSE(p.mp4.requested) << extra;
        EXPECT_EQ(p.mp4.width, 0);
        EXPECT_EQ(p.video.name, "DV Video Encoder");
        EXPECT_EQ(p.audio.samplesPerSec, 48000);
    }
}

TEST(WriterParams, Mp4DocumentWithMissingOrBadElementsIsRefusedWithAReason)
{
    ScratchDir dir;
    struct Case {
        std::string extra, vc, ac, message;
    };
    const std::string w = "<FrameWidth>1280</FrameWidth>", h = "<FrameHeight>720</FrameHeight>",
                      r = "<FrameRate>30</FrameRate>";
    const std::vector<Case> cases = {
        {h + r, "H.264", "AAC", "MP4 の作成に必要な FrameWidth（フレームの幅）がパラメータファイルにありません。"},
        {w + "<FrameHeight> </FrameHeight>" + r, "H.264", "AAC",
         "MP4 の作成に必要な FrameHeight（フレームの高さ）がパラメータファイルにありません。"},
        {w + h, "H.264", "AAC", "MP4 の作成に必要な FrameRate（フレームレート）がパラメータファイルにありません。"},
        {"<FrameWidth>wide</FrameWidth>" + h + r, "H.264", "AAC",
         "FrameWidth（フレームの幅）の値が正しくありません: \"wide\"（16〜4096 の偶数）"},
        {"<FrameWidth>853</FrameWidth>" + h + r, "H.264", "AAC",
         "FrameWidth（フレームの幅）の値が正しくありません: \"853\"（16〜4096 の偶数）"},
        {w + "<FrameHeight>720.5</FrameHeight>" + r, "H.264", "AAC",
         "FrameHeight（フレームの高さ）の値が正しくありません: \"720.5\"（16〜4096 の偶数）"},
        {"<FrameWidth>8192</FrameWidth>" + h + r, "H.264", "AAC",
         "FrameWidth（フレームの幅）の値が正しくありません: \"8192\"（16〜4096 の偶数）"},
        {w + h + "<FrameRate>0</FrameRate>", "H.264", "AAC",
         "FrameRate（フレームレート）の値が正しくありません: \"0\"（1 以上 120 以下）"},
        // Found by fuzzing: a tiny rate was taken and became a rate of 0/1 in the engine.
        {w + h + "<FrameRate>.0003</FrameRate>", "H.264", "AAC",
         "FrameRate（フレームレート）の値が正しくありません: \".0003\"（1 以上 120 以下）"},
        {w + h + "<FrameRate>0.5</FrameRate>", "H.264", "AAC",
         "FrameRate（フレームレート）の値が正しくありません: \"0.5\"（1 以上 120 以下）"},
        {w + h + "<FrameRate>29,97</FrameRate>", "H.264", "AAC",
         "FrameRate（フレームレート）の値が正しくありません: \"29,97\"（1 以上 120 以下）"},
        {w + h + "<FrameRate>nan</FrameRate>", "H.264", "AAC",
         "FrameRate（フレームレート）の値が正しくありません: \"nan\"（1 以上 120 以下）"},
        {w + h + r + "<VideoQuality>60</VideoQuality>", "H.264", "AAC",
         "VideoQuality（画質）の値が正しくありません: \"60\"（0〜51 の整数）"},
        {w + h + r + "<VideoQuality>good</VideoQuality>", "H.264", "AAC",
         "VideoQuality（画質）の値が正しくありません: \"good\"（0〜51 の整数）"},
        {w + h + r, "H.264", "PCM", "MP4 の音声圧縮（AudioCompressor）には \"AAC\" を指定してください: \"PCM\""},
        {w + h + r, "H.264", "", "MP4 の音声圧縮（AudioCompressor）には \"AAC\" を指定してください: \"\""},
        {w + h + r, "", "AAC", "音声圧縮 \"AAC\" は映像圧縮（VideoCompressor）\"H.264\" と組み合わせてください: \"\""},
        {w + h + r, "h264", "AAC",
         "音声圧縮 \"AAC\" は映像圧縮（VideoCompressor）\"H.264\" と組み合わせてください: \"h264\""},
    };
    for (const Case& c : cases) {
        WriterParams p;
        p.xtlFilePath = "untouched";
        std::string error;
        EXPECT_FALSE(loadWriterParams(dir.file("bad.xml", mp4Xml(c.extra, c.vc, c.ac)), p, error)) << c.extra;
        EXPECT_EQ(error, c.message) << c.extra;
        EXPECT_EQ(p.xtlFilePath, "untouched") << "a refused document must not fill the result";
    }
}

TEST(WriterParams, CommandLineWordsJoinIntoOnePath)
{
    const char* one[] = {"T-VideoWrite", "/tmp/a/T-KaDro-Params.xml"};
    EXPECT_EQ(joinCommandLinePath(2, one), "/tmp/a/T-KaDro-Params.xml");
    const char* split[] = {"T-VideoWrite", "/home/u/my", "temp", "dir/T-KaDro-Params.xml"};
    EXPECT_EQ(joinCommandLinePath(4, split), "/home/u/my temp dir/T-KaDro-Params.xml");
    const char* none[] = {"T-VideoWrite"};
    EXPECT_EQ(joinCommandLinePath(1, none), "");
}

TEST(WriterTimeline, ReadsGroupsTracksClipsAndTransitions)
{
    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(kTimeline, t, error)) << error;
    EXPECT_EQ(t.video.width, 640);
    EXPECT_EQ(t.video.height, 480);
    EXPECT_DOUBLE_EQ(t.video.frameRate, 29.97);
    ASSERT_EQ(t.video.tracks.size(), 2u);
    ASSERT_EQ(t.video.tracks[0].clips.size(), 2u);
    const TimelineClip& b = t.video.tracks[0].clips[1];
    EXPECT_DOUBLE_EQ(b.start, 1.5);
    EXPECT_DOUBLE_EQ(b.stop, 3.2);
    EXPECT_DOUBLE_EQ(b.mstart, 0);
    EXPECT_DOUBLE_EQ(b.mstop, 5.1);
    EXPECT_EQ(b.src, "/m/b.avi");
    EXPECT_TRUE(b.preserveAspect);
    EXPECT_FALSE(t.video.tracks[0].clips[0].preserveAspect);
    ASSERT_EQ(t.video.tracks[1].transitions.size(), 1u);
    EXPECT_DOUBLE_EQ(t.video.tracks[1].transitions[0].stop, 3.2);
    EXPECT_EQ(transitionStyleForClsid(t.video.tracks[1].transitions[0].clsid), TransitionStyle::Iris);
    ASSERT_TRUE(t.hasAudioGroup);
    EXPECT_EQ(t.audio.samplingRate, 48000);
    ASSERT_EQ(t.audio.clips.size(), 2u);
    EXPECT_DOUBLE_EQ(t.audio.clips[1].mstop, 4);
    EXPECT_DOUBLE_EQ(t.duration(), 4);
}

TEST(WriterTimeline, RefusesBrokenDocumentsWithAReason)
{
    Timeline t;
    std::string error;
    EXPECT_FALSE(parseTimeline("<timeline><group type=\"video\"><track><clip start=\"x\" stop=\"1\" src=\"a\"/>"
                               "</track></group></timeline>",
                               t, error));
    EXPECT_EQ(error, "<clip> の \"start\" が正しくありません（\"x\"）。");
    EXPECT_FALSE(parseTimeline("<timeline><group type=\"video\"><track><clip start=\"0\" stop=\"1\"/>"
                               "</track></group></timeline>",
                               t, error));
    EXPECT_EQ(error, "<clip> に \"src\" がありません。");
    EXPECT_FALSE(parseTimeline("<params/>", t, error));
    EXPECT_EQ(error, "<timeline> がありません。");
    EXPECT_FALSE(parseTimeline("<timeline>", t, error));
    EXPECT_FALSE(parseTimeline("<timeline/>", t, error));
    EXPECT_FALSE(readTimeline("/nonexistent/T-KaDro-Clips.xml", t, error));
    EXPECT_EQ(error, "タイムラインファイルが見つかりません。\n/nonexistent/T-KaDro-Clips.xml");
}

// The readers refuse values no output can mean (the end-to-end test of the refusals is
// WriterRender.EachRefusedDocumentKeepsTheTarget); every value at the ends of what
// they take, and everything the editor writes, still reads.
TEST(WriterTimeline, GroupValuesAtTheEndsOfTheirRangesAreRead)
{
    auto groups = [](const std::string& video, const std::string& audio) {
        return "<timeline><group type=\"video\" " + video + "><track/></group><group type=\"audio\" " + audio +
               "><track/></group></timeline>";
    };
    struct Case {
        std::string video, audio;
        int width, height, bitDepth, samplingRate;
        double frameRate;
    };
    const std::vector<Case> cases = {
        {"width=\"16\" height=\"16\" framerate=\"1\" bitdepth=\"8\"", "samplingrate=\"8000\"", 16, 16, 8, 8000, 1},
        {"width=\"8192\" height=\"8192\" framerate=\"240\" bitdepth=\"32\"", "samplingrate=\"192000\"", 8192, 8192, 32,
         192000, 240},
        {"width=\" 1920 \" height=\"1080.0\" framerate=\"23.976\" bitdepth=\"16\"", "samplingrate=\"44100\"", 1920,
         1080, 16, 44100, 23.976},
        // Left out: the defaults.
        {"", "", 720, 480, 24, 48000, 30},
    };
    for (const Case& c : cases) {
        Timeline t;
        std::string error;
        ASSERT_TRUE(parseTimeline(groups(c.video, c.audio), t, error)) << c.video << " " << c.audio << ": " << error;
        EXPECT_EQ(t.video.width, c.width) << c.video;
        EXPECT_EQ(t.video.height, c.height) << c.video;
        EXPECT_EQ(t.video.bitDepth, c.bitDepth) << c.video;
        EXPECT_DOUBLE_EQ(t.video.frameRate, c.frameRate) << c.video;
        EXPECT_EQ(t.audio.samplingRate, c.samplingRate) << c.audio;
    }
    // A value is checked only in the group that is read: the first of each kind.
    Timeline t;
    std::string error;
    EXPECT_TRUE(parseTimeline("<timeline><group type=\"audio\" samplingrate=\"22050\"/><group type=\"audio\" "
                              "samplingrate=\"2.5\"/></timeline>",
                              t, error))
        << error;
    EXPECT_EQ(t.audio.samplingRate, 22050);
}

TEST(WriterParams, RangesAndSoundValuesAtTheEndsOfTheirRangesAreRead)
{
    ScratchDir dir;
    struct Case {
        std::string start, end, rate, bits, channels;
        long long startMs, endMs;
        int samplesPerSec, bitsPerSample, channelCount;
    };
    const std::vector<Case> cases = {
        {"0", "2147483647", "8000", "8", "1", 0, 2147483647, 8000, 8, 1},
        {"1500", "1500", "192000", "32", "2", 1500, 1500, 192000, 32, 2}, // an empty range: to the end
        {" 0 ", "64250.0", "44100", "24", "2", 0, 64250, 44100, 24, 2},
        {"0", "0", "0", "0", "0", 0, 0, 0, 0, 0}, // no sound format named
        {"0", "1", "", "", "", 0, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::string text = paramsXml("/o/v.wav", "", "PCM");
        auto set = [&text](const std::string& from, const std::string& to) {
            text.replace(text.find(from), from.size(), to);
        };
        set("1500</StartPoint>", c.start + "</StartPoint>");
        set("64250</EndPoint>", c.end + "</EndPoint>");
        set("nSamplesPerSec=\"48000\"", "nSamplesPerSec=\"" + c.rate + "\"");
        set("wBitsPerSample=\"16\"", "wBitsPerSample=\"" + c.bits + "\"");
        set("nChannels=\"2\"", "nChannels=\"" + c.channels + "\"");
        WriterParams p;
        std::string error;
        ASSERT_TRUE(loadWriterParams(dir.file("p.xml", text), p, error)) << text << "\n" << error;
        EXPECT_EQ(p.startMs, c.startMs) << text;
        EXPECT_EQ(p.endMs, c.endMs) << text;
        EXPECT_EQ(p.audio.samplesPerSec, c.samplesPerSec) << text;
        EXPECT_EQ(p.audio.bitsPerSample, c.bitsPerSample) << text;
        EXPECT_EQ(p.audio.channels, c.channelCount) << text;
    }
    // Without the attributes at all.
    WriterParams p;
    std::string error;
    ASSERT_TRUE(loadWriterParams(dir.file("bare.xml", "<params><XtlFilePath>/t.xml</XtlFilePath><StartPoint>0"
                                                      "</StartPoint><EndPoint>0</EndPoint></params>"),
                                 p, error))
        << error;
    EXPECT_EQ(p.audio.samplesPerSec, 0);
}

// The documents the editor's own tests keep as what it writes.
TEST(WriterDocuments, EveryDocumentTheEditorWritesIsRead)
{
    int timelines = 0, params = 0;
    for (const auto& e : fs::directory_iterator(VK_EDITOR_DOCS_DIR)) {
        const std::string path = e.path().string();
        if (e.path().extension() != ".xml")
            continue;
        std::string error;
        if (e.path().filename().string().rfind("params_", 0) == 0) {
            WriterParams p;
            EXPECT_TRUE(loadWriterParams(path, p, error)) << path << ": " << error;
            ++params;
        } else {
            Timeline t;
            EXPECT_TRUE(readTimeline(path, t, error)) << path << ": " << error;
            ++timelines;
        }
    }
    EXPECT_GE(timelines, 4);
    EXPECT_GE(params, 3);
}

// The refused documents are seeds of the readers' fuzz runs; each must stay refused,
// with a reason, or it no longer starts the fuzzer where it was meant to.
TEST(WriterDocuments, EveryRefusedSeedOfTheFuzzCorpusIsRefused)
{
    int seeds = 0;
    for (const char* reader : {"writer_params", "writer_timeline"}) {
        for (const auto& e : fs::directory_iterator(std::string(VK_FUZZ_CORPUS_DIR) + "/" + reader)) {
            if (e.path().filename().string().rfind("refused_", 0) != 0)
                continue;
            const std::string path = e.path().string();
            std::string error;
            if (std::string(reader) == "writer_params") {
                WriterParams p;
                EXPECT_FALSE(loadWriterParams(path, p, error)) << path;
            } else {
                Timeline t;
                EXPECT_FALSE(readTimeline(path, t, error)) << path;
            }
            EXPECT_FALSE(error.empty()) << path;
            ++seeds;
        }
    }
    EXPECT_GE(seeds, 20);
}

TEST(WriterOutput, CompressorsAndExtensionChooseTheFile)
{
    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(kTimeline, t, error));
    WriterParams p;
    p.aviFileName = "/o/v.avi";
    p.video.name = "DV Video Encoder";
    p.audio.name = "PCM";
    OutputSettings o = chooseOutput(p, t);
    EXPECT_EQ(o.kind, OutputKind::DvAvi);
    EXPECT_EQ(o.videoCodec, "dvvideo");
    EXPECT_EQ(o.width, 720);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.rate.num, 30000);
    EXPECT_EQ(o.rate.den, 1001);
    EXPECT_EQ(o.audioCodec, "pcm_s16le");
    EXPECT_EQ(o.sampleRate, 48000);
    EXPECT_EQ(o.channels, 2);
    EXPECT_EQ(o.displayAspectNum * 3, o.displayAspectDen * 4); // DV shows as 4:3

    p.video.name.clear();
    p.audio.name.clear();
    o = chooseOutput(p, t);
    EXPECT_EQ(o.kind, OutputKind::RawAvi);
    EXPECT_EQ(o.videoCodec, "rawvideo");
    EXPECT_EQ(o.pixelFormat, "bgr24");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.rate.num, 30000); // the timeline's 29.97

    // A .wav name wins over the compressors, in any letter case.
    p.video.name = "DV Video Encoder";
    p.aviFileName = "/o/Song.WaV";
    o = chooseOutput(p, t);
    EXPECT_EQ(o.kind, OutputKind::Wav);
    EXPECT_TRUE(o.videoCodec.empty());
    EXPECT_EQ(o.muxer, "wav");

    for (const char* name : {"/o/v.wmv", "/o/v.ASF", "/o/v.Wmv"}) {
        p.aviFileName = name;
        p.prxFileName = "1280-5201K-HD.PRX";
        o = chooseOutput(p, t);
        EXPECT_EQ(o.kind, OutputKind::Asf) << name;
        EXPECT_EQ(o.videoCodec, "wmv2");
        EXPECT_EQ(o.audioCodec, "wmav2");
        EXPECT_EQ(o.width, 1280);
        EXPECT_EQ(o.height, 720);
        EXPECT_EQ(o.videoKbps + o.audioKbps, 5201);
        EXPECT_TRUE(o.note.empty());
    }
    p.aviFileName.clear();
    EXPECT_EQ(chooseOutput(p, t).kind, OutputKind::Preview);
}

// The MP4 profiles the editor offers: size and rate from the document (not
// from the timeline), H.264 at constant quality with fast start, AAC stereo
// 48 kHz at 192 kb/s, whatever the timeline's sound rate.
TEST(WriterOutput, EveryMp4ProfileGivesItsSizeRateAndCodecs)
{
    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(kTimeline, t, error));
    t.audio.samplingRate = 44100;
    struct Row {
        int w, h;
        double fps;
        int num, den;
    };
    const Row rows[] = {
        {640, 360, 29.97, 30000, 1001},   {640, 360, 30, 30, 1},
        {854, 480, 29.97, 30000, 1001},   {854, 480, 30, 30, 1},
        {1280, 720, 29.97, 30000, 1001},  {1280, 720, 30, 30, 1},
        {1920, 1080, 29.97, 30000, 1001}, {1920, 1080, 30, 30, 1},
        {1920, 1080, 59.94, 60000, 1001}, {1920, 1080, 60, 60, 1},
    };
    for (const Row& r : rows) {
        WriterParams p;
        p.aviFileName = "/o/movie.mp4";
        p.video.name = kMp4VideoCompressor;
        p.audio.name = kMp4AudioCompressor;
        p.mp4 = {true, r.w, r.h, r.fps, 19};
        const OutputSettings o = chooseOutput(p, t);
        const std::string what = std::to_string(r.w) + "x" + std::to_string(r.h) + "@" + std::to_string(r.fps);
        EXPECT_EQ(o.kind, OutputKind::Mp4) << what;
        EXPECT_STREQ(outputKindName(o.kind), "MP4");
        EXPECT_EQ(o.width, r.w) << what;
        EXPECT_EQ(o.height, r.h) << what;
        EXPECT_EQ(o.rate.num, r.num) << what;
        EXPECT_EQ(o.rate.den, r.den) << what;
        EXPECT_EQ(o.sampleAspectNum, 1);
        EXPECT_EQ(o.sampleAspectDen, 1);
        EXPECT_EQ(o.displayAspectNum * r.h, o.displayAspectDen * r.w) << what;
        EXPECT_EQ(o.muxer, "mp4");
        EXPECT_EQ(o.muxerFlags, "+faststart");
        EXPECT_EQ(o.videoCodec, "libx264");
        EXPECT_EQ(o.pixelFormat, "yuv420p");
        EXPECT_EQ(o.videoCrf, 19);
        EXPECT_EQ(o.videoPreset, kMp4Preset);
        EXPECT_EQ(o.videoKbps, 0);
        EXPECT_EQ(o.audioCodec, "aac");
        EXPECT_EQ(o.audioKbps, 192);
        EXPECT_EQ(o.sampleRate, 48000);
        EXPECT_EQ(o.channels, 2);
    }
    // The MP4 choice is the document's, whatever the file is called.
    WriterParams p;
    p.aviFileName = "/o/movie.wmv";
    p.mp4 = {true, 640, 360, 30, 18};
    EXPECT_EQ(chooseOutput(p, t).kind, OutputKind::Mp4);
    // Without it, an .mp4 name alone changes nothing.
    p.mp4 = {};
    p.aviFileName = "/o/movie.mp4";
    EXPECT_EQ(chooseOutput(p, t).kind, OutputKind::RawAvi);
}

TEST(WriterOutput, EveryWmvProfileMapsToItsSizeAndBitrate)
{
    struct Row {
        const char* name;
        int w, h, kbps, ch;
    };
    const Row rows[] = {
        {"240-0056k-mono.prx", 240, 176, 56, 1},      {"240-0150k-stereo.prx", 240, 176, 150, 2},
        {"240-0300k-stereo.prx", 240, 176, 300, 2},   {"320-0150k-stereo.prx", 320, 240, 150, 2},
        {"320-0300k-stereo.prx", 320, 240, 300, 2},   {"320-0700k-stereo.prx", 320, 240, 700, 2},
        {"640-0700k-stereo.prx", 640, 480, 700, 2},   {"640-1500k-stereo.prx", 640, 480, 1500, 2},
        {"640-2000k-stereo.prx", 640, 480, 2000, 2},  {"208-259K-POCKETPC.PRX", 208, 160, 259, 2},
        {"640-2073K-DVD.PRX", 640, 480, 2073, 2},     {"1280-5201K-HD.PRX", 1280, 720, 5201, 2},
        {"1440-7073K-HD.PRX", 1440, 1080, 7073, 2},   {"1920-9073K-HD.PRX", 1920, 1080, 9073, 2},
        {"512-1000k-stereo.prx", 512, 384, 1000, 2},  {"512-1500k-stereo.prx", 512, 384, 1500, 2},
        {"512-2000k-stereo.prx", 512, 384, 2000, 2},  {"512H-1000k-stereo.prx", 512, 288, 1000, 2},
        {"512H-1500k-stereo.prx", 512, 288, 1500, 2}, {"512H-2000k-stereo.prx", 512, 288, 2000, 2},
    };
    for (const Row& r : rows) {
        for (const std::string& name : {std::string(r.name), toLower(r.name), "C:\\Profiles\\" + std::string(r.name)}) {
            const WmvProfile p = wmvProfileFor(name);
            EXPECT_TRUE(p.known) << name;
            EXPECT_EQ(p.width, r.w) << name;
            EXPECT_EQ(p.height, r.h) << name;
            EXPECT_EQ(p.kbps, r.kbps) << name;
            EXPECT_EQ(p.channels, r.ch) << name;
        }
    }
    const WmvProfile unknown = wmvProfileFor("800-0999k-whatever.prx");
    EXPECT_FALSE(unknown.known);
    EXPECT_EQ(unknown.width, 640);
    EXPECT_EQ(unknown.height, 480);
    EXPECT_EQ(unknown.kbps, 2000);

    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(kTimeline, t, error));
    WriterParams p;
    p.aviFileName = "/o/v.wmv";
    p.prxFileName = "nonsense.prx";
    const OutputSettings o = chooseOutput(p, t);
    EXPECT_NE(o.note.find("nonsense.prx"), std::string::npos);
    EXPECT_EQ(o.width, 640);
}

TEST(WriterOutput, FrameRatesFromTheTimeline)
{
    const FrameRate ntsc = frameRateFromValue(29.97);
    EXPECT_EQ(ntsc.num, 30000);
    EXPECT_EQ(ntsc.den, 1001);
    EXPECT_EQ(frameRateFromValue(30).num, 30);
    EXPECT_EQ(frameRateFromValue(30).den, 1);
    EXPECT_EQ(frameRateFromValue(24).num, 24);
    const FrameRate odd = frameRateFromValue(12.5);
    EXPECT_DOUBLE_EQ(odd.value(), 12.5);
    EXPECT_EQ(frameRateFromValue(0).num, 30); // nonsense falls back to 30
}

TEST(WriterTransitions, EveryClsidMapsCaseInsensitivelyAndUnknownIsAFade)
{
    const std::pair<const char*, TransitionStyle> table[] = {
        {"{16B280C5-EE70-11D1-9066-00C04FD9189D}", TransitionStyle::Fade},
        {"{C3BDF740-0B58-11d2-A484-00C04F8EFB69}", TransitionStyle::Barn},
        {"{00C429C0-0BA9-11d2-A484-00C04F8EFB69}", TransitionStyle::Blinds},
        {"{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}", TransitionStyle::Burn},
        {"{93073C40-0BA5-11d2-A484-00C04F8EFB69}", TransitionStyle::Inset},
        {"{3F69F351-0379-11D2-A484-00C04F8EFB69}", TransitionStyle::Iris},
        {"{4CCEA634-FBE0-11d1-906A-00C04FD9189D}", TransitionStyle::Pixelate},
        {"{424B71AF-0695-11D2-A484-00C04F8EFB69}", TransitionStyle::RadialWipe},
        {"{810E402F-056B-11D2-A484-00C04F8EFB69}", TransitionStyle::Slide},
        {"{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}", TransitionStyle::Spiral},
        {"{7658F2A2-0A83-11d2-A484-00C04F8EFB69}", TransitionStyle::Stretch},
        {"{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}", TransitionStyle::Wheel},
        {"{AF279B30-86EB-11D1-81BF-0000F87557DB}", TransitionStyle::Wipe},
        {"{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}", TransitionStyle::Zigzag},
    };
    for (const auto& [clsid, style] : table) {
        EXPECT_EQ(transitionStyleForClsid(clsid), style) << clsid;
        EXPECT_EQ(transitionStyleForClsid(toLower(clsid)), style) << clsid;
        std::string bare(clsid);
        EXPECT_EQ(transitionStyleForClsid(bare.substr(1, bare.size() - 2)), style) << clsid;
    }
    EXPECT_EQ(transitionStyleForClsid("{036A9790-C153-11D2-9EF7-006008039E37}"), TransitionStyle::Fade);
    EXPECT_EQ(transitionStyleForClsid(""), TransitionStyle::Fade);
    EXPECT_EQ(transitionStyleForClsid("garbage"), TransitionStyle::Fade);
}

namespace {
int at(const std::vector<unsigned char>& m, int w, int x, int y)
{
    return m[size_t(y) * w + x];
}
} // namespace

TEST(WriterTransitions, WipeMapsHaveTheirShapes)
{
    const int w = 160, h = 120;
    auto wipe = lumaMap(TransitionStyle::Wipe, w, h);
    EXPECT_LT(at(wipe, w, 2, 60), at(wipe, w, 80, 60));
    EXPECT_LT(at(wipe, w, 80, 60), at(wipe, w, 157, 60));
    EXPECT_EQ(at(wipe, w, 40, 0), at(wipe, w, 40, 119)); // a straight bar

    auto iris = lumaMap(TransitionStyle::Iris, w, h);
    EXPECT_LT(at(iris, w, 80, 60), 10);
    EXPECT_GT(at(iris, w, 0, 0), 245);
    EXPECT_NEAR(at(iris, w, 80 + 30, 60), at(iris, w, 80, 60 + 30), 3); // round, not oval

    auto barn = lumaMap(TransitionStyle::Barn, w, h);
    EXPECT_LT(at(barn, w, 80, 10), at(barn, w, 10, 10));
    EXPECT_NEAR(at(barn, w, 20, 60), at(barn, w, 139, 60), 2); // symmetric doors

    auto inset = lumaMap(TransitionStyle::Inset, w, h);
    EXPECT_LT(at(inset, w, 1, 1), 5);
    EXPECT_GT(at(inset, w, 159, 119), 250);

    auto clock = lumaMap(TransitionStyle::RadialWipe, w, h);
    EXPECT_LT(at(clock, w, 82, 10), at(clock, w, 150, 60));  // twelve before three
    EXPECT_LT(at(clock, w, 150, 60), at(clock, w, 80, 110)); // three before six
    EXPECT_LT(at(clock, w, 80, 110), at(clock, w, 10, 60));  // six before nine

    auto blinds = lumaMap(TransitionStyle::Blinds, w, h);
    EXPECT_EQ(at(blinds, w, 10, 0), at(blinds, w, 150, 0));
    EXPECT_LT(at(blinds, w, 10, 12), at(blinds, w, 10, 20)); // a slat opens downwards
    EXPECT_EQ(at(blinds, w, 10, 13), at(blinds, w, 10, 25)); // and they repeat

    auto wheel = lumaMap(TransitionStyle::Wheel, w, h);
    EXPECT_NEAR(at(wheel, w, 82, 20), at(wheel, w, 120, 62), 12); // four spokes: quarter turns alike

    auto spiral = lumaMap(TransitionStyle::Spiral, w, h);
    EXPECT_LT(at(spiral, w, 5, 5), at(spiral, w, 155, 5));     // outer ring first, clockwise
    EXPECT_LT(at(spiral, w, 155, 115), at(spiral, w, 80, 60)); // centre last
    auto zigzag = lumaMap(TransitionStyle::Zigzag, w, h);
    EXPECT_LT(at(zigzag, w, 5, 5), at(zigzag, w, 155, 5));   // first row left to right
    EXPECT_LT(at(zigzag, w, 155, 30), at(zigzag, w, 5, 30)); // second row back
    EXPECT_LT(at(zigzag, w, 5, 5), at(zigzag, w, 5, 110));

    for (TransitionStyle s : {TransitionStyle::Barn, TransitionStyle::Blinds, TransitionStyle::Inset,
                              TransitionStyle::Iris, TransitionStyle::RadialWipe, TransitionStyle::Spiral,
                              TransitionStyle::Wheel, TransitionStyle::Wipe, TransitionStyle::Zigzag}) {
        EXPECT_TRUE(usesLumaMap(s));
        const auto m = lumaMap(s, w, h);
        const auto [lo, hi] = std::minmax_element(m.begin(), m.end());
        EXPECT_LT(*lo, 30) << transitionStyleName(s);  // every map runs from start...
        EXPECT_GT(*hi, 225) << transitionStyleName(s); // ...to end
    }
    for (TransitionStyle s : {TransitionStyle::Fade, TransitionStyle::Burn, TransitionStyle::Pixelate,
                              TransitionStyle::Slide, TransitionStyle::Stretch})
        EXPECT_FALSE(usesLumaMap(s));

    ScratchDir dir;
    const std::string pgm = dir.path() + "/" + lumaMapFileName(TransitionStyle::Iris);
    ASSERT_TRUE(writeLumaMap(TransitionStyle::Iris, w, h, pgm));
    std::ifstream in(pgm, std::ios::binary);
    std::string magic;
    int pw = 0, ph = 0, maxval = 0;
    in >> magic >> pw >> ph >> maxval;
    EXPECT_EQ(magic, "P5");
    EXPECT_EQ(pw, w);
    EXPECT_EQ(ph, h);
    EXPECT_EQ(maxval, 255);
    EXPECT_EQ(fs::file_size(pgm), size_t(w) * h + std::string("P5\n160 120\n255\n").size());
    EXPECT_FALSE(writeLumaMap(TransitionStyle::Iris, w, h, dir.path() + "/no/such/dir/x.pgm"));
}
