// Documents with values no output can mean (a sampling rate of 2.5 Hz, a range that
// starts before 0 or ends before it starts, sizes, rates, bit depths and channel
// counts no picture or sound has) are refused by the readers, with their usual
// message and exit status 1, before anything is written: an existing target stays
// exactly as it was and no temporary file is left beside it.
#include "writer_render.h"

#include <gtest/gtest.h>

#include <set>

using namespace vkrender;

namespace {

// A value changed in one of the two documents the editor would write.
struct Edit {
    bool inTimeline; // else in the parameters document
    std::string from, to;
};

struct Refused {
    const char* what;
    std::vector<Edit> edits;
    std::string reason; // what the reader says
};

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace

TEST_F(WriterRender, EachRefusedDocumentKeepsTheTarget)
{
    // 2 s of the numbered video over the first tone, as the editor writes it for a
    // 320x240 30 fps output: the sound alone into a WAV, PCM 48 kHz 16-bit stereo.
    const std::string timeline =
        "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"30\" "
        "width=\"320\" height=\"240\"><track><clip start=\"0\" stop=\"2\" mstart=\"1\" mstop=\"3\" src=\"" +
        g_media->video +
        "\"/></track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"2\" "
        "start=\"0\" stop=\"2\" src=\"" +
        g_media->sound + "\"/></track></group></timeline>";
    const std::string xtl = m_dir / "T-KaDro-Clips.xml", params = m_dir / "T-KaDro-Params.xml";
    const std::string folder = m_dir / "out";
    const std::string target = folder + "/song.wav";
    const std::string paramsText =
        "<params><XtlFilePath>" + xtl + "</XtlFilePath><AviFileName>" + target +
        "</AviFileName><WriteGrfArg></WriteGrfArg><WriteXtlArg></WriteXtlArg><StartPoint>0</StartPoint>"
        "<EndPoint>2000</EndPoint><VideoCompressor dwBitRate=\"0\" KeyFrameRate=\"0\" Quality=\"0\" "
        "WindowSize=\"0\"></VideoCompressor><AudioCompressor nSamplesPerSec=\"48000\" wBitsPerSample=\"16\" "
        "nChannels=\"2\">PCM</AudioCompressor><PrxFileName></PrxFileName></params>";
    const std::string old = "RIFF the user's own file, not to be touched\n";
    // Each run starts from the target alone in its folder.
    auto run = [&](const std::string& timelineText, const std::string& params_) {
        writeFile(xtl, timelineText);
        writeFile(params, params_);
        fs::remove_all(folder);
        fs::create_directory(folder);
        writeFile(target, old);
        return runProgram({VK_WRITER_EXE, params}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 60);
    };

    // The documents as they are render, and replace the target: what is refused
    // below is refused for its one value.
    {
        const RunResult r = run(timeline, paramsText);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(probeStream(target, "a:0")["sample_rate"], "48000");
        EXPECT_NEAR(probeDuration(target), 2.0, 0.02);
    }

    const std::string timelineHead = "タイムラインファイルの形式が正しくありません。\n" + xtl + "\n";
    const std::vector<Refused> cases = {
        // The document of the fault: a 2.5 Hz sound and a range from -1 ms. The
        // parameters are read first.
        {"sampling rate 2.5 and start -1",
         {{true, "samplingrate=\"48000\"", "samplingrate=\"2.5\""}, {false, "<StartPoint>0<", "<StartPoint>-1<"}},
         "開始位置（StartPoint）の値が正しくありません: \"-1\"（0〜2147483647 のミリ秒）"},
        {"sampling rate 2.5",
         {{true, "samplingrate=\"48000\"", "samplingrate=\"2.5\""}},
         timelineHead + "<group> の \"samplingrate\" が正しくありません（\"2.5\"、8000〜192000 の整数）。"},
        {"sampling rate below 8 kHz",
         {{true, "samplingrate=\"48000\"", "samplingrate=\"7999\""}},
         timelineHead + "<group> の \"samplingrate\" が正しくありません（\"7999\"、8000〜192000 の整数）。"},
        {"sampling rate above 192 kHz",
         {{true, "samplingrate=\"48000\"", "samplingrate=\"384000\""}},
         timelineHead + "<group> の \"samplingrate\" が正しくありません（\"384000\"、8000〜192000 の整数）。"},
        {"sampling rate not a number",
         {{true, "samplingrate=\"48000\"", "samplingrate=\"fast\""}},
         timelineHead + "<group> の \"samplingrate\" が正しくありません（\"fast\"、8000〜192000 の整数）。"},
        {"frame rate 0",
         {{true, "framerate=\"30\"", "framerate=\"0\""}},
         timelineHead + "<group> の \"framerate\" が正しくありません（\"0\"、1 以上 240 以下）。"},
        {"frame rate above 240",
         {{true, "framerate=\"30\"", "framerate=\"1000\""}},
         timelineHead + "<group> の \"framerate\" が正しくありません（\"1000\"、1 以上 240 以下）。"},
        {"width 0",
         {{true, "width=\"320\"", "width=\"0\""}},
         timelineHead + "<group> の \"width\" が正しくありません（\"0\"、16〜8192 の整数）。"},
        {"width in halves",
         {{true, "width=\"320\"", "width=\"320.5\""}},
         timelineHead + "<group> の \"width\" が正しくありません（\"320.5\"、16〜8192 の整数）。"},
        {"negative height",
         {{true, "height=\"240\"", "height=\"-240\""}},
         timelineHead + "<group> の \"height\" が正しくありません（\"-240\"、16〜8192 の整数）。"},
        {"height beyond any encoder",
         {{true, "height=\"240\"", "height=\"100000\""}},
         timelineHead + "<group> の \"height\" が正しくありません（\"100000\"、16〜8192 の整数）。"},
        {"bit depth 0",
         {{true, "bitdepth=\"24\"", "bitdepth=\"0\""}},
         timelineHead + "<group> の \"bitdepth\" が正しくありません（\"0\"、8、16、24、32 のいずれか）。"},
        {"bit depth 23",
         {{true, "bitdepth=\"24\"", "bitdepth=\"23\""}},
         timelineHead + "<group> の \"bitdepth\" が正しくありません（\"23\"、8、16、24、32 のいずれか）。"},
        {"negative start",
         {{false, "<StartPoint>0<", "<StartPoint>-1<"}},
         "開始位置（StartPoint）の値が正しくありません: \"-1\"（0〜2147483647 のミリ秒）"},
        {"negative end",
         {{false, "<EndPoint>2000<", "<EndPoint>-2000<"}},
         "終了位置（EndPoint）の値が正しくありません: \"-2000\"（0〜2147483647 のミリ秒）"},
        {"end beyond the editor's times",
         {{false, "<EndPoint>2000<", "<EndPoint>4294967296<"}},
         "終了位置（EndPoint）の値が正しくありません: \"4294967296\"（0〜2147483647 のミリ秒）"},
        {"reversed range",
         {{false, "<StartPoint>0<", "<StartPoint>2500<"}},
         "終了位置（EndPoint）\"2000\" が開始位置（StartPoint）\"2500\" より前です。"},
        {"PCM at 3 Hz",
         {{false, "nSamplesPerSec=\"48000\"", "nSamplesPerSec=\"3\""}},
         "音声圧縮（AudioCompressor）の nSamplesPerSec の値が正しくありません: \"3\"（8000〜192000 の整数、"
         "指定しないときは 0）"},
        {"PCM at 2.5 Hz",
         {{false, "nSamplesPerSec=\"48000\"", "nSamplesPerSec=\"2.5\""}},
         "音声圧縮（AudioCompressor）の nSamplesPerSec の値が正しくありません: \"2.5\"（8000〜192000 の整数、"
         "指定しないときは 0）"},
        {"PCM of 12 bits",
         {{false, "wBitsPerSample=\"16\"", "wBitsPerSample=\"12\""}},
         "音声圧縮（AudioCompressor）の wBitsPerSample の値が正しくありません: \"12\"（8、16、24、32 のいずれか、"
         "指定しないときは 0）"},
        {"six channels",
         {{false, "nChannels=\"2\"", "nChannels=\"6\""}},
         "音声圧縮（AudioCompressor）の nChannels の値が正しくありません: \"6\"（1 か 2、指定しないときは 0）"},
        {"negative channels",
         {{false, "nChannels=\"2\"", "nChannels=\"-2\""}},
         "音声圧縮（AudioCompressor）の nChannels の値が正しくありません: \"-2\"（1 か 2、指定しないときは 0）"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.what);
        std::string t = timeline, p = paramsText;
        for (const Edit& e : c.edits) {
            std::string& doc = e.inTimeline ? t : p;
            ASSERT_NE(doc.find(e.from), std::string::npos) << e.from;
            doc.replace(doc.find(e.from), e.from.size(), e.to);
        }
        const RunResult r = run(t, p);
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.err.find("T-VideoWrite: " + c.reason + "\n"), std::string::npos) << r.err;
        const std::string now = readFile(target);
        EXPECT_TRUE(now == old) << "the target was replaced: " << now.size() << " bytes";
        EXPECT_EQ(namesIn(folder), std::set<std::string>{"song.wav"});
        // Refused before the engine starts: no frame range was ever announced.
        EXPECT_EQ(r.out.find("frames"), std::string::npos) << r.out;
    }
}
