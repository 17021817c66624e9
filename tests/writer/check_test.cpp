// The check T-VideoWrite runs on every finished file, on files made here with
// ffmpeg: in sync, cut short, with sound shorter than the picture, with the
// sound starting late, sound only, unreadable; and the same through the
// command-line tool with its exit status.

#include "writer/outputcheck.h"
#include "writer_testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace vktest;

namespace {

// A video of `seconds` at `rate` with a tone of `soundSeconds` (starting
// `soundDelay` seconds late), in the container the name asks for.
bool makeClip(const std::string& path, const std::string& rate, double seconds, double soundSeconds,
              const std::vector<std::string>& codecs, double soundDelay = 0)
{
    std::vector<std::string> args = {
        "ffmpeg", "-v",    "error", "-y",
        "-f",     "lavfi", "-i",    "testsrc2=s=320x240:r=" + rate + ":d=" + std::to_string(seconds)};
    if (soundSeconds > 0) {
        if (soundDelay > 0)
            args.insert(args.end(), {"-itsoffset", std::to_string(soundDelay)});
        args.insert(args.end(), {"-f", "lavfi", "-i", "sine=f=440:sample_rate=48000:d=" + std::to_string(soundSeconds),
                                 "-ac", "2"});
    }
    args.insert(args.end(), codecs.begin(), codecs.end());
    args.push_back(path);
    return runOk(args);
}

const std::vector<std::string> kMp4 = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",  "yuv420p",
                                       "-c:a", "aac",     "-b:a",    "192k",      "-movflags", "+faststart"};

vk::OutputExpectation expect(long long frames, int num, int den = 1)
{
    vk::OutputExpectation e;
    e.frames = frames;
    e.rateNum = num;
    e.rateDen = den;
    return e;
}

} // namespace

TEST(WriterCheck, FilesInSyncPassWithTheirFigures)
{
    TempDir dir;
    // MP4 with AAC: the encoder's warm-up is cut away by the edit list.
    ASSERT_TRUE(makeClip(dir / "good.mp4", "30", 2, 2, kMp4));
    vk::OutputCheck c = vk::checkOutput(dir / "good.mp4", expect(60, 30));
    EXPECT_TRUE(c.ok()) << c.line();
    EXPECT_EQ(c.measured.frames, 60);
    EXPECT_NEAR(c.measured.pictureSeconds, 2.0, 1e-6);
    EXPECT_NEAR(c.measured.soundSeconds, 2.0, 1e-3);
    EXPECT_NEAR(c.measured.videoStart, 0, 1e-6);
    EXPECT_NEAR(c.measured.soundStart, 0, 1e-6);
    EXPECT_EQ(c.line(), "check: 60/60 frames, sound 2.000 s, picture 2.000 s, offset 0 ms");
    EXPECT_EQ(c.summaryJa(), "確認: フレーム 60/60、音声 2.000 秒、映像 2.000 秒、ずれ 0 ミリ秒");

    // NTSC rate, AVI with PCM sound (its length comes from the chunk sizes).
    ASSERT_TRUE(
        makeClip(dir / "good.avi", "30000/1001", 3.003, 3.003, {"-c:v", "mpeg4", "-q:v", "5", "-c:a", "pcm_s16le"}));
    c = vk::checkOutput(dir / "good.avi", expect(90, 30000, 1001));
    EXPECT_TRUE(c.ok()) << c.line();
    EXPECT_EQ(c.measured.frames, 90);
    EXPECT_NEAR(c.measured.pictureSeconds, 3.003, 1e-6);
    EXPECT_NEAR(c.measured.soundSeconds, 3.003, 1e-3);
    // The pictures of an AVI are counted from its index: a cut-short copy
    // has fewer.
    ASSERT_TRUE(
        runOk({"ffmpeg", "-v", "error", "-y", "-i", dir / "good.avi", "-c", "copy", "-t", "2", dir / "short.avi"}));
    c = vk::checkOutput(dir / "short.avi", expect(90, 30000, 1001));
    EXPECT_FALSE(c.ok()) << c.line();
    EXPECT_NEAR(double(c.measured.frames), 60, 1);
    EXPECT_NEAR(c.measured.pictureSeconds, c.measured.frames * 1001 / 30000.0, 1e-6);
    EXPECT_NEAR(c.measured.soundSeconds, 2.0, 0.04);

    // WMA in ASF: the first sound block is the encoder's warm-up, which the
    // container cannot mark; the pictures start after it.
    ASSERT_TRUE(makeClip(dir / "good.wmv", "30", 2, 2, {"-c:v", "wmv2", "-c:a", "wmav2"}));
    c = vk::checkOutput(dir / "good.wmv", expect(60, 30));
    EXPECT_TRUE(c.ok()) << c.line();
    EXPECT_GT(c.measured.soundWarmUp, 0.02);

    // Sound only: its length against the range.
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=d=4:sample_rate=48000", "-ac", "2",
                       dir / "song.wav"}));
    vk::OutputExpectation e = expect(120, 30);
    e.video = false;
    c = vk::checkOutput(dir / "song.wav", e);
    EXPECT_TRUE(c.ok()) << c.line();
    EXPECT_EQ(c.line(), "check: sound 4.000 s, range 4.000 s");
}

