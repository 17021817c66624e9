// Shot analysis figures against their targets, on footage made here with ffmpeg whose
// boundaries are known: scenes of different content and motion joined by hard cuts, a
// 1 s dissolve, a fade through black, a scene with a two-frame white flash and a camera
// pan over a still picture (neither is a cut).
//
// Printed: the F-measure of the hard cuts at ±1 frame, whether the dissolve and the fade
// were found as spans, the false cuts on the flash and on the pan, the analysis speed as
// a multiple of real time (decoding included) at 640x480, 1080p and 4K (H.264, 30 fps),
// as wall time and as the process's CPU time, and the time of a fill of 500 sections from
// 20 analysed files.
//
// Usage: shotbench [scratch folder]
//   footage found in the scratch folder from an earlier run is analysed again, not made anew

#include "media/analysis/shotanalysis.h"
#include "timeline/shotfill.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace {

using namespace vk;
using Clock = std::chrono::steady_clock;

constexpr int kFps = 30;
constexpr int kSceneFrames = 90;

struct Scene {
    const char* source; // a lavfi source at 640x480, 30 fps
    const char* into;   // how it is joined to the scene before: "cut", "dissolve", "fade"
};

// The scenes in order. Sources with motion, still ones, noise, colour only changes.
const Scene kSceneList[] = {
    {"testsrc2=s=640x480:r=30", "cut"},
    {"mandelbrot=s=640x480:r=30", "cut"},
    {"smptebars=s=640x480:r=30", "cut"},
    {"color=c=0x3050a0:s=640x480:r=30,noise=alls=20:allf=t", "cut"},
    {"life=s=640x480:r=30:mold=10:ratio=0.3:death_color=#C83232:life_color=#00ff00,trim=start_frame=60,setpts=N",
     "cut"},
    {"rgbtestsrc=s=640x480:r=30", "dissolve"},
    {"testsrc=s=640x480:r=30", "cut"},
    {"yuvtestsrc=s=640x480:r=30", "fade"},
    // The pan: a still picture three frames wide seen through a moving window.
    {"mandelbrot=s=1920x480:r=30:start_scale=2:end_scale=2,crop=640:480:x='min(1280,n*14)':y=0", "cut"},
    // The flash: two white frames in the middle of a scene.
    {"testsrc2=s=640x480:r=30,hue=h=140,lutyuv=y=235:u=128:v=128:enable='between(n,45,46)'", "cut"},
    {"pal75bars=s=640x480:r=30", "cut"},
    {"color=c=0xd08020:s=640x480:r=30,noise=alls=30:allf=t", "cut"},
    {"cellauto=s=640x480:r=30:rule=110", "cut"},
    {"testsrc2=s=640x480:r=30,hue=h=60:s=2", "cut"},
    {"gradients=s=640x480:r=30:speed=0.05", "cut"},
    {"mandelbrot=s=640x480:r=30:start_x=-0.75:start_y=0.1:start_scale=0.5:end_scale=0.05", "cut"},
};
constexpr int kScenes = int(sizeof(kSceneList) / sizeof(kSceneList[0]));
constexpr int kPanScene = 8;
constexpr int kFlashScene = 9;

struct Truth {
    std::vector<int> cuts;
    std::pair<int, int> dissolve; // first, last frame
    std::pair<int, int> fade;
    std::pair<int, int> pan;   // frames of the pan scene's inside
    std::pair<int, int> flash; // frames of the flash scene's inside
    int frames = 0;
};

bool runFfmpeg(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAll().constData());
        return false;
    }
    return true;
}

