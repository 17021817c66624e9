// The writer's own MP4 encoder on its own: what it is given is what the file
// holds (every picture once, the sound to the sample, ending with the last
// picture), every picture is handed back exactly once, and a file it cannot
// write is an error, not a short file.

#include "writer/mp4encoder.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

vk::OutputSettings mp4Settings(int width, int height, int rateNum, int rateDen)
{
    vk::OutputSettings o;
    o.kind = vk::OutputKind::Mp4;
    o.width = width;
    o.height = height;
    o.rate.num = rateNum;
    o.rate.den = rateDen;
    o.muxer = "mp4";
    o.muxerFlags = "+faststart";
    o.videoCodec = "libx264";
    o.pixelFormat = "yuv420p";
    o.videoPreset = "ultrafast";
    o.videoCrf = 23;
    o.audioCodec = "aac";
    o.audioKbps = 192;
    o.sampleRate = 48000;
    o.channels = 2;
    return o;
}

// A 4:2:0 picture of one grey level, owned by the test until handed back.
struct OwnedPicture {
    std::vector<uint8_t> bytes;
    int* released = nullptr;
};

void releaseOwned(void* owner)
{
    auto* p = static_cast<OwnedPicture*>(owner);
    ++*p->released;
    delete p;
}

vk::Picture420 greyPicture(int width, int height, uint8_t level, int* released)
{
    auto* owned = new OwnedPicture;
    owned->bytes.assign(size_t(width) * height * 3 / 2, 128);
    std::fill(owned->bytes.begin(), owned->bytes.begin() + long(width) * height, level);
    owned->released = released;
    vk::Picture420 p;
    p.planes[0] = owned->bytes.data();
    p.planes[1] = p.planes[0] + size_t(width) * height;
    p.planes[2] = p.planes[1] + size_t(width / 2) * (height / 2);
    p.strides[0] = width;
    p.strides[1] = p.strides[2] = width / 2;
    p.release = releaseOwned;
    p.owner = owned;
    return p;
}

// The samples of frame `i` at the given rate: the running total rounded, so
// that the frames add up to the pictures' time exactly.
int samplesOfFrame(long long i, int rateNum, int rateDen)
{
    auto upTo = [&](long long n) { return std::llround(double(n) * 48000 * rateDen / rateNum); };
    return int(upTo(i + 1) - upTo(i));
}

struct StreamFacts {
    long long packets = 0;
    double seconds = 0; // the stream's duration
    double start = 0;
};

std::vector<StreamFacts> readBack(const std::string& path)
{
    std::vector<StreamFacts> facts;
    AVFormatContext* f = nullptr;
    if (avformat_open_input(&f, path.c_str(), nullptr, nullptr) < 0)
        return facts;
    if (avformat_find_stream_info(f, nullptr) >= 0) {
        facts.resize(f->nb_streams);
        for (unsigned i = 0; i < f->nb_streams; ++i) {
            const AVStream* s = f->streams[i];
            facts[i].seconds = double(s->duration) * s->time_base.num / s->time_base.den;
            facts[i].start = double(s->start_time) * s->time_base.num / s->time_base.den;
        }
        AVPacket* p = av_packet_alloc();
        while (av_read_frame(f, p) >= 0) {
            if (unsigned(p->stream_index) < facts.size())
                ++facts[size_t(p->stream_index)].packets;
            av_packet_unref(p);
        }
        av_packet_free(&p);
    }
    avformat_close_input(&f);
    return facts;
}

class Mp4EncoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        av_log_set_level(AV_LOG_ERROR); // the encoders' own reports
        char pattern[] = "/tmp/vk-mp4encoder-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    fs::path m_dir;
};

} // namespace

// At 59.94 fps a frame (16.7 ms) is shorter than an AAC block (21.3 ms): the
// sound must still end with the last picture, not with the block.
TEST_F(Mp4EncoderTest, TheFileHoldsEveryPictureAndTheSoundEndsWithTheLast)
{
    for (const auto& [num, den, frames] : {std::tuple{30000, 1001, 45}, std::tuple{60000, 1001, 61}}) {
        SCOPED_TRACE(std::to_string(num) + "/" + std::to_string(den));
        const std::string path = m_dir / ("out-" + std::to_string(num) + ".mp4");
        const vk::OutputSettings o = mp4Settings(320, 180, num, den);
        int released = 0;
        {
            vk::Mp4Encoder encoder;
            std::string error;
            ASSERT_TRUE(encoder.open(path, o, error)) << error;
            std::vector<float> left, right;
            for (int i = 0; i < frames; ++i) {
                const int n = samplesOfFrame(i, num, den);
                left.assign(size_t(n), 0.25f);
                right.assign(size_t(n), -0.25f);
                const float* planes[2] = {left.data(), right.data()};
                ASSERT_TRUE(encoder.addSound(planes, n, error)) << error;
                ASSERT_TRUE(encoder.addPicture(greyPicture(320, 180, uint8_t(16 + i * 3), &released), error)) << error;
            }
            ASSERT_TRUE(encoder.finish(error)) << error;
            EXPECT_EQ(encoder.picturesWritten(), frames);
        }
        EXPECT_EQ(released, frames); // every picture handed back, once

        const std::vector<StreamFacts> facts = readBack(path);
        ASSERT_EQ(facts.size(), 2u);
        const double pictures = double(frames) * den / num;
        EXPECT_EQ(facts[0].packets, frames);
        EXPECT_NEAR(facts[0].seconds, pictures, 1e-6);
        EXPECT_NEAR(facts[0].start, 0, 1e-6);
        // The file keeps where the sound ends in its edit list, in the movie's
        // time scale (milliseconds); a whole AAC block too many would be 21 ms.
        EXPECT_NEAR(facts[1].seconds, pictures, 0.001);
        EXPECT_NEAR(facts[1].start, 0, 1e-6);
    }
}

// A file that cannot be written: no folder to create it in, and a device
// that takes no data (the disk full). Each ends in an error with a reason,
// and every picture given is handed back all the same.
TEST_F(Mp4EncoderTest, AFileThatCannotBeWrittenIsAnErrorAndEveryPictureComesBack)
{
    const vk::OutputSettings o = mp4Settings(320, 180, 30, 1);
    {
        vk::Mp4Encoder encoder;
        std::string error;
        EXPECT_FALSE(encoder.open((m_dir / "missing" / "out.mp4").string(), o, error));
        EXPECT_NE(error.find("ファイルを作成できません"), std::string::npos) << error;
    }
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    int released = 0, given = 0;
    bool failed = false;
    std::string error;
    {
        vk::Mp4Encoder encoder;
        // The header may sit in the output buffer at first; the error shows
        // once the buffer goes out, at the latest when the file is finished.
        if (!encoder.open("/dev/full", o, error)) {
            failed = true;
        } else {
            std::vector<float> silence(1600, 0.0f);
            const float* planes[2] = {silence.data(), silence.data()};
            for (int i = 0; i < 90 && !failed; ++i) {
                failed = !encoder.addSound(planes, 1600, error);
                if (!failed) {
                    ++given;
                    failed = !encoder.addPicture(greyPicture(320, 180, uint8_t(i), &released), error);
                }
            }
            if (!failed)
                failed = !encoder.finish(error);
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(released, given);
}
