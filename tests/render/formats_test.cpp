// The output format lists, OutputProfileGet and the writer parameters document.

#include "render/outputformats.h"
#include "render/timelinedocument.h"
#include "render/writerparams.h"
#include "tests/render/render_support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

using rendertest::Golden;
using rendertest::ReadText;

struct AviExpect {
    const char* text;
    int width;
    int height;
    double rate;
};

const AviExpect kAvi[] = {
    {"DV圧縮 (Type2)", -1, 480, 29.97},
    {"176x144 30fps 非圧縮", 176, 144, 30},
    {"176x144 29.97fps 非圧縮", 176, 144, 29.97},
    {"176x144 24fps 非圧縮", 176, 144, 24},
    {"240x180 30fps 非圧縮", 240, 180, 30},
    {"240x180 29.97fps 非圧縮", 240, 180, 29.97},
    {"240x180 24fps 非圧縮", 240, 180, 24},
    {"320x240 30fps 非圧縮", 320, 240, 30},
    {"320x240 29.97fps 非圧縮", 320, 240, 29.97},
    {"320x240 24fps 非圧縮", 320, 240, 24},
    {"352x288 30fps 非圧縮", 352, 288, 30},
    {"352x288 29.97fps 非圧縮", 352, 288, 29.97},
    {"352x288 24fps 非圧縮", 352, 288, 24},
    {"640x480 30fps 非圧縮", 640, 480, 30},
    {"640x480 29.97fps 非圧縮", 640, 480, 29.97},
    {"640x480 24fps 非圧縮", 640, 480, 24},
    {"720x480 30fps 非圧縮", 720, 480, 30},
    {"720x480 29.97fps 非圧縮", 720, 480, 29.97},
    {"720x480 24fps 非圧縮", 720, 480, 24},
    {"1280x720 30fps 非圧縮", 1280, 720, 30},
    {"1280x720 29.97fps 非圧縮", 1280, 720, 29.97},
    {"1280x720 24fps 非圧縮", 1280, 720, 24},
    {"1440x1080 30fps 非圧縮", 1440, 1080, 30},
    {"1440x1080 29.97fps 非圧縮", 1440, 1080, 29.97},
    {"1440x1080 24fps 非圧縮", 1440, 1080, 24},
    {"1920x1080 30fps 非圧縮", 1920, 1080, 30},
    {"1920x1080 29.97fps 非圧縮", 1920, 1080, 29.97},
    {"1920x1080 24fps 非圧縮", 1920, 1080, 24},
    {"512x384 30fps 非圧縮", 512, 384, 30},
    {"512x288 30fps 非圧縮", 512, 288, 30},
};

const std::pair<const char*, const char*> kWmv[] = {
    {"240x176 56Kbps", "240-0056k-mono.prx"},         {"240x176 150Kbps", "240-0150k-stereo.prx"},
    {"240x176 300Kbps", "240-0300k-stereo.prx"},      {"320x240 150Kbps", "320-0150k-stereo.prx"},
    {"320x240 300Kbps", "320-0300k-stereo.prx"},      {"320x240 700Kbps", "320-0700k-stereo.prx"},
    {"640x480 700Kbps", "640-0700k-stereo.prx"},      {"640x480 1500Kbps", "640-1500k-stereo.prx"},
    {"640x480 2000Kbps", "640-2000k-stereo.prx"},     {"208x160 PocketPC", "208-259K-POCKETPC.PRX"},
    {"[WMV9] 640x480 DVD", "640-2073K-DVD.PRX"},      {"[WMV9] 1280x720 HD", "1280-5201K-HD.PRX"},
    {"[WMV9] 1440x1080 HD", "1440-7073K-HD.PRX"},     {"[WMV9] 1920x1080 HD", "1920-9073K-HD.PRX"},
    {"[WMV9] 512x384 1.0M", "512-1000k-stereo.prx"},  {"[WMV9] 512x384 1.5M", "512-1500k-stereo.prx"},
    {"[WMV9] 512x384 2.0M", "512-2000k-stereo.prx"},  {"[WMV9] 512x288 1.0M", "512H-1000k-stereo.prx"},
    {"[WMV9] 512x288 1.5M", "512H-1500k-stereo.prx"}, {"[WMV9] 512x288 2.0M", "512H-2000k-stereo.prx"},
};

TEST(OutputFormatsTest, AviListEntriesAndProfileGet)
{
    const QStringList texts = AviListTexts();
    ASSERT_EQ(texts.size(), kAviListCount);
    ASSERT_EQ(int(std::size(kAvi)), kAviListCount);
    for (int i = 0; i < kAviListCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(texts.at(i), QString::fromUtf8(kAvi[i].text));
        OutputFormat format;
        QString prx = QStringLiteral("keep.prx");
        const int interval = OutputProfileGet(i, -1, format, prx);
        EXPECT_EQ(format.width, kAvi[i].width);
        if (kAvi[i].width != -1) {
            EXPECT_EQ(format.height, kAvi[i].height);
        }
        EXPECT_EQ(format.frameRate, kAvi[i].rate); // the double nearest to 29.97, not 30000/1001
        EXPECT_EQ(format.bitDepth, 24);
        EXPECT_EQ(format.samplingRate, 48000);
        EXPECT_EQ(prx, QStringLiteral("keep.prx"));
        EXPECT_EQ(interval, kAvi[i].rate == 24 ? 42 : 33);
    }
    EXPECT_NE(AviListAt(2).frameRate, 30000.0 / 1001.0);
    EXPECT_THROW(AviListAt(30), std::out_of_range);
    EXPECT_THROW(AviListAt(-1), std::out_of_range);
}

