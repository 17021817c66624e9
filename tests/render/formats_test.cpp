// The output format lists, OutputProfileGet and the writer parameters document.

#include "render/outputformats.h"
#include "render/timelinedocument.h"
#include "render/writerparams.h"
#include "tests/render/render_support.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

using rendertest::Golden;
using rendertest::ReadText;

// What an uncompressed entry's text promises: "<w>x<h> <rate>fps 非圧縮".
struct Promised {
    int width = 0;
    int height = 0;
    double rate = 0;
};

bool parseAviText(const QString& text, Promised& out)
{
    const QRegularExpression re(QStringLiteral("^(\\d+)x(\\d+) (\\d+(?:\\.\\d+)?)fps 非圧縮$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    out = {m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toDouble()};
    return true;
}

TEST(OutputFormatsTest, AviListEntriesAndProfileGet)
{
    const QStringList texts = AviListTexts();
    ASSERT_EQ(texts.size(), kAviListCount);
    ASSERT_EQ(texts.size(), 30);
    EXPECT_EQ(QStringList(texts).removeDuplicates(), 0);
    // The first entry is DV; every other entry gives what its text says.
    EXPECT_EQ(texts.at(0), QStringLiteral("DV圧縮 (Type2)"));
    EXPECT_EQ(texts.at(13), QStringLiteral("640x480 30fps 非圧縮"));
    EXPECT_EQ(texts.at(29), QStringLiteral("512x288 30fps 非圧縮"));
    for (int i = 0; i < kAviListCount; ++i) {
        SCOPED_TRACE(texts.at(i).toStdString());
        OutputFormat format;
        QString prx = QStringLiteral("keep.prx");
        const int interval = OutputProfileGet(i, -1, format, prx);
        Promised promised;
        if (i == 0) {
            EXPECT_EQ(format.width, -1); // DV: the timeline writes 720 x 480
            EXPECT_EQ(format.height, 480);
            promised.rate = 29.97;
        } else {
            ASSERT_TRUE(parseAviText(texts.at(i), promised));
            EXPECT_EQ(format.width, promised.width);
            EXPECT_EQ(format.height, promised.height);
        }
        EXPECT_EQ(format.frameRate, promised.rate); // the double nearest to 29.97, not 30000/1001
        EXPECT_EQ(format.bitDepth, 24);
        EXPECT_EQ(format.samplingRate, 48000);
        EXPECT_EQ(prx, QStringLiteral("keep.prx"));
        EXPECT_EQ(interval, promised.rate == 24 ? 42 : 33);
    }
    EXPECT_NE(AviListAt(2).frameRate, 30000.0 / 1001.0);
    EXPECT_THROW(AviListAt(30), std::out_of_range);
    EXPECT_THROW(AviListAt(-1), std::out_of_range);
}

TEST(OutputFormatsTest, WmvListEntriesAndProfileGet)
{
    const QStringList texts = WmvListTexts();
    ASSERT_EQ(texts.size(), kWmvListCount);
    ASSERT_EQ(texts.size(), 20);
    EXPECT_EQ(QStringList(texts).removeDuplicates(), 0);
    EXPECT_EQ(texts.at(0), QStringLiteral("240x176 56Kbps"));
    EXPECT_EQ(texts.at(kDefaultWmvIndex), QStringLiteral("[WMV9] 512x384 1.5M"));
    QStringList files;
    for (int i = 0; i < kWmvListCount; ++i) {
        SCOPED_TRACE(texts.at(i).toStdString());
        OutputFormat format{640, 480, 30, 0, 0};
        QString prx;
        OutputProfileGet(-1, i, format, prx);
        // The profile file starts with the width the entry names, and is a .prx.
        const QString width = QRegularExpression(QStringLiteral("(\\d+)x\\d+")).match(texts.at(i)).captured(1);
        ASSERT_FALSE(width.isEmpty());
        EXPECT_TRUE(prx.startsWith(width + QLatin1Char('-')) || prx.startsWith(width + QLatin1Char('H')))
            << prx.toStdString();
        EXPECT_TRUE(prx.endsWith(QStringLiteral(".prx"), Qt::CaseInsensitive)) << prx.toStdString();
        files << prx;
        EXPECT_EQ(format.width, 640); // an AVI index outside the list changes nothing
        EXPECT_EQ(format.height, 480);
        EXPECT_EQ(format.frameRate, 30);
    }
    EXPECT_EQ(files.removeDuplicates(), 0);
    EXPECT_EQ(files.at(kDefaultWmvIndex), QStringLiteral("512-1500k-stereo.prx"));
    EXPECT_EQ(files.at(19), QStringLiteral("512H-2000k-stereo.prx"));
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
