// One MP4 from end to end: the output command writes its two documents for a table of
// two rows (a red clip, then a blue one, over a generated sound clip), and the real
// T-VideoWrite renders them. The file is read back with ffprobe and ffmpeg: the
// profile's size and rate, H.264 High 4:2:0, AAC stereo 48 kHz, the index in front, the
// range's frame count, and the two clips in their places.
#include "render/outputdriver.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

// Runs a program to its end (generous timeout); its standard output, or nullopt when it
// could not run or failed.
std::optional<QByteArray> run(const QString& program, const QStringList& args,
                              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                              int* exitCode = nullptr, QByteArray* err = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(60000) || !p.waitForFinished(600000))
        return std::nullopt;
    if (exitCode)
        *exitCode = p.exitCode();
    if (err)
        *err = p.readAllStandardError();
    if (p.exitStatus() != QProcess::NormalExit || (!exitCode && p.exitCode() != 0))
        return std::nullopt;
    return p.readAllStandardOutput();
}

bool ffmpeg(const QStringList& args)
{
    return run(QStringLiteral("ffmpeg"),
               QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + args)
        .has_value();
}

// The streams ffprobe reports, as JSON objects.
QJsonArray probeStreams(const QString& file)
{
    const auto out = run(QStringLiteral("ffprobe"),
                         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                          QStringLiteral("-show_streams"), QStringLiteral("-of"), QStringLiteral("json"), file});
    if (!out)
        return {};
    return QJsonDocument::fromJson(*out).object().value(QStringLiteral("streams")).toArray();
}

QJsonObject streamOf(const QJsonArray& streams, const QString& type)
{
    for (const QJsonValue& s : streams)
        if (s.toObject().value(QStringLiteral("codec_type")).toString() == type)
            return s.toObject();
    return {};
}

// The top-level box types of an MP4 file, in order.
QStringList topLevelBoxes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    QStringList boxes;
    qint64 at = 0;
    auto be = [&](qint64 pos, int bytes) {
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | quint8(data.at(pos + i));
        return v;
    };
    while (at + 8 <= data.size()) {
        quint64 size = be(at, 4);
        boxes << QString::fromLatin1(data.mid(at + 4, 4));
        if (size == 1 && at + 16 <= data.size())
            size = be(at + 8, 8);
        else if (size == 0)
            size = quint64(data.size() - at);
        if (size < 8)
            break;
        at += qint64(size);
    }
    return boxes;
}

// The mean colour of one decoded picture (at `seconds`), scaled down to 8x8.
bool meanColour(const QString& file, double seconds, int& r, int& g, int& b)
{
    const auto out =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"), QString::number(seconds),
             QStringLiteral("-i"), file, QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-vf"),
             QStringLiteral("scale=8:8"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), QStringLiteral("-f"),
             QStringLiteral("rawvideo"), QStringLiteral("-")});
    if (!out || out->size() != 8 * 8 * 3)
        return false;
    long sum[3] = {0, 0, 0};
    for (int i = 0; i < out->size(); ++i)
        sum[i % 3] += quint8(out->at(i));
    r = int(sum[0] / 64);
    g = int(sum[1] / 64);
    b = int(sum[2] / 64);
    return true;
}

