// The editor's files under hostile conditions, grouped by kind:
//   Disk     a disk that fills up during a project save, an autosave, a render (WAV, DV
//            AVI, MP4), an export (Kdenlive by the renderer, EDL by the editor) and a
//            write of the beat cache;
//   Targets  a project folder that is read-only, a render folder removed while the save
//            dialog was open, a target that is a folder, a name with a line break.
// Each case checks that the previous file is intact, that nothing partial or temporary
// is left, that the user was told what happened to which file, and that the editor
// still works: the next save to a place with room succeeds.
//
// The full disk is real: a tmpfs of a few kilobytes, mounted in a mount namespace of
// the test program's own (see smalldisk.h), so every write() below the renderer's
// engines and Qt's QSaveFile meets ENOSPC exactly as on a full disk.
#include "media/analysis/analysiscache.h"
#include "media/analysis/shotcache.h"
#include "media/mpv/ffmpegproxymaker.h"
#include "media/proxycache.h"
#include "media/soundpanel.h"
#include "project/autosave.h"
#include "project/projectfile.h"
#include "render/exportcommand.h"
#include "render/outputdriver.h"
#include "tests/integration/smalldisk.h"
#include "tests/integration/writeroutput.h"
#include "tests/project/autosave_support.h"
#include "tests/support/fakeengine.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace vk {
namespace {

using test::MemorySettings;
using test::SmallDisk;

#define REQUIRE_DISK(disk)                                                                                             \
    do {                                                                                                               \
        if (!(disk).ok())                                                                                              \
            GTEST_SKIP() << "no small file system to fill: " << (disk).error().toStdString();                          \
    } while (0)

// The words the messages use for a full disk.
bool saysDiskFull(const QString& text)
{
    return text.contains(QStringLiteral("空き容量")) || text.contains(QStringLiteral("No space left on device"));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

QString allMessages(const ScriptedUi& ui)
{
    QStringList texts;
    for (const auto& m : ui.messages)
        texts << m.text;
    return texts.join(QStringLiteral("\n---\n"));
}

// The editor's document state with a project of four registered rows: big enough that
// its document does not fit where the tests leave a few hundred bytes.
class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.info.durationMsec = 10000;
        engine.info.secondsPerFrame = 1.0 / 30.0;
        editor.setPanels(&sound, nullptr);
        editor.setSndFile(QStringLiteral("/media/music/song.wav"));
        MakeSections(editor, {0, 2000, 4000, 6000}, 10000, 33);
        for (int r = 1; r < editor.Grid().Rows(); ++r)
            Register(editor, r, QStringLiteral("/media/video/a clip with a rather long name %1.mp4").arg(r), 0, 1900);
        editor.setModified(true);
    }

    // The document a save of the current table writes.
    QByteArray currentDocument()
    {
        QByteArray bytes;
        QString reason;
        EXPECT_TRUE(project.buildCurrentDocument(bytes, reason)) << reason.toStdString();
        return bytes;
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine engine;
    SoundPanel sound{editor, engine, nullptr};
    ProjectFile project{editor};
};

// ---- Disk: a project save ------------------------------------------------------------------

using DiskSave = EditorFixture;

TEST_F(DiskSave, ProjectSaveOnAFullDiskKeepsThePreviousProjectAndTheNextSaveWorks)
{
    SmallDisk disk(64 * 1024);
    REQUIRE_DISK(disk);
    const QString target = disk.filePath(QStringLiteral("song.rem"));
    const QByteArray previous = "<project version=\"old\"/>";
    ASSERT_TRUE(writeBytes(target, previous));
    ASSERT_GT(currentDocument().size(), 600);
    ASSERT_TRUE(disk.fill(300));

    ui.yesNo = {true}; // replace the existing file
    EXPECT_FALSE(project.ProjectSave(target));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains(target)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(saysDiskFull(ui.messages[0].text)) << ui.messages[0].text.toStdString();
    EXPECT_EQ(readAll(target), previous);
    EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("song.rem")});
    EXPECT_TRUE(editor.modified());

    // Once there is room, the same save goes through.
    disk.makeRoom();
    ui.yesNo = {true};
    EXPECT_TRUE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), currentDocument());
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("song.rem")});
}

// ---- Disk: an autosave ---------------------------------------------------------------------

