// End-to-end renders with T-VideoWrite on media generated here: a video whose
// frames carry their own number, a red still and a sound clip of one tone per
// section. Every checked output frame must show the source frame the
// timeline puts there, the gap must be black, the transition must mix both
// pictures, and each section must sound the tone of its part of the clip.
#include "writer_render.h"

#include <gtest/gtest.h>

using namespace vkrender;

TEST_F(WriterRender, DvAviIsNtscDvWithPcmSoundAndTheRightFrames)
{
    const std::string doc = testTimeline(1.0, 720, 480, 29.97);
    const RunResult r = render(doc, "out.avi", 0, 8000, true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Finished: " + m_out), std::string::npos);
    EXPECT_EQ(r.err.find("T-VideoWrite:"), std::string::npos) << r.err; // nothing to report
    EXPECT_NE(r.out.find("progress 100%"), std::string::npos);
    EXPECT_EQ(probeFormat(m_out), "avi");
    auto v = probeStream(m_out, "v:0");
    EXPECT_EQ(v["codec_name"], "dvvideo");
    EXPECT_EQ(v["width"], "720");
    EXPECT_EQ(v["height"], "480");
    EXPECT_EQ(v["r_frame_rate"], "30000/1001");
    EXPECT_EQ(v["nb_read_packets"], "240"); // 8 s at 29.97 fps
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

// On a busy machine the engine's file writer thread can get all the way to its
// first frame before the code that started it has marked it running. A preloaded
// helper makes that happen on every start: the writer must still write every
// frame on its first start, with and without pictures, and have nothing to report.
TEST_F(WriterRender, WriterThreadAheadOfItsStartStillWritesEveryFrame)
{
    m_env = {{"LD_PRELOAD", VK_WRITER_FIRST_LIB}};
    // Under AddressSanitizer the preloaded helper comes before the sanitizer's runtime,
    // which the sanitizer allows when told; elsewhere the option is not read.
    const char* asan = std::getenv("ASAN_OPTIONS");
    m_env["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
    const std::string doc = testTimeline(1.0, 720, 480, 29.97);
    RunResult r = render(doc, "ahead.avi", 0, 2000, true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("T-VideoWrite:"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Finished: " + m_out), std::string::npos) << r.out;
    EXPECT_EQ(probeStream(m_out, "v:0")["nb_read_packets"], "60"); // 2 s at 29.97 fps
    EXPECT_NEAR(probeDuration(m_out), 2.0, 0.04);
    checkSound(m_out, 1.0, 0, 2);

    r = render(doc, "ahead.wav", 0, 2000, false);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("T-VideoWrite:"), std::string::npos) << r.err;
    EXPECT_NEAR(probeDuration(m_out), 2.0, 0.02);
    checkSound(m_out, 1.0, 0, 2);
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
    EXPECT_EQ(v["nb_read_packets"], "156"); // 6.5 s at 24 fps
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
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov"),
               mdat = std::find(boxes.begin(), boxes.end(), "mdat");
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
        r = render(doc, name, 0, 2000, false, "", "",
                   std::string(name) == "off.mp4" ? Mp4Profile{640, 360, "30"} : Mp4Profile{},
                   {{"VK_WRITER_TEST_EXTRA_FRAMES", "2"}});
        EXPECT_EQ(r.exitCode, 3) << name << "\n" << r.out << r.err;
        EXPECT_EQ(checkLine(r.out), "check: 60/62 frames, sound 2.000 s, picture 2.000 s, offset 0 ms -- OUT OF SYNC")
            << r.out;
        EXPECT_NE(r.out.find("check failed: frames 60/62"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Finished:"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(
                      "T-VideoWrite: 作成したファイルの映像と音声が合っていません（1 フレームを超えるずれがあります）。"
                      "ファイルは残してあります。\n" +
                      m_out + "\n確認: フレーム 60/62、音声 2.000 秒、映像 2.000 秒、ずれ 0 ミリ秒"),
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
    const FrameReport rep = checkFrames(m_out, parsed(doc), 30, 0, false); // still letterboxed
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

// A minute of DV-sized video cut every 4 s, for renders stopped or killed midway.
static std::string longTimeline()
{
    std::string doc = "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" "
                      "framerate=\"29.97\" width=\"720\" height=\"480\"><track>";
    for (int i = 0; i < 15; ++i)
        doc += "<clip start=\"" + std::to_string(i * 4) + "\" stop=\"" + std::to_string(i * 4 + 4) +
               "\" mstart=\"0\" mstop=\"15\" src=\"" + g_media->video + "\"/>";
    doc += "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"8\" "
           "start=\"0\" stop=\"60\" src=\"" +
           g_media->sound + "\"/></track></group></timeline>";
    return doc;
}

// Some frames (not all) are written: "progress  n% frame k/total" with k > 0.
static bool renderUnderWay(const std::string& out)
{
    const auto at = out.rfind(" frame ");
    return at != std::string::npos && out.compare(at, 9, " frame 0/") != 0;
}

TEST_F(WriterRender, CancelMidRenderKeepsTheOldFileAndLeavesNoPart)
{
    // A long render, stopped (SIGTERM, like the Cancel button) once it is
    // under way: DV through the engine's file writer, MP4 through the
    // writer's own encoder.
    const std::string xtl = m_dir / "long.xml", params = m_dir / "long-params.xml";
    writeFile(xtl, longTimeline());
    for (const char* name : {"long.avi", "long.mp4"}) {
        SCOPED_TRACE(name);
        const bool mp4 = std::string(name) == "long.mp4";
        const std::string target = m_dir / name;
        writeFile(target, "old contents");
        writeFile(params, paramsDoc(xtl, target, 0, 60000, true, "640-2000k-stereo.prx", "",
                                    mp4 ? Mp4Profile{1280, 720, "29.97"} : Mp4Profile{}));
        const RunResult r = runProgram({VK_WRITER_EXE, params}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 240, renderUnderWay);
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_NE(r.err.find("キャンセルしました。ファイルは作成されていません。"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(target), "old contents");
        for (const auto& e : fs::directory_iterator(m_dir.path()))
            EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
    }
}

// A render that dies of a crash (here a SIGSEGV sent once it is under way, as the engine
// raised one when a source vanished while it was being opened, before the sources were
// held open) skips its clean-up; the part file and the writer's private folder must still
// go, and the old target stay.
TEST_F(WriterRender, CrashMidRenderKeepsTheOldFileAndLeavesNoPart)
{
    const std::string xtl = m_dir / "crash.xml", params = m_dir / "crash-params.xml";
    writeFile(xtl, longTimeline());
    // The writer makes its private folder here.
    const std::string temp = m_dir / "temp";
    fs::create_directory(temp);
    for (const char* name : {"crash.avi", "crash.mp4"}) {
        SCOPED_TRACE(name);
        const bool mp4 = std::string(name) == "crash.mp4";
        const std::string target = m_dir / name;
        writeFile(target, "old contents");
        writeFile(params, paramsDoc(xtl, target, 0, 60000, true, "640-2000k-stereo.prx", "",
                                    mp4 ? Mp4Profile{1280, 720, "29.97"} : Mp4Profile{}));
        const RunResult r = runProgram({VK_WRITER_EXE, params}, {{"VK_WRITER_NO_DIALOGS", "1"}, {"TMPDIR", temp}}, 240,
                                       renderUnderWay, SIGSEGV);
        // Ended by the signal (or, in a sanitizer build, by its report), not finished.
        EXPECT_TRUE(r.exitCode != 0 && r.exitCode != -1) << r.exitCode << r.out << r.err;
        EXPECT_EQ(r.out.find("Finished:"), std::string::npos) << r.out;
        EXPECT_EQ(readFile(target), "old contents");
        for (const auto& e : fs::directory_iterator(m_dir.path()))
            EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
        for (const auto& e : fs::directory_iterator(temp))
            EXPECT_NE(e.path().filename().string().rfind("T-VideoWrite-", 0), 0u) << "left behind: " << e.path();
    }
}

// A source deleted while the writer's probe or the engine opens it, at each of its opens
// in turn (a preloaded helper deletes it right after the chosen one): the render fails
// like one whose source went away in the middle, with the same message and exit status,
// the old target as it was, nothing partial beside it and no private folder left.
TEST_F(WriterRender, SourceDeletedWhileItIsOpenedFailsLikeOneMissing)
{
    const std::string video = m_dir / "own clip.mkv", sound = m_dir / "own song.wav";
    auto restore = [&] {
        fs::copy_file(g_media->video, video, fs::copy_options::overwrite_existing);
        fs::copy_file(g_media->sound, sound, fs::copy_options::overwrite_existing);
    };
    // A cut at normal speed, one slowed down and the sound: every kind of file producer.
    const std::string doc = "<timeline><group type=\"video\" framerate=\"29.97\" width=\"720\" height=\"480\"><track>"
                            "<clip start=\"0\" stop=\"1\" mstart=\"1\" mstop=\"2\" src=\"" +
                            video + "\"/><clip start=\"1\" stop=\"2\" mstart=\"3\" mstop=\"3.5\" src=\"" + video +
                            "\"/></track></group><group type=\"audio\" samplingrate=\"48000\"><track>"
                            "<clip mstart=\"0\" mstop=\"2\" start=\"0\" stop=\"2\" src=\"" +
                            sound + "\"/></track></group></timeline>";
    const std::string target = m_dir / "vanish.avi";
    // The writer makes its private folder here; it must be gone when the writer has ended.
    const std::string temp = m_dir / "temp";
    fs::create_directory(temp);
    const char* asan = std::getenv("ASAN_OPTIONS");
    auto privateFolders = [&] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(temp))
            n += e.path().filename().string().rfind("T-VideoWrite-", 0) == 0;
        return n;
    };
    auto opensOf = [](const std::string& err) {
        int n = 0;
        for (size_t at = err.find("vanish: open "); at != std::string::npos; at = err.find("vanish: open ", at + 1))
            ++n;
        return n;
    };
    for (const std::string& victim : {video, sound}) {
        SCOPED_TRACE(victim);
        std::map<std::string, std::string> env = {
            {"LD_PRELOAD", VK_WRITER_VANISH_LIB},
            {"VK_TEST_VANISH_PATH", victim},
            {"TMPDIR", temp},
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
        // Left in place, the source is opened this many times, and the render succeeds.
        restore();
        RunResult r = render(doc, "vanish.avi", 0, 2000, true, "640-2000k-stereo.prx", "", {}, env);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        const int opens = opensOf(r.err);
        ASSERT_GE(opens, 3) << r.err; // the probe's and the engine's at least
        EXPECT_EQ(privateFolders(), 0);
        for (int at = 1; at <= opens; ++at) {
            SCOPED_TRACE("deleted after open " + std::to_string(at) + " of " + std::to_string(opens));
            restore();
            writeFile(target, "old contents");
            env["VK_TEST_VANISH_AT"] = std::to_string(at);
            r = render(doc, "vanish.avi", 0, 2000, true, "640-2000k-stereo.prx", "", {}, env);
            ASSERT_NE(r.err.find("vanish: deleted after open " + std::to_string(at)), std::string::npos) << r.err;
            EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
            EXPECT_NE(r.err.find("T-VideoWrite: 入力ファイルが見つかりません。\n" + victim + "\n"), std::string::npos)
                << r.err;
            EXPECT_EQ(r.out.find("Finished:"), std::string::npos) << r.out;
            EXPECT_EQ(readFile(target), "old contents");
            for (const auto& e : fs::directory_iterator(m_dir.path()))
                EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
            EXPECT_EQ(privateFolders(), 0);
            fs::remove_all(temp);
            fs::create_directory(temp);
        }
    }
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
    const RunResult r =
        runProgram({"xvfb-run", "-a", VK_WRITER_EXE, params},
                   {{"SDL_AUDIODRIVER", "dummy"}, {"QT_QPA_PLATFORM", "xcb"}, {"VK_WRITER_TEST_KEYS", keys}}, 60);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("preview closed"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("preview finished"), std::string::npos) << "Esc did not end the 8 s preview early\n" << r.out;

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
    // Within a few frames of the key: on a loaded machine the key's own read-out may be
    // taken a frame or two before the render loop sees it; a picture rendered ahead of
    // the pause (a second's queue) would be far off.
    EXPECT_LE(std::fabs(paused1.seconds - pause.seconds), 0.2) << r.out;
    // ...from the moment the pause took effect: not a frame rendered ahead
    // before it, and never a step back.
    const std::vector<std::string> held = readOutsWhilePaused(r.out);
    ASSERT_FALSE(held.empty()) << r.out;
    for (const std::string& h : held)
        EXPECT_EQ(h, held.front()) << r.out;
    // Playing on from there without a jump: on from the held picture, by no more
    // than the time that passed since the key (plus a few frames).
    EXPECT_FALSE(playing.pausedText) << r.out;
    EXPECT_EQ(playing.button, "一時停止") << r.out;
    EXPECT_GT(playing.seconds, paused2.seconds) << r.out;
    EXPECT_LT(playing.seconds - paused2.seconds, (playing.atMs - resume.atMs) / 1000.0 + 0.4) << r.out;
    EXPECT_LT(esc.seconds, 7.0) << r.out;
}