TEST(Mp4RenderTest, TheEditorsDocumentsRenderIntoAnMp4OfTheProfile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString sound = dir.filePath(QStringLiteral("song.wav"));
    const QString red = dir.filePath(QStringLiteral("red clip.mp4"));
    const QString blue = dir.filePath(QStringLiteral("blue clip.mp4"));
    ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("sine=frequency=440:sample_rate=48000:duration=3"), QStringLiteral("-ac"),
                        QStringLiteral("2"), sound}));
    for (const auto& [path, colour] : {std::pair{red, QStringLiteral("red")}, std::pair{blue, QStringLiteral("blue")}})
        ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("color=c=%1:s=320x240:r=30:d=2").arg(colour), QStringLiteral("-c:v"),
                            QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path}));

    const QString temp = dir.filePath(QStringLiteral("temp"));
    ASSERT_TRUE(QDir().mkpath(temp));
    qputenv("TEMP", QFile::encodeName(temp));

    // Two sections of 1.5 s over the 3 s clip: red, then blue.
    ScriptedUi ui;
    Editor editor(ui);
    editor.setSndFile(sound);
    MakeSections(editor, {0, 1500}, 3000, 33);
    Register(editor, 1, red, 0, 1500, 33, 320, 240);
    Register(editor, 2, blue, 0, 1500, 33, 320, 240);
    ASSERT_TRUE(TableInvariants(editor));
    editor.setAviProfileIndex(0); // DV: must not reach the MP4
    editor.setMp4ProfileIndex(0); // 640x360 29.97

    OutputDriver driver(editor);
    driver.setApplicationFolder(QStringLiteral(VK_WRITER_FOLDER));
    const QString out = dir.filePath(QStringLiteral("movie.mp4"));
    ui.saveNames.push_back(out);
    driver.CreateMp4();
    ASSERT_TRUE(ui.messages.isEmpty());
    ASSERT_EQ(ui.started.size(), 1);
    const QStringList command = ui.started.first();
    ASSERT_EQ(command.size(), 2);
    EXPECT_EQ(command.at(0), QStringLiteral(VK_WRITER_FOLDER "/T-VideoWrite"));

    // What the editor would have started, run here to its end.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VK_WRITER_NO_DIALOGS"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    int exitCode = -1;
    QByteArray err;
    const auto stdoutText = run(command.at(0), {command.at(1)}, env, &exitCode, &err);
    ASSERT_TRUE(stdoutText.has_value()) << "the writer did not finish";
    ASSERT_EQ(exitCode, 0) << err.toStdString() << stdoutText->toStdString();
    const QString printed = QString::fromUtf8(*stdoutText);
    EXPECT_TRUE(printed.contains(QStringLiteral("Finished: ") + out)) << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("check: 90/90 frames"))) << printed.toStdString();
    EXPECT_FALSE(printed.contains(QStringLiteral("OUT OF SYNC")));

    const QJsonArray streams = probeStreams(out);
    ASSERT_EQ(streams.size(), 2);
    const QJsonObject video = streamOf(streams, QStringLiteral("video"));
    const QJsonObject audio = streamOf(streams, QStringLiteral("audio"));
    EXPECT_EQ(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(video.value(QStringLiteral("profile")).toString(), QStringLiteral("High"));
    EXPECT_EQ(video.value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv420p"));
    EXPECT_EQ(video.value(QStringLiteral("width")).toInt(), 640);
    EXPECT_EQ(video.value(QStringLiteral("height")).toInt(), 360);
    EXPECT_EQ(video.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("30000/1001"));
    // 0 to 3000 ms at 29.97: round(89.91) pictures.
    EXPECT_EQ(video.value(QStringLiteral("nb_read_packets")).toString(), QStringLiteral("90"));
    EXPECT_EQ(audio.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(audio.value(QStringLiteral("sample_rate")).toString(), QStringLiteral("48000"));
    EXPECT_EQ(audio.value(QStringLiteral("channels")).toInt(), 2);

    const QStringList boxes = topLevelBoxes(out);
    ASSERT_TRUE(boxes.contains(QStringLiteral("moov")) && boxes.contains(QStringLiteral("mdat")))
        << boxes.join(QLatin1Char(' ')).toStdString();
    EXPECT_LT(boxes.indexOf(QStringLiteral("moov")), boxes.indexOf(QStringLiteral("mdat")));

    // The first section shows the red clip, the second the blue one.
    int r = 0, g = 0, b = 0;
    ASSERT_TRUE(meanColour(out, 0.5, r, g, b));
    EXPECT_GT(r, 180);
    EXPECT_LT(b, 80);
    ASSERT_TRUE(meanColour(out, 2.5, r, g, b));
    EXPECT_GT(b, 180);
    EXPECT_LT(r, 80);
}

} // namespace
} // namespace vk