TEST_F(DiskSave, AutosaveOnAFullDiskKeepsTheLastAutosaveTellsOnceAndRecovers)
{
    SmallDisk disk(64 * 1024);
    REQUIRE_DISK(disk);
    MemorySettings settings;
    Autosave autosave(editor, project, settings, disk.path());
    editor.setProjectPath(QStringLiteral("/projects/song.rem"));

    ASSERT_TRUE(autosave.writeNow());
    const QString file = autosave.currentFile();
    ASSERT_FALSE(file.isEmpty());
    const QByteArray first = readAll(file);
    ASSERT_EQ(first, currentDocument());
    const QStringList before = disk.entries();

    // More rows, and no room for them.
    MakeSections(editor, {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000}, 10000, 33);
    ASSERT_TRUE(disk.fill(300));
    EXPECT_FALSE(autosave.writeNow());
    EXPECT_FALSE(autosave.writeNow()); // the next tick fails the same way
    EXPECT_EQ(readAll(file), first);
    EXPECT_EQ(disk.entries(), before);
    // Told once, with the file and the reason, not at every tick.
    ASSERT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(file)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(saysDiskFull(ui.messages[0].text)) << ui.messages[0].text.toStdString();

    disk.makeRoom();
    EXPECT_TRUE(autosave.writeNow());
    EXPECT_EQ(readAll(file), currentDocument());
    EXPECT_EQ(disk.entries(), before);
    EXPECT_EQ(ui.messages.size(), 1);
}

// ---- Disk: the beat cache ------------------------------------------------------------------

TEST(DiskCache, BeatCacheAndCorrectionsOnAFullDiskKeepThePreviousFiles)
{
    // Room for the large analysis below (about 180 KB) once the disk is emptied again.
    SmallDisk disk(512 * 1024);
    REQUIRE_DISK(disk);
    AnalysisCache cache(disk.path());
    const QByteArray key = QByteArrayLiteral("0123456789abcdef0123456789abcdef01234567");

    AudioAnalysis small;
    small.sampleRate = 48000;
    small.beatsMs = {500, 1000, 1500};
    std::vector<float> samples(48000, 0.25f);
    small.peaks = WaveformPeaks::build(samples.data(), samples.size(), 48000);
    ASSERT_TRUE(cache.store(key, small));
    ASSERT_TRUE(cache.storeCorrections(key, QByteArrayLiteral("moved 1 0.98\n")));
    const QByteArray previousCache = readAll(cache.pathFor(key));
    const QByteArray previousGrid = readAll(cache.correctionsPathFor(key));
    const QStringList before = disk.entries();

    AudioAnalysis big = small;
    std::vector<float> longer(48000 * 60, 0.5f);
    big.peaks = WaveformPeaks::build(longer.data(), longer.size(), 48000);
    ASSERT_GT(AnalysisCache::encode(key, big).size(), 4096);
    ASSERT_TRUE(disk.fill(300));
    EXPECT_FALSE(cache.store(key, big));
    EXPECT_EQ(readAll(cache.pathFor(key)), previousCache);
    EXPECT_EQ(readAll(cache.correctionsPathFor(key)), previousGrid);
    EXPECT_EQ(disk.entries(), before);

    disk.makeRoom();
    EXPECT_TRUE(cache.store(key, big));
    EXPECT_GT(readAll(cache.pathFor(key)).size(), previousCache.size());
    EXPECT_EQ(disk.entries(), before);
}

// The corrections by hand: a buffered QSaveFile's failed final flush went unnoticed, so
// on a full disk the store reported success and left an empty file in place of the
// previous corrections. The cache now writes unbuffered and checks every write.
TEST(DiskCache, GridCorrectionsOnAFullDiskKeepThePreviousFile)
{
    SmallDisk disk(64 * 1024);
    REQUIRE_DISK(disk);
    AnalysisCache cache(disk.path());
    const QByteArray key = QByteArrayLiteral("0123456789abcdef0123456789abcdef01234567");
    ASSERT_TRUE(cache.storeCorrections(key, QByteArrayLiteral("moved 1 0.98\n")));
    const QByteArray previous = readAll(cache.correctionsPathFor(key));
    const QStringList before = disk.entries();
    ASSERT_TRUE(disk.fill(300));
    EXPECT_FALSE(cache.storeCorrections(key, QByteArray(4096, 'c')));
    EXPECT_EQ(readAll(cache.correctionsPathFor(key)), previous);
    EXPECT_EQ(disk.entries(), before);
}

