// Media facts read from the container of real files generated at test time.
#include "media/mpv/mediainfo.h"
#include "tests/support/testmedia.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using vk::MediaInfo;
using vk::ProbeMediaInfo;
using vk::testmedia::File;

MediaInfo probe(const char* name)
{
    MediaInfo info;
    info.durationMsec = -7;
    EXPECT_TRUE(ProbeMediaInfo(File(QString::fromLatin1(name)), info)) << name;
    return info;
}

int frameInterval(const MediaInfo& info)
{
    return int(std::nearbyint(1000.0 * info.secondsPerFrame));
}

TEST(MediaInfoTest, Mp4At30FpsWithSound)
{
    const MediaInfo info = probe("clip30.mp4");
    EXPECT_NEAR(info.durationMsec, 3000, 50);
    EXPECT_EQ(info.width, 160);
    EXPECT_EQ(info.height, 120);
    EXPECT_EQ(frameInterval(info), 33);
    EXPECT_NEAR(info.secondsPerFrame, 1.0 / 30.0, 1e-6);
}

TEST(MediaInfoTest, Mp4At25Fps)
{
    const MediaInfo info = probe("clip25.mp4");
    EXPECT_NEAR(info.durationMsec, 2000, 40);
    EXPECT_EQ(info.width, 176);
    EXPECT_EQ(info.height, 144);
    EXPECT_EQ(frameInterval(info), 40);
}

TEST(MediaInfoTest, WavHasLengthButNoPicture)
{
    const MediaInfo info = probe("tone.wav");
    EXPECT_EQ(info.durationMsec, 2500);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.secondsPerFrame, 0.0);
}

TEST(MediaInfoTest, Mp3HasLengthButNoPicture)
{
    const MediaInfo info = probe("tone.mp3");
    EXPECT_NEAR(info.durationMsec, 2000, 60);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.secondsPerFrame, 0.0);
}

TEST(MediaInfoTest, CoverPictureOfASoundFileIsNoPicture)
{
    const MediaInfo info = probe("cover.mp3");
    EXPECT_NEAR(info.durationMsec, 2000, 60);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.secondsPerFrame, 0.0);
}

TEST(MediaInfoTest, SoundOnlyFileWithVideoExtension)
{
    const MediaInfo info = probe("soundonly.mp4");
    EXPECT_NEAR(info.durationMsec, 2000, 60);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.secondsPerFrame, 0.0);
}

TEST(MediaInfoTest, StillImagesHaveNoLength)
{
    struct Case {
        const char* name;
        int width;
        int height;
    };
    for (const Case& c : {Case{"still.png", 320, 240}, Case{"still.jpg", 200, 150}, Case{"still.bmp", 64, 48}}) {
        const MediaInfo info = probe(c.name);
        EXPECT_EQ(info.durationMsec, 0) << c.name;
        EXPECT_EQ(info.width, c.width) << c.name;
        EXPECT_EQ(info.height, c.height) << c.name;
    }
}

TEST(MediaInfoTest, NonMediaAndMissingFilesFail)
{
    MediaInfo info;
    info.durationMsec = 123;
    EXPECT_FALSE(ProbeMediaInfo(File(QStringLiteral("notmedia.txt")), info));
    EXPECT_FALSE(ProbeMediaInfo(File(QStringLiteral("clip30.mp4")) + QStringLiteral(".missing"), info));
    EXPECT_FALSE(ProbeMediaInfo(QString(), info));
    EXPECT_EQ(info.durationMsec, 123); // untouched on failure
}

} // namespace