TEST(OutputFormatsTest, WmvListEntriesAndProfileGet)
{
    const QStringList texts = WmvListTexts();
    ASSERT_EQ(texts.size(), kWmvListCount);
    ASSERT_EQ(int(std::size(kWmv)), kWmvListCount);
    for (int i = 0; i < kWmvListCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(texts.at(i), QString::fromUtf8(kWmv[i].first));
        OutputFormat format{640, 480, 30, 0, 0};
        QString prx;
        OutputProfileGet(-1, i, format, prx);
        EXPECT_EQ(prx, QString::fromLatin1(kWmv[i].second));
        EXPECT_EQ(format.width, 640); // an AVI index outside the list changes nothing
        EXPECT_EQ(format.height, 480);
        EXPECT_EQ(format.frameRate, 30);
    }
    EXPECT_EQ(kDefaultAviIndex, 0);
    EXPECT_EQ(kDefaultWmvIndex, 15);
    EXPECT_EQ(OutputListToolTip(), QStringLiteral("出力形式選択"));
}

TEST(OutputFormatsTest, IndicesOutsideListsKeepFields)
{
    OutputFormat format;
    QString prx;
    // Nothing chosen yet: no frame rate, no interval; the fixed fields are still set.
    EXPECT_EQ(OutputProfileGet(-1, -1, format, prx), 0);
    EXPECT_EQ(format.width, 0);
    EXPECT_EQ(format.frameRate, 0);
    EXPECT_EQ(format.bitDepth, 24);
    EXPECT_EQ(format.samplingRate, 48000);
    EXPECT_TRUE(prx.isEmpty());

    OutputProfileGet(15, 7, format, prx);
    EXPECT_EQ(OutputProfileGet(30, 20, format, prx), 42);
    EXPECT_EQ(format.width, 640);
    EXPECT_EQ(format.height, 480);
    EXPECT_EQ(format.frameRate, 24);
    EXPECT_EQ(prx, QStringLiteral("640-1500k-stereo.prx"));
}

// DV with a WMV output: the DV compressors next to the profile file name.
TEST(WriterParamsTest, DvGolden)
{
    EXPECT_EQ(WriterParamsText(QStringLiteral("/tmp/t/T-KaDro-Clips.xml"), QStringLiteral("/out/clip.wmv"),
                               QStringLiteral("/tmp/t/T-KaDro-Grf.grf"), QStringLiteral("/tmp/t/T-KaDro-Xtl.xml"),
                               QStringLiteral("0"), QStringLiteral("61234"), QStringLiteral("DV Video Encoder"),
                               QStringLiteral("PCM"), QStringLiteral("512-1500k-stereo.prx")),
              Golden(QStringLiteral("params_dv_wmv.xml")));
}

// An uncompressed entry: empty compressor texts, every compressor attribute "0"; a
// preview has an empty output file.
TEST(WriterParamsTest, UncompressedGolden)
{
    EXPECT_EQ(WriterParamsText(QStringLiteral("/tmp/t/T-KaDro-Clips.xml"), QString(),
                               QStringLiteral("/tmp/t/T-KaDro-Grf.grf"), QStringLiteral("/tmp/t/T-KaDro-Xtl.xml"),
                               QStringLiteral("1500"), QStringLiteral("3000"), QString(), QString(),
                               QStringLiteral("640-2000k-stereo.prx")),
              Golden(QStringLiteral("params_uncompressed.xml")));
}

TEST(WriterParamsTest, PcmAttributesOnlyForExactPcmAndFileIsReplaced)
{
    const QString lower = WriterParamsText(QString(), QString(), QString(), QString(), QStringLiteral("0"),
                                           QStringLiteral("0"), QString(), QStringLiteral("pcm"), QString());
    EXPECT_TRUE(lower.contains(QStringLiteral(
        "<AudioCompressor nSamplesPerSec=\"0\" wBitsPerSample=\"0\" nChannels=\"0\">pcm</AudioCompressor>")));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("T-KaDro-Params.xml"));
    WriterParamsWrite(path, QStringLiteral("/a/ファイル 1.xml"), QString(), QString(), QString(), QStringLiteral("1"),
                      QStringLiteral("2"), QString(), QString(), QString());
    WriterParamsWrite(path, QStringLiteral("/b/ファイル 2.xml"), QString(), QString(), QString(), QStringLiteral("3"),
                      QStringLiteral("4"), QString(), QString(), QString());
    const QString text = ReadText(path);
    EXPECT_TRUE(text.startsWith(QStringLiteral("<params><XtlFilePath>/b/ファイル 2.xml</XtlFilePath>")));
    EXPECT_TRUE(text.contains(QStringLiteral("<StartPoint>3</StartPoint><EndPoint>4</EndPoint>")));
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));

    EXPECT_THROW(WriterParamsWrite(dir.filePath(QStringLiteral("no/such/params.xml")), QString(), QString(), QString(),
                                   QString(), QString(), QString(), QString(), QString(), QString()),
                 DocumentWriteError);
}

} // namespace
} // namespace vk