TEST(DiskCache, ShotCacheOnAFullDiskKeepsThePreviousFile)
{
    SmallDisk disk(512 * 1024);
    REQUIRE_DISK(disk);
    ShotCache cache(disk.path());
    const QByteArray key = QByteArrayLiteral("89abcdef0123456789abcdef0123456789abcdef");
    ShotAnalysis small;
    small.fps = 30.0;
    small.frames = 90;
    small.width = 320;
    small.height = 240;
    small.durationMs = 3000.0;
    small.shots.push_back(Shot{0, 89, 0.0, 3000.0, 0.1f});
    ASSERT_TRUE(cache.store(key, small));
    const QByteArray previous = readAll(cache.pathFor(key));
    const QStringList before = disk.entries();

    // A thumbnail of noise: more than the full disk has room for, and less than a
    // buffered file keeps back until its final flush (where a failure went unnoticed).
    ShotAnalysis big = small;
    for (int i = 0; i < 1; ++i) {
        QImage image(ShotAnalysis::kThumbWidth, 54, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((x * 37 + y * 11 + i * 101) % 256, (x * y + i) % 256, (i * 53 + y) % 256));
        big.thumbs.push_back(ShotThumb{i * 2, i * 66.7, image});
    }
    ASSERT_GT(ShotCache::encode(key, big).size(), 4096);
    ASSERT_LT(ShotCache::encode(key, big).size(), 16384);
    ASSERT_TRUE(disk.fill(300));
    EXPECT_FALSE(cache.store(key, big));
    EXPECT_EQ(readAll(cache.pathFor(key)), previous);
    EXPECT_EQ(disk.entries(), before);

    disk.makeRoom();
    EXPECT_TRUE(cache.store(key, big));
    EXPECT_EQ(disk.entries(), before);
}

// The viewing copies of the video panel: a copy that does not fit says so, names the
// file, leaves no part file and keeps the copies made before; with room again, the next
// request makes it.
TEST(DiskCache, ViewingCopyOnAFullDiskTellsKeepsTheOtherCopiesAndIsMadeOnceThereIsRoom)
{
    SmallDisk disk(3 * 1024 * 1024);
    REQUIRE_DISK(disk);
    QTemporaryDir media;
    ASSERT_TRUE(media.isValid());
    auto clip = [&](const char* name, const char* source) {
        const QString path = media.filePath(QLatin1String(name));
        EXPECT_TRUE(testmedia::RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                          QLatin1String(source), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                          QStringLiteral("-preset"), QStringLiteral("veryfast"), path}));
        return path;
    };
    const QString first = clip("first.mp4", "testsrc2=s=320x240:r=25:d=1");
    const QString second = clip("second.mp4", "testsrc2=s=640x360:r=25:d=2");
    ASSERT_TRUE(QFileInfo(first).size() > 0 && QFileInfo(second).size() > 0);

    FfmpegProxyMaker maker;
    ProxyCache cache(disk.filePath(QStringLiteral("proxies")), ProxyCache::kDefaultLimitBytes, maker,
                     ProxyCache::Priority::Normal);
    QSignalSpy failed(&cache, &ProxyCache::copyFailed);
    QSignalSpy ready(&cache, &ProxyCache::copyReady);
    auto make = [&](const QString& file) {
        cache.request(file);
        return testsupport::PumpUntil([&] { return !cache.busy(); }, 60000);
    };
    ASSERT_TRUE(make(first));
    const auto kept = cache.readyCopy(first);
    ASSERT_TRUE(kept.has_value()) << failed.value(0).value(1).toString().toStdString();
    const QByteArray keptBytes = readAll(kept->path);
    const QStringList before = QDir(cache.folder()).entryList(QDir::Files, QDir::Name);

    // Full at the first write (the header), and full part of the way through.
    for (const qint64 leave : {qint64(4096), qint64(160 * 1024)}) {
        SCOPED_TRACE(leave);
        const qsizetype told = failed.size();
        ASSERT_TRUE(disk.fill(leave));
        ASSERT_TRUE(make(second));
        ASSERT_EQ(failed.size(), told + 1);
        const QString note = failed.last().value(1).toString();
        EXPECT_TRUE(note.contains(QStringLiteral("second.mp4"))) << note.toStdString();
        EXPECT_TRUE(saysDiskFull(note)) << note.toStdString();
        EXPECT_FALSE(cache.readyCopy(second).has_value());
        EXPECT_EQ(QDir(cache.folder()).entryList(QDir::Files, QDir::Name), before);
        EXPECT_EQ(readAll(cache.readyCopy(first)->path), keptBytes);
        disk.makeRoom();
    }

    ASSERT_TRUE(make(second));
    EXPECT_EQ(failed.size(), 2);
    EXPECT_TRUE(cache.readyCopy(second).has_value());
    EXPECT_EQ(readAll(cache.readyCopy(first)->path), keptBytes);
}

