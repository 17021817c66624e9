// The shot analysis on footage made with ffmpeg: cuts on their frame, a flash and a pan
// that are no cuts, a fade as a span, files that are not footage; the cache file format;
// the worker's cancel.

#include "media/analysis/analysiscache.h"
#include "media/analysis/shotanalysis.h"
#include "media/analysis/shotcache.h"
#include "media/analysis/shotworker.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

namespace vk {
namespace {

// Three scenes of 45 frames at 30 fps joined by hard cuts, a two-frame white flash in
// the second, then a fade through black into a fourth.
QString cutsClip()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    // Made once and shared by the test processes: written under a name of this process's
    // own and renamed into place, so no process reads a half-written file.
    const QString final = QDir::temp().filePath(QStringLiteral("shots-cuts.mp4"));
    if (QFile::exists(final)) {
        path = final;
        return path;
    }
    path = QDir::temp().filePath(QStringLiteral("shots-cuts-%1.mp4").arg(QCoreApplication::applicationPid()));
    const QString graph = QStringLiteral(
        "[0:v]trim=end_frame=45,setpts=N,settb=1/30,format=yuv420p[a];"
        "[1:v]trim=end_frame=45,setpts=N,settb=1/"
        "30,format=yuv420p,lutyuv=y=235:u=128:v=128:enable='between(n,20,21)'[b];"
        "[2:v]trim=end_frame=45,setpts=N,settb=1/30,format=yuv420p,fade=t=out:start_frame=30:nb_frames=15[c];"
        "[3:v]trim=end_frame=45,setpts=N,settb=1/30,format=yuv420p,fade=t=in:nb_frames=15[d];"
        "[a][b][c][d]concat=n=4:v=1[out]");
    const bool ok = testmedia::RunFfmpeg({QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("testsrc2=s=320x240:r=30"),
                                          QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("smptebars=s=320x240:r=30"),
                                          QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("color=c=0x3050a0:s=320x240:r=30,noise=alls=20:allf=t"),
                                          QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("rgbtestsrc=s=320x240:r=30"),
                                          QStringLiteral("-filter_complex"),
                                          graph,
                                          QStringLiteral("-map"),
                                          QStringLiteral("[out]"),
                                          QStringLiteral("-c:v"),
                                          QStringLiteral("libx264"),
                                          QStringLiteral("-preset"),
                                          QStringLiteral("veryfast"),
                                          QStringLiteral("-r"),
                                          QStringLiteral("30"),
                                          path});
    if (!ok) {
        path.clear();
        return path;
    }
    // Another process may have put its copy in place first; both are the same footage.
    if (!QFile::rename(path, final))
        QFile::remove(path);
    path = final;
    return path;
}

TEST(ShotAnalysisFootage, CutsFlashAndFade)
{
    const QString clip = cutsClip();
    ASSERT_FALSE(clip.isEmpty());
    const ShotAnalysis a = analyseShots(clip);
    ASSERT_TRUE(a.ok()) << a.reason.toStdString();
    EXPECT_EQ(a.frames, 180);
    EXPECT_NEAR(a.fps, 30.0, 0.01);
    // The two hard cuts on their frame (±1), none on the flash at 65-66.
    std::string found;
    for (int c : a.cuts)
        found += std::to_string(c) + " ";
    ASSERT_EQ(a.cuts.size(), 2u) << found;
    EXPECT_NEAR(a.cuts[0], 45, 1);
    EXPECT_NEAR(a.cuts[1], 90, 1);
    // The fade through black (120-149) is one span, and the shots leave it out.
    ASSERT_EQ(a.transitions.size(), 1u);
    EXPECT_LE(a.transitions[0].firstFrame, 125);
    EXPECT_GE(a.transitions[0].lastFrame, 140);
    ASSERT_EQ(a.shots.size(), 4u);
    EXPECT_EQ(a.shots[0].firstFrame, 0);
    EXPECT_EQ(a.shots[1].firstFrame, a.cuts[0]);
    EXPECT_NEAR(a.shots[1].startMs, a.cuts[0] * 1000.0 / 30.0, 0.5);
    EXPECT_EQ(a.shots[3].firstFrame, a.transitions[0].lastFrame + 1);
    EXPECT_EQ(a.shots[3].lastFrame, 179);
    // Moving test pattern against still bars: more motion.
    EXPECT_GT(a.shots[0].motion, a.shots[1].motion);
    // A thumbnail at the start of every shot: on its first frame after a cut, within its
    // first frames after a fade.
    for (const Shot& s : a.shots) {
        const bool afterCut = s.firstFrame == 0 || std::count(a.cuts.begin(), a.cuts.end(), s.firstFrame) > 0;
        bool found = false;
        for (const ShotThumb& t : a.thumbs) {
            const bool near =
                afterCut ? t.frame == s.firstFrame : t.frame >= s.firstFrame && t.frame <= s.firstFrame + 10;
            found = found || (near && !t.image.isNull());
        }
        EXPECT_TRUE(found) << "no thumbnail at frame " << s.firstFrame;
    }
}

TEST(ShotAnalysisFootage, FilesThatAreNotFootage)
{
    EXPECT_EQ(analyseShots(testmedia::File(QStringLiteral("still.png"))).reason, stillReason());
    EXPECT_FALSE(analyseShots(testmedia::File(QStringLiteral("notmedia.txt"))).ok());
    EXPECT_FALSE(analyseShots(testmedia::File(QStringLiteral("tone.wav"))).ok());
    EXPECT_EQ(analyseShots(QStringLiteral("/nonexistent/x.mp4")).reason, QStringLiteral("File not found"));
    // A cut-off file still gives what it holds, or a reason; never a crash.
    QTemporaryDir dir;
    QFile in(cutsClip());
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.truncate(bytes.size() / 3);
    const QString broken = dir.filePath(QStringLiteral("broken.mp4"));
    QFile out(broken);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    const ShotAnalysis b = analyseShots(broken);
    EXPECT_TRUE(!b.ok() || b.frames < 180);
}

TEST(ShotCacheFile, RoundTripAndDamage)
{
    QTemporaryDir dir;
    const ShotCache cache(dir.path());
    bool fromCache = true;
    const ShotAnalysis first = cachedShotAnalysis(cache, cutsClip(), nullptr, {}, &fromCache);
    ASSERT_TRUE(first.ok());
    EXPECT_FALSE(fromCache);
    const ShotAnalysis second = cachedShotAnalysis(cache, cutsClip(), nullptr, {}, &fromCache);
    EXPECT_TRUE(fromCache);
    EXPECT_EQ(second.cuts, first.cuts);
    ASSERT_EQ(second.shots.size(), first.shots.size());
    for (size_t i = 0; i < first.shots.size(); ++i) {
        EXPECT_EQ(second.shots[i].firstFrame, first.shots[i].firstFrame);
        EXPECT_EQ(second.shots[i].motion, first.shots[i].motion);
    }
    ASSERT_EQ(second.thumbs.size(), first.thumbs.size());
    EXPECT_EQ(second.thumbs[0].image.convertToFormat(QImage::Format_RGB888),
              first.thumbs[0].image.convertToFormat(QImage::Format_RGB888));

    // Another key, a flipped byte, a cut-off file: misses.
    const QByteArray bytes = ShotCache::encode("k1", first);
    EXPECT_TRUE(ShotCache::decode(bytes, "k1").has_value());
    EXPECT_FALSE(ShotCache::decode(bytes, "k2").has_value());
    QByteArray flipped = bytes;
    flipped[bytes.size() / 2] = char(flipped[bytes.size() / 2] ^ 0x40);
    EXPECT_FALSE(ShotCache::decode(flipped, "k1").has_value());
    EXPECT_FALSE(ShotCache::decode(bytes.left(bytes.size() - 5), "k1").has_value());
    // A damaged file on disk is removed and analysed afresh.
    const QByteArray key = AnalysisCache::contentKey(cutsClip());
    QFile damaged(cache.pathFor(key));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(flipped);
    damaged.close();
    EXPECT_FALSE(cache.load(key).has_value());
    EXPECT_FALSE(QFile::exists(cache.pathFor(key)));
}

TEST(ShotWorkerJobs, SupersededJobNeverReports)
{
    testsupport::EnsureCoreApp("analysis_tests");
    QTemporaryDir dir;
    ShotWorker worker{ShotCache(dir.path())};
    std::vector<quint64> jobs;
    std::vector<QString> paths;
    QObject::connect(&worker, &ShotWorker::fileFinished,
                     [&](quint64 job, int, const QString& path, const ShotAnalysis&, bool) {
                         jobs.push_back(job);
                         paths.push_back(path);
                     });
    bool done = false;
    QObject::connect(&worker, &ShotWorker::finished, [&](quint64) { done = true; });
    worker.start({cutsClip()});
    const quint64 second = worker.start({testmedia::File(QStringLiteral("clip25.mp4")), cutsClip()});
    ASSERT_TRUE(testsupport::PumpUntil([&] { return done; }, 60000));
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0], second);
    EXPECT_EQ(jobs[1], second);
    EXPECT_EQ(paths[1], cutsClip());
    EXPECT_FALSE(worker.isBusy());
}

} // namespace
} // namespace vk