// The footage at 640x480 as a lossless file, and its truth.
bool makeFootage(const QString& out, Truth& t, bool truthOnly)
{
    QStringList args;
    QString graph;
    for (int i = 0; i < kScenes; ++i) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QString::fromLatin1(kSceneList[i].source);
        graph += QStringLiteral("[%1:v]trim=end_frame=%2,setpts=N,settb=1/30,format=yuv420p,setsar=1[s%1];")
                     .arg(i)
                     .arg(kSceneFrames);
    }
    // Joins: a dissolve eats one second of both its scenes; a fade darkens the last half
    // second of the scene before and brightens the first half second of the next.
    QString current = QStringLiteral("[s0]");
    int frames = kSceneFrames;
    for (int i = 1; i < kScenes; ++i) {
        const QString into = QString::fromLatin1(kSceneList[i].into);
        const QString next = QStringLiteral("[j%1]").arg(i);
        if (into == QLatin1String("dissolve")) {
            const int offset = frames - kFps;
            graph +=
                QStringLiteral("%1settb=1/30,setpts=N[x%2];[x%2][s%2]xfade=transition=fade:duration=1:offset=%3%4;")
                    .arg(current)
                    .arg(i)
                    .arg(double(offset) / kFps)
                    .arg(next);
            t.dissolve = {offset, offset + kFps - 1};
            frames = offset + kSceneFrames;
        } else if (into == QLatin1String("fade")) {
            const int half = kFps / 2;
            graph += QStringLiteral("%1fade=t=out:start_frame=%2:nb_frames=%3[fo%4];[s%4]fade=t=in:nb_frames=%3[fi%4];"
                                    "[fo%4][fi%4]concat=n=2:v=1%5;")
                         .arg(current)
                         .arg(frames - half)
                         .arg(half)
                         .arg(i)
                         .arg(next);
            t.fade = {frames - half, frames + half - 1};
            frames += kSceneFrames;
        } else {
            graph += QStringLiteral("%1[s%2]concat=n=2:v=1%3;").arg(current).arg(i).arg(next);
            t.cuts.push_back(frames);
            if (i == kPanScene)
                t.pan = {frames + 2, frames + kSceneFrames - 3};
            if (i == kFlashScene)
                t.flash = {frames + 2, frames + kSceneFrames - 3};
            frames += kSceneFrames;
        }
        current = next;
    }
    graph.chop(1);
    const QString last = current;
    t.frames = frames;
    if (truthOnly)
        return true;
    args << QStringLiteral("-filter_complex") << graph << QStringLiteral("-map") << last << QStringLiteral("-c:v")
         << QStringLiteral("ffv1") << QStringLiteral("-r") << QString::number(kFps) << out;
    return runFfmpeg(args);
}