// ---- Disk: renders ---------------------------------------------------------------------------

using Outcome = test::WriterRun;

bool ffmpeg(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Media generated once for every render case: a 3 s sound clip and a 2 s red clip.
class RenderMedia {
public:
    static RenderMedia& get()
    {
        static RenderMedia media;
        return media;
    }
    bool ok = false;
    QString sound, video, temp;

private:
    RenderMedia()
    {
        if (!m_dir.isValid())
            return;
        sound = m_dir.filePath(QStringLiteral("song.wav"));
        video = m_dir.filePath(QStringLiteral("red.mp4"));
        temp = m_dir.filePath(QStringLiteral("temp"));
        QDir().mkpath(temp);
        ok = ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:sample_rate=48000:duration=3"), QStringLiteral("-ac"),
                     QStringLiteral("2"), sound}) &&
             ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("color=c=red:s=320x240:r=30:d=3"), QStringLiteral("-c:v"),
                     QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), video});
    }
    QTemporaryDir m_dir;
};

using Kind = test::OutputKind;

bool noneContains(const QStringList& names, const QString& part)
{
    for (const QString& n : names)
        if (n.contains(part))
            return false;
    return true;
}

// What the output command starts, run here to its end: the editor's documents for a
// two-row table over the generated media, and the real T-VideoWrite.
class Render : public ::testing::Test {
protected:
    void SetUp() override
    {
        RenderMedia& media = RenderMedia::get();
        ASSERT_TRUE(media.ok) << "ffmpeg could not make the test media";
        qputenv("TEMP", QFile::encodeName(media.temp));
        editor.setSndFile(media.sound);
        MakeSections(editor, {0, 1500}, 3000, 33);
        Register(editor, 1, media.video, 0, 1500, 33, 320, 240);
        Register(editor, 2, media.video, 1000, 2500, 33, 320, 240);
        editor.setAviProfileIndex(0); // DV
        editor.setMp4ProfileIndex(0);
    }

    Outcome render(Kind kind, const QString& target) { return test::RunOutputCommand(editor, ui, kind, target); }

    // A render that finds no room: exit status 1, the old target as it was, no partial
    // file, and a message with the target that says the disk is full. Then, with room,
    // the same render succeeds.
    void renderOntoAFullDisk(Kind kind, const QString& name)
    {
        SmallDisk disk(256 * 1024);
        REQUIRE_DISK(disk);
        const QString target = disk.filePath(name);
        const QByteArray previous = "the previous render";
        ASSERT_TRUE(writeBytes(target, previous));
        ASSERT_TRUE(disk.fill(4096));

        const Outcome full = render(kind, target);
        ASSERT_TRUE(full.finished) << full.err.toStdString();
        EXPECT_EQ(full.exitCode, 1) << full.out.toStdString() << full.err.toStdString();
        EXPECT_TRUE(full.err.contains(target)) << full.err.toStdString();
        EXPECT_TRUE(saysDiskFull(full.err)) << full.err.toStdString();
        EXPECT_EQ(readAll(target), previous);
        EXPECT_EQ(disk.entries(), QStringList{name});

        SmallDisk roomy(64 * 1024 * 1024);
        REQUIRE_DISK(roomy);
        const QString second = roomy.filePath(name);
        const Outcome ok = render(kind, second);
        ASSERT_TRUE(ok.finished);
        EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
        EXPECT_TRUE(ok.out.contains(QStringLiteral("Finished: ") + second)) << ok.out.toStdString();
        EXPECT_EQ(roomy.entries(), QStringList{name});
        EXPECT_EQ(readAll(target), previous);
    }