TEST(WriterCheck, EveryFigureOffByMoreThanAFrameFails)
{
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "good.mp4", "30", 3, 3, kMp4));
    // One frame either way is within the rule; two is not.
    EXPECT_TRUE(vk::checkOutput(dir / "good.mp4", expect(91, 30)).ok());
    EXPECT_TRUE(vk::checkOutput(dir / "good.mp4", expect(89, 30)).ok());
    vk::OutputCheck c = vk::checkOutput(dir / "good.mp4", expect(92, 30));
    ASSERT_FALSE(c.ok());
    EXPECT_EQ(c.problems.front(), "frames 90/92");
    EXPECT_NE(c.line().find("OUT OF SYNC"), std::string::npos);

    // The last second cut off without coding again: pictures and sound short.
    ASSERT_TRUE(
        runOk({"ffmpeg", "-v", "error", "-y", "-i", dir / "good.mp4", "-c", "copy", "-t", "2", dir / "short.mp4"}));
    c = vk::checkOutput(dir / "short.mp4", expect(90, 30));
    EXPECT_FALSE(c.ok()) << c.line();
    EXPECT_LT(c.measured.frames, 65);
    EXPECT_NEAR(c.measured.soundSeconds, 2.0, 0.05);

    // Sound 0.2 s shorter than the picture.
    ASSERT_TRUE(makeClip(dir / "shortsound.mp4", "30", 3, 2.8, kMp4));
    c = vk::checkOutput(dir / "shortsound.mp4", expect(90, 30));
    ASSERT_FALSE(c.ok()) << c.line();
    EXPECT_EQ(c.problems.front(), "sound 2.800 s against picture 3.000 s");

    // The sound moved 0.1 s later without coding again: it starts after the
    // picture (ffprobe's start times are the reference).
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-i", dir / "good.mp4", "-itsoffset", "0.1", "-i",
                       dir / "good.mp4", "-map", "0:v", "-map", "1:a", "-c", "copy", dir / "late.mp4"}));
    c = vk::checkOutput(dir / "late.mp4", expect(90, 30));
    const double probed = std::stod(probeStream(dir / "late.mp4", "a:0")["start_time"]) -
                          std::stod(probeStream(dir / "late.mp4", "v:0")["start_time"]);
    EXPECT_GT(probed, 0.05);
    EXPECT_NEAR(c.measured.offsetSeconds(), probed, 0.002) << c.line();
    ASSERT_FALSE(c.ok());
    EXPECT_EQ(c.problems.back(),
              "sound starts " + std::to_string(std::lround(probed * 1000)) + " ms after the picture");

    // At 60 fps a frame is 16.7 ms: 25 ms of extra sound is too much.
    ASSERT_TRUE(makeClip(dir / "sixty.mp4", "60", 2, 2.025, kMp4));
    c = vk::checkOutput(dir / "sixty.mp4", expect(120, 60));
    ASSERT_FALSE(c.ok()) << c.line();
    EXPECT_EQ(c.problems.front(), "sound 2.025 s against picture 2.000 s");
    // ... and with sound of the right length it passes.
    ASSERT_TRUE(makeClip(dir / "sixty.mp4", "60", 2, 2, kMp4));
    EXPECT_TRUE(vk::checkOutput(dir / "sixty.mp4", expect(120, 60)).ok());

    // A missing stream, a file that is not media.
    ASSERT_TRUE(makeClip(dir / "silent.mp4", "30", 1, 0, {"-c:v", "libx264", "-preset", "ultrafast"}));
    c = vk::checkOutput(dir / "silent.mp4", expect(30, 30));
    ASSERT_FALSE(c.ok());
    EXPECT_EQ(c.problems.front(), "no sound");
    writeFile(dir / "junk.mp4", "not a movie at all");
    c = vk::checkOutput(dir / "junk.mp4", expect(30, 30));
    EXPECT_FALSE(c.ok());
    EXPECT_FALSE(c.measured.opened);
    EXPECT_EQ(c.line().rfind("check: cannot read the file (", 0), 0u) << c.line();
}

// The command-line tool: the check line on stdout, 0 in sync, 3 out of sync
// (the writer's own status for it), 1 for arguments it cannot use.
TEST(WriterCheck, ToolPrintsTheLineAndTellsByItsExitStatus)
{
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "good.mp4", "30000/1001", 3.003, 3.003, kMp4));
    RunResult r = runProgram({VK_WRITER_CHECK_EXE, dir / "good.mp4", "90", "29.97"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "check: 90/90 frames, sound 3.003 s, picture 3.003 s, offset 0 ms\n");
    r = runProgram({VK_WRITER_CHECK_EXE, dir / "good.mp4", "90", "30000/1001"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;

    ASSERT_TRUE(
        runOk({"ffmpeg", "-v", "error", "-y", "-i", dir / "good.mp4", "-c", "copy", "-t", "2", dir / "short.mp4"}));
    r = runProgram({VK_WRITER_CHECK_EXE, dir / "short.mp4", "90", "29.97"});
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("OUT OF SYNC"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("check failed: frames "), std::string::npos) << r.out;

    EXPECT_EQ(runProgram({VK_WRITER_CHECK_EXE, dir / "good.mp4", "ninety", "30"}).exitCode, 1);
    EXPECT_EQ(runProgram({VK_WRITER_CHECK_EXE, dir / "good.mp4", "90"}).exitCode, 1);
    EXPECT_EQ(runProgram({VK_WRITER_CHECK_EXE, dir / "good.mp4", "90", "0"}).exitCode, 1);
}