bool encode(const QString& in, const QString& out, const QString& size, double seconds)
{
    QStringList args{QStringLiteral("-i"), in};
    if (seconds > 0)
        args << QStringLiteral("-t") << QString::number(seconds);
    args << QStringLiteral("-vf") << QStringLiteral("scale=%1:flags=bicubic").arg(size) << QStringLiteral("-c:v")
         << QStringLiteral("libx264") << QStringLiteral("-preset") << QStringLiteral("veryfast")
         << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p") << out;
    return runFfmpeg(args);
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

bool inside(int frame, std::pair<int, int> span)
{
    return frame >= span.first && frame <= span.second;
}

bool overlaps(const ShotTransition& t, std::pair<int, int> span)
{
    return !(t.lastFrame < span.first || t.firstFrame > span.second);
}

void quality(const QString& file, const Truth& truth, const char* label)
{
    const ShotAnalysis a = analyseShots(file);
    if (!a.ok()) {
        std::printf("%s: analysis failed: %s\n", label, qPrintable(a.reason));
        return;
    }
    int hits = 0;
    std::vector<bool> used(a.cuts.size(), false);
    for (int c : truth.cuts) {
        for (size_t k = 0; k < a.cuts.size(); ++k) {
            if (!used[k] && std::abs(a.cuts[k] - c) <= 1) {
                used[k] = true;
                ++hits;
                break;
            }
        }
    }
    const double precision = a.cuts.empty() ? 0.0 : double(hits) / a.cuts.size();
    const double recall = truth.cuts.empty() ? 0.0 : double(hits) / truth.cuts.size();
    const double f = precision + recall > 0 ? 2 * precision * recall / (precision + recall) : 0.0;
    bool dissolve = false;
    bool fade = false;
    int falseFlash = 0;
    int falsePan = 0;
    int otherSpans = 0;
    for (const ShotTransition& t : a.transitions) {
        otherSpans += overlaps(t, truth.dissolve) || overlaps(t, truth.fade) ? 0 : 1;
        dissolve = dissolve || overlaps(t, truth.dissolve);
        fade = fade || overlaps(t, truth.fade);
        falseFlash += overlaps(t, truth.flash) ? 1 : 0;
        falsePan += overlaps(t, truth.pan) ? 1 : 0;
    }
    for (int c : a.cuts) {
        falseFlash += inside(c, truth.flash) ? 1 : 0;
        falsePan += inside(c, truth.pan) ? 1 : 0;
    }
    std::printf("%s: %d frames, %zu cuts found of %zu (%d right), %zu gradual spans\n", label, a.frames, a.cuts.size(),
                truth.cuts.size(), hits, a.transitions.size());
    std::printf("  hard cuts F-measure at ±1 frame   %.3f  (P %.3f R %.3f)   target >= 0.95\n", f, precision, recall);
    std::printf("  dissolve (frames %d-%d) found      %s\n", truth.dissolve.first, truth.dissolve.second,
                dissolve ? "yes" : "NO");
    std::printf("  fade through black (%d-%d) found   %s\n", truth.fade.first, truth.fade.second, fade ? "yes" : "NO");
    std::printf("  gradual spans where there is none %d\n", otherSpans);
    std::printf("  false cuts on the flash           %d   target 0\n", falseFlash);
    std::printf("  false cuts on the pan             %d   target 0\n", falsePan);
    for (const ShotTransition& t : a.transitions)
        std::printf("    gradual span %d-%d\n", t.firstFrame, t.lastFrame);
    for (int c : a.cuts) {
        bool right = false;
        for (int tc : truth.cuts)
            right = right || std::abs(tc - c) <= 1;
        if (!right)
            std::printf("    false cut at %d\n", c);
    }
    for (int tc : truth.cuts) {
        bool found = false;
        for (int c : a.cuts)
            found = found || std::abs(tc - c) <= 1;
        if (!found)
            std::printf("    missed cut at %d\n", tc);
    }
}

void speed(const QString& file, double seconds, const char* label)
{
    const auto t0 = Clock::now();
    const double c0 = cpuSeconds();
    const ShotAnalysis a = analyseShots(file);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = cpuSeconds() - c0;
    if (!a.ok()) {
        std::printf("%s: analysis failed: %s\n", label, qPrintable(a.reason));
        return;
    }
    std::printf("  %-8s %5.1f s of video: %6.2f s wall = %5.1fx real time, %6.2f s CPU   target >= 8x at 1080p\n",
                label, seconds, wall, seconds / wall, cpu);
}

void fillSpeed()
{
    // 20 files of 5 minutes with shots of 1 to 8 s, 500 sections of 0.3 to 3 s.
    std::mt19937 rng(7);
    std::vector<ShotSource> sources;
    for (int f = 0; f < 20; ++f) {
        ShotSource s;
        s.file = QStringLiteral("/footage/clip%1.mp4").arg(f);
        s.frameIntervalMs = 33;
        s.width = 1920;
        s.height = 1080;
        double t = 0;
        while (t < 300000) {
            const double len = std::uniform_real_distribution<double>(1000, 8000)(rng);
            s.shots.push_back({t, t + len, std::uniform_real_distribution<float>(0, 0.2f)(rng)});
            t += len;
        }
        sources.push_back(std::move(s));
    }
    std::vector<FillSection> sections;
    for (int i = 0; i < 500; ++i) {
        FillSection s;
        s.row = i + 1;
        s.lengthMs = std::uniform_real_distribution<double>(300, 3000)(rng);
        s.energy = std::uniform_real_distribution<double>(0, 1)(rng);
        sections.push_back(s);
    }
    FillOptions options;
    options.seed = 1;
    const auto t0 = Clock::now();
    const FillPlan plan = planFill(sections, sources, {}, options);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("fill of 500 sections from 20 files: %.1f ms (%d filled, %d empty)   target <= 200 ms\n", ms,
                int(plan.spans.size()), plan.unfilled);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir tmp;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(dir);
    Truth truth;
    const QString master = dir + QStringLiteral("/shots-master.mkv");
    const QString sd = dir + QStringLiteral("/shots-640.mp4");
    const QString hd = dir + QStringLiteral("/shots-1080.mp4");
    const QString uhd = dir + QStringLiteral("/shots-2160.mp4");
    // Footage left in the scratch folder by an earlier run is used again (the truth is
    // worked out the same way); the master is made only when the encodings are missing.
    const bool ready = QFile::exists(sd) && QFile::exists(hd) && QFile::exists(uhd);
    std::printf("%s the footage (%d scenes)...\n", ready ? "Reusing" : "Making", kScenes);
    if (!makeFootage(master, truth, ready))
        return 1;
    const double seconds = double(truth.frames) / kFps;
    if (!ready &&
        (!encode(master, sd, QStringLiteral("640:480"), 0) || !encode(master, hd, QStringLiteral("1920:1080"), 0) ||
         !encode(master, uhd, QStringLiteral("3840:2160"), 15)))
        return 1;
    quality(sd, truth, "640x480 H.264");
    quality(hd, truth, "1920x1080 H.264");
    std::printf("Analysis speed (decoding included):\n");
    speed(sd, seconds, "640x480");
    speed(hd, seconds, "1080p");
    speed(uhd, 15.0, "4K");
    fillSpeed();
    return 0;
}