    ScriptedUi ui;
    Editor editor{ui};
};

using DiskRender = Render;

TEST_F(DiskRender, WavOnAFullDiskFailsAndKeepsTheOldFile)
{
    renderOntoAFullDisk(Kind::Wav, QStringLiteral("song.wav"));
}

TEST_F(DiskRender, DvAviOnAFullDiskFailsAndKeepsTheOldFile)
{
    renderOntoAFullDisk(Kind::DvAvi, QStringLiteral("movie.avi"));
}

TEST_F(DiskRender, Mp4OnAFullDiskFailsAndKeepsTheOldFile)
{
    renderOntoAFullDisk(Kind::Mp4, QStringLiteral("movie.mp4"));
}

// A full temporary folder: the render cannot be given its documents, and the user is
// told which file (or folder) and why; with room the render starts.
TEST_F(DiskRender, FullTemporaryFolderIsReportedWithTheFile)
{
    SmallDisk disk(64 * 1024);
    REQUIRE_DISK(disk);
    const QByteArray temp = QFile::encodeName(disk.path());
    qputenv("TEMP", temp);
    QTemporaryDir out;
    OutputDriver driver(editor);
    driver.setApplicationFolder(QStringLiteral(VK_WRITER_FOLDER));
    ASSERT_TRUE(disk.fill(0));
    ui.saveNames.push_back(out.filePath(QStringLiteral("movie.avi")));
    driver.CreateAvi();
    EXPECT_TRUE(ui.started.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1);
    const QString text = ui.messages[0].text;
    EXPECT_TRUE(text.contains(disk.path())) << text.toStdString();
    EXPECT_TRUE(saysDiskFull(text) || text.startsWith(QStringLiteral("一時フォルダを使用できません。")))
        << text.toStdString();
    EXPECT_TRUE(noneContains(disk.entries(), QStringLiteral("T-KaDro-Clips")))
        << disk.entries().join(QLatin1Char(' ')).toStdString();

    disk.makeRoom();
    ui.saveNames.push_back(out.filePath(QStringLiteral("movie.avi")));
    ui.startResult = true;
    driver.CreateAvi();
    EXPECT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ui.messages.size(), 1);
    qputenv("TEMP", QFile::encodeName(RenderMedia::get().temp));
}

// The exports onto a full disk: the Kdenlive project (written by T-VideoWrite's export
// mode) and the EDL (by the editor) fail with a message naming the target and the full
// disk, keep the old file and leave nothing else; with room they are written.
class DiskExport : public Render {
protected:
    void exportOntoAFullDisk(ExportKind kind, const QString& name)
    {
        ExportCommand command(editor, QStringLiteral(VK_WRITER_FOLDER "/T-VideoWrite"));
        SmallDisk disk(256 * 1024);
        REQUIRE_DISK(disk);
        const QString target = disk.filePath(name);
        const QByteArray previous = "the previous export";
        ASSERT_TRUE(writeBytes(target, previous));
        ASSERT_TRUE(disk.fill(1024));

        ui.saveNames.push_back(target);
        ui.yesNo.push_back(true);
        command.Export(kind, BeatMarks{});
        ASSERT_TRUE(testsupport::PumpUntil([&] { return !command.running(); }, 120000));
        ASSERT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
        const QString text = ui.messages[0].text;
        EXPECT_TRUE(text.startsWith(QStringLiteral("書き出しに失敗しました。"))) << text.toStdString();
        EXPECT_TRUE(text.contains(target)) << text.toStdString();
        EXPECT_TRUE(saysDiskFull(text)) << text.toStdString();
        EXPECT_EQ(readAll(target), previous);
        EXPECT_EQ(disk.entries(), QStringList{name});

        ui.messages.clear();
        disk.makeRoom();
        ui.saveNames.push_back(target);
        ui.yesNo.push_back(true);
        command.Export(kind, BeatMarks{});
        ASSERT_TRUE(testsupport::PumpUntil([&] { return !command.running(); }, 120000));
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_TRUE(ui.messages[0].text.startsWith(QStringLiteral("書き出しました。\r\n") + target))
            << ui.messages[0].text.toStdString();
        EXPECT_NE(readAll(target), previous);
        EXPECT_EQ(disk.entries(), QStringList{name});
    }
};

