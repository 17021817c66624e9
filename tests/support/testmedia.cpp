#include "tests/support/testmedia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <cmath>

#include <stdexcept>
#include <unistd.h>

namespace vk::testmedia {

namespace {

QString cacheDir()
{
    QString base = qEnvironmentVariable("TEMP");
    if (base.isEmpty())
        base = QDir::tempPath() + QStringLiteral("/vk-media-tests-") + QString::number(getuid());
    const QString dir = base + QStringLiteral("/media-cache");
    QDir().mkpath(dir);
    return dir;
}

QStringList recipe(const QString& name)
{
    auto l = [](const char* s) { return QString::fromLatin1(s); };
    if (name == l("clip30.mp4"))
        return {l("-f"),        l("lavfi"),   l("-i"),      l("testsrc=size=160x120:rate=30:duration=3"),
                l("-f"),        l("lavfi"),   l("-i"),      l("sine=frequency=440:sample_rate=44100:duration=3"),
                l("-c:v"),      l("libx264"), l("-preset"), l("ultrafast"),
                l("-pix_fmt"),  l("yuv420p"), l("-c:a"),    l("aac"),
                l("-shortest"), l("-f"),      l("mp4")};
    if (name == l("clip25.mp4"))
        return {l("-f"),       l("lavfi"),   l("-i"),      l("testsrc=size=176x144:rate=25:duration=2"),
                l("-c:v"),     l("libx264"), l("-preset"), l("ultrafast"),
                l("-pix_fmt"), l("yuv420p"), l("-f"),      l("mp4")};
    // Every frame's number in its brightness: frame N is a flat grey of luma 16 + 4N
    // (lossless, so the number reads back exactly).
    if (name == l("frames25.mp4"))
        return {l("-f"),       l("lavfi"),
                l("-i"),       l("color=c=black:size=64x48:rate=25:duration=2"),
                l("-vf"),      l("geq=lum='16+4*N':cb=128:cr=128"),
                l("-c:v"),     l("libx264"),
                l("-preset"),  l("ultrafast"),
                l("-qp"),      l("0"),
                l("-pix_fmt"), l("yuv420p"),
                l("-f"),       l("mp4")};
    if (name == l("tone.wav"))
        return {l("-f"),   l("lavfi"),     l("-i"), l("sine=frequency=440:sample_rate=44100:duration=2.5"),
                l("-c:a"), l("pcm_s16le"), l("-f"), l("wav")};
    if (name == l("long.wav"))
        return {l("-f"),   l("lavfi"),     l("-i"), l("sine=frequency=330:sample_rate=44100:duration=8"),
                l("-c:a"), l("pcm_s16le"), l("-f"), l("wav")};
    if (name == l("beep.wav"))
        return {l("-f"),   l("lavfi"),     l("-i"), l("sine=frequency=1760:sample_rate=44100:duration=0.12"),
                l("-c:a"), l("pcm_s16le"), l("-f"), l("wav")};
    if (name == l("tone.mp3"))
        return {l("-f"),   l("lavfi"),      l("-i"),   l("sine=frequency=440:sample_rate=44100:duration=2"),
                l("-c:a"), l("libmp3lame"), l("-b:a"), l("128k"),
                l("-f"),   l("mp3")};
    if (name == l("cover.mp3"))
        return {l("-f"),
                l("lavfi"),
                l("-i"),
                l("sine=frequency=440:sample_rate=44100:duration=2"),
                l("-f"),
                l("lavfi"),
                l("-i"),
                l("color=c=red:size=64x64:duration=1"),
                l("-map"),
                l("0:a"),
                l("-map"),
                l("1:v"),
                l("-frames:v"),
                l("1"),
                l("-c:a"),
                l("libmp3lame"),
                l("-c:v"),
                l("png"),
                l("-disposition:v"),
                l("attached_pic"),
                l("-id3v2_version"),
                l("3"),
                l("-f"),
                l("mp3")};
    if (name == l("soundonly.mp4"))
        return {l("-f"),   l("lavfi"), l("-i"), l("sine=frequency=440:sample_rate=44100:duration=2"),
                l("-c:a"), l("aac"),   l("-f"), l("mp4")};
    if (name == l("still.png"))
        return {l("-f"),     l("lavfi"), l("-i"), l("testsrc=size=320x240:rate=1"), l("-frames:v"), l("1"), l("-f"),
                l("image2"), l("-c:v"),  l("png")};
    if (name == l("still.jpg"))
        return {l("-f"),        l("lavfi"), l("-i"),       l("testsrc=size=200x150:rate=1"),
                l("-frames:v"), l("1"),     l("-f"),       l("image2"),
                l("-c:v"),      l("mjpeg"), l("-pix_fmt"), l("yuvj420p")};
    if (name == l("click79.wav"))
        return {l("-f"),   l("lavfi"),
                l("-i"),   l("aevalsrc=exprs=if(lt(mod(t\\,0.5)\\,0.01)\\,sin(2*PI*1000*t)\\,0):s=44100:d=7.9"),
                l("-c:a"), l("pcm_s16le"),
                l("-f"),   l("wav")};
    if (name == l("still.bmp"))
        return {l("-f"),        l("lavfi"), l("-i"),       l("testsrc=size=64x48:rate=1"),
                l("-frames:v"), l("1"),     l("-f"),       l("image2"),
                l("-c:v"),      l("bmp"),   l("-pix_fmt"), l("bgr24")};
    return {};
}

} // namespace

bool RunFfmpeg(const QStringList& args, int timeoutMs)
{
    QProcess ff;
    ff.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                                   QStringLiteral("error"), QStringLiteral("-y")} +
                                           args);
    return ff.waitForFinished(timeoutMs) && ff.exitStatus() == QProcess::NormalExit && ff.exitCode() == 0;
}

bool Generate(const QStringList& args, const QString& path, int timeoutMs)
{
    return RunFfmpeg(args + QStringList{path}, timeoutMs);
}

QString File(const QString& name)
{
    const QString path = cacheDir() + QLatin1Char('/') + name;
    if (QFileInfo::exists(path))
        return path;
    if (name == QLatin1String("notmedia.txt")) {
        QFile f(path + QStringLiteral(".part"));
        if (!f.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write a test file");
        f.write("These are plain words, not sound and not pictures.\nSecond line.\n");
        f.close();
        QFile::rename(f.fileName(), path);
        return path;
    }
    const QStringList args = recipe(name);
    if (args.isEmpty())
        throw std::runtime_error("no recipe for a test media file");
    const QString part = path + QStringLiteral(".") + QString::number(getpid()) + QStringLiteral(".part");
    QProcess ff;
    QStringList all{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                    QStringLiteral("-y")};
    all << args << part;
    ff.start(QStringLiteral("ffmpeg"), all);
    if (!ff.waitForFinished(60000) || ff.exitStatus() != QProcess::NormalExit || ff.exitCode() != 0) {
        QFile::remove(part);
        throw std::runtime_error("ffmpeg failed: " + ff.readAllStandardError().toStdString());
    }
    // Another test process may have made it meanwhile; either copy is the same.
    if (!QFile::rename(part, path))
        QFile::remove(part);
    return path;
}

int FrameNumber(const QImage& picture)
{
    if (picture.isNull())
        return -1;
    const QRgb c = picture.pixel(picture.width() / 2, picture.height() / 2);
    // Grey g in full range is luma 16 + g * 219 / 255.
    const double luma = 16.0 + qGreen(c) * 219.0 / 255.0;
    return int(std::lround((luma - 16.0) / 4.0));
}

} // namespace vk::testmedia