TEST_F(DiskExport, KdenliveProjectOnAFullDiskFailsAndLeavesNoPartFile)
{
    exportOntoAFullDisk(ExportKind::Kdenlive, QStringLiteral("project.kdenlive"));
}

TEST_F(DiskExport, EdlOnAFullDiskFailsAndKeepsTheOldFile)
{
    exportOntoAFullDisk(ExportKind::Edl, QStringLiteral("project.edl"));
}

// ---- Targets: project saves --------------------------------------------------------------

using TargetsSave = EditorFixture;

// Root ignores the permission bits, so the folder is on a file system mounted read-only.
TEST_F(TargetsSave, ReadOnlyProjectFolderKeepsTheProjectAndASaveElsewhereWorks)
{
    SmallDisk disk(64 * 1024);
    REQUIRE_DISK(disk);
    const QString target = disk.filePath(QStringLiteral("song.rem"));
    const QByteArray previous = "<project version=\"old\"/>";
    ASSERT_TRUE(writeBytes(target, previous));
    ASSERT_TRUE(disk.setReadOnly(true));

    ui.yesNo = {true};
    EXPECT_FALSE(project.ProjectSave(target));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains(target)) << ui.messages[0].text.toStdString();
    EXPECT_EQ(readAll(target), previous);
    EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("song.rem")});
    EXPECT_TRUE(editor.modified());

    // Save As to a writable folder: the project moves there.
    QTemporaryDir other;
    const QString moved = other.filePath(QStringLiteral("song.rem"));
    ui.saveNames.push_back(moved);
    EXPECT_TRUE(project.SaveAsCommand());
    EXPECT_EQ(editor.projectPath(), moved);
    EXPECT_EQ(readAll(moved), currentDocument());
    EXPECT_FALSE(editor.modified());
    ASSERT_TRUE(disk.setReadOnly(false));
}

TEST_F(TargetsSave, TargetThatIsAFolderIsLeftAloneWithAMessage)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("song.rem"));
    ASSERT_TRUE(QDir().mkpath(target + QStringLiteral("/inside")));
    ui.yesNo = {true};
    EXPECT_FALSE(project.ProjectSave(target));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains(target)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(QFileInfo(target).isDir());
    EXPECT_EQ(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("inside")});
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("song.rem")});
    EXPECT_TRUE(editor.modified());
    ui.yesNo = {true};
    EXPECT_TRUE(project.ProjectSave(dir.filePath(QStringLiteral("song2.rem"))));
}

// A line break is a legal character in a Linux file name: the project is written under
// exactly that name and reads back.
TEST_F(TargetsSave, NameWithALineBreakSavesUnderThatNameAndReadsBack)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("two\nlines.rem"));
    const QByteArray document = currentDocument();
    QStringList files;
    for (int r = 1; r < editor.Grid().Rows(); ++r)
        files << editor.Grid().videoFile(r) +
                     CellText(editor.Grid(), r, Col::InPoint, editor.sndFrameInterval(), editor.sndLength());
    EXPECT_TRUE(project.ProjectSave(target)) << allMessages(ui).toStdString();
    EXPECT_EQ(readAll(target), document);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("two\nlines.rem")});
    editor.Grid().setRows(1);
    ASSERT_TRUE(project.ProjectLoad(target));
    QStringList loaded;
    for (int r = 1; r < editor.Grid().Rows(); ++r)
        loaded << editor.Grid().videoFile(r) +
                      CellText(editor.Grid(), r, Col::InPoint, editor.sndFrameInterval(), editor.sndLength());
    EXPECT_EQ(loaded, files);
}

// ---- Targets: renders ----------------------------------------------------------------------

using TargetsRender = Render;

// The folder chosen in the save dialog is gone by the time the render starts.
TEST_F(TargetsRender, FolderRemovedWhileTheSaveDialogWasOpenFailsCleanly)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("chosen"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = folder + QStringLiteral("/movie.avi");
    ASSERT_TRUE(QDir(folder).removeRecursively());

    const Outcome o = render(Kind::DvAvi, target);
    ASSERT_TRUE(o.finished);
    EXPECT_EQ(o.exitCode, 1) << o.out.toStdString();
    EXPECT_TRUE(o.err.contains(folder)) << o.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // Chosen again, in a folder that is there, the render goes through.
    ASSERT_TRUE(QDir().mkpath(folder));
    editor.setOutputPath(QString());
    const Outcome again = render(Kind::Wav, folder + QStringLiteral("/song.wav"));
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}

TEST_F(TargetsRender, TargetThatIsAFolderFailsAndTheFolderStays)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("movie.wav"));
    ASSERT_TRUE(QDir().mkpath(target + QStringLiteral("/inside")));
    const Outcome o = render(Kind::Wav, target);
    ASSERT_TRUE(o.finished);
    EXPECT_EQ(o.exitCode, 1) << o.out.toStdString() << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(target)) << o.err.toStdString();
    EXPECT_TRUE(QFileInfo(target + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("movie.wav")});
}

// The render goes to the file of that very name, not to a name with the line break
// turned into something else.
TEST_F(TargetsRender, NameWithALineBreakIsWrittenUnderThatNameOrRefused)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("two\nlines.wav"));
    const Outcome o = render(Kind::Wav, target);
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    if (o.finished && o.exitCode == 0) {
        EXPECT_EQ(left, QStringList{QStringLiteral("two\nlines.wav")});
    } else {
        // Refused before anything was written, and said so.
        EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(ui.messages.isEmpty() && o.err.isEmpty());
    }
    EXPECT_TRUE(noneContains(left, QStringLiteral(".part")));
}

// ---- Two editors, one project ---------------------------------------------------------------

using TwoEditors = EditorFixture;

// Another editor (a process of its own) holds the project modified and autosaves it
// every second. This one opens the same project, changes it otherwise and autosaves:
// each keeps its own autosave, and neither overwrites the other's.
TEST_F(TwoEditors, AutosaveOfTheSecondEditorNeverOverwritesTheFirstOnes)
{
    QTemporaryDir dir;
    const QString projectPath = dir.filePath(QStringLiteral("shared.rem"));
    const QString folder = dir.filePath(QStringLiteral("autosave"));
    ASSERT_TRUE(project.ProjectSave(projectPath)) << allMessages(ui).toStdString();

    QProcess other;
    other.start(QStringLiteral(VK_AUTOSAVE_CHILD), {folder, projectPath, dir.filePath(QStringLiteral("dump.txt"))});
    ASSERT_TRUE(other.waitForStarted(10000));
    auto autosaves = [&] { return QDir(folder).entryList({QStringLiteral("*.rem")}, QDir::Files, QDir::Name); };
    for (int i = 0; i < 100 && autosaves().size() < 1; ++i)
        other.waitForFinished(100);
    ASSERT_EQ(autosaves().size(), 1) << "the other editor wrote no autosave";
    const QString theirs = QDir(folder).filePath(autosaves().first());
    const QByteArray theirDocument = readAll(theirs);

    MemorySettings settings;
    ui.yesNo.clear();
    ASSERT_TRUE(project.ProjectLoad(projectPath));
    editor.setProjectPath(projectPath);
    {
        Autosave autosave(editor, project, settings, folder);
        editor.Grid().setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
        editor.Grid().setEffectLength(1, 300);
        editor.setModified(true);
        ASSERT_TRUE(autosave.writeNow());
        EXPECT_NE(autosave.currentFile(), theirs);
        EXPECT_EQ(readAll(autosave.currentFile()), currentDocument());
        EXPECT_EQ(autosaves().size(), 2);
        other.waitForFinished(1500); // the other editor autosaves again meanwhile
        EXPECT_EQ(readAll(theirs), theirDocument);
        EXPECT_EQ(readAll(autosave.currentFile()), currentDocument());
        // Its autosave is work in progress, not something to recover.
        EXPECT_TRUE(autosave.leftovers().empty());
    }
    // This editor ends normally: its own autosave goes, the other's stays.
    EXPECT_EQ(autosaves(), QStringList{QFileInfo(theirs).fileName()});
    EXPECT_EQ(readAll(theirs), theirDocument);
    other.kill();
    other.waitForFinished(5000);
}

} // namespace
} // namespace vk

int main(int argc, char** argv)
{
    // Before any thread exists: a user namespace can only be entered by a process of one
    // thread.
    QString why;
    if (!vk::test::EnterOwnMountNamespace(why))
        std::fprintf(stderr, "hostile tests: no mounts of our own (%s); the disk cases are skipped\n",
                     why.toLocal8Bit().constData());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
