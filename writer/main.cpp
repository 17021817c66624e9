// T-VideoWrite: renders the editor's timeline document into a file (DV AVI,
// uncompressed AVI, WAV, WMV/ASF, MP4) or plays it as a preview.
//
//   T-VideoWrite <parameters document path>
//   T-VideoWrite --export shotcut|kdenlive <project file> <parameters document> [<markers document>]
//
// The second form writes the engine timeline of the parameters' range as a Shotcut
// or Kdenlive project instead of rendering it (see projectexport.h).
//
// Several arguments are joined with single blanks into one path, because
// older callers pass the path unquoted. Exit status: 0 done, 1 error, 2 cancelled,
// 3 written but out of sync (the check after the render; the file is kept).

#include "writer/heldsources.h"
#include "writer/mediaprobe.h"
#include "writer/mltbuilder.h"
#include "writer/mltengine.h"
#include "writer/outputcheck.h"
#include "writer/outputformat.h"
#include "writer/paramsdocument.h"
#include "writer/previewwindow.h"
#include "writer/progresswindow.h"
#include "writer/projectexport.h"
#include "writer/renderjob.h"
#include "writer/timelinereader.h"

#include <mlt++/Mlt.h>

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const QString kTitle = QStringLiteral("T-VideoWrite");

// The file was written but the check after the render found it out of sync.
constexpr int kExitOutOfSync = 3;

// SIGTERM / SIGINT end the work like Cancel / Close: no partial file is left.
std::atomic<bool> g_stopRequested{false};

extern "C" void onStopSignal(int)
{
    g_stopRequested.store(true);
}

// Calls `stop` on the event loop once a stop signal has arrived.
void watchStopSignal(QObject* owner, const std::function<void()>& stop)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [stop, timer] {
        if (g_stopRequested.load()) {
            timer->stop();
            stop();
        }
    });
    timer->start(100);
}

// Message boxes only when someone can answer them.
bool dialogsAllowed()
{
    const char* off = std::getenv("VK_WRITER_NO_DIALOGS");
    if (off && *off && std::string(off) != "0")
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// A failure: the same (Japanese) text on stderr and, with a display, in a
// warning box.
int fail(const std::string& message, int code = 1)
{
    std::fprintf(stderr, "T-VideoWrite: %s\n", message.c_str());
    std::fflush(stderr);
    if (qApp && dialogsAllowed())
        QMessageBox::warning(nullptr, kTitle, QString::fromStdString(message));
    return code;
}

// The result line on stdout is for logs and callers that read it; the box
// tells the user in the editor's language.
void announce(const std::string& resultLine, const std::string& message)
{
    std::printf("%s\n", resultLine.c_str());
    std::fflush(stdout);
    if (dialogsAllowed())
        QMessageBox::information(nullptr, kTitle, QString::fromStdString(message));
}

// The export's progress for the editor that started it, a line per step. Test hook:
// VK_WRITER_TEST_STOP_EXPORT=<percent> acts as a stop signal arriving at that step.
void exportProgress(int percent)
{
    std::printf("progress %3d%%\n", percent);
    std::fflush(stdout);
    if (const char* at = std::getenv("VK_WRITER_TEST_STOP_EXPORT"); at && *at && percent >= std::atoi(at))
        g_stopRequested.store(true);
}

// A stop signal ends an export between its steps.
bool stopped()
{
    return g_stopRequested.load();
}

// Writes `text` to `path` and flushes it to the disk; on failure removes the file and
// says why (a full disk in so many words).
bool writeDurably(const std::string& path, const std::string& text, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int failure = 0;
    for (size_t done = 0; done < text.size() && failure == 0;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR)
            failure = errno;
        else if (n > 0)
            done += size_t(n);
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0)
        return true;
    std::error_code ec;
    fs::remove(path, ec);
    error = std::strerror(failure);
    if (failure == ENOSPC || failure == EDQUOT) {
        const fs::path folder = fs::path(path).parent_path();
        error = "ディスクの空き容量が足りません（" + (folder.empty() ? std::string(".") : folder.string()) + "）。\n" +
                error;
    }
    return false;
}

int cancelExport()
{
    return fail("キャンセルしました。ファイルは作成されていません。", 2);
}

bool samePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec))
        return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

int run(int argc, char** argv)
{
    using namespace vk;
    // --export DIALECT OUT PARAMS [MARKERS]
    const bool exporting = argc >= 2 && std::string(argv[1]) == "--export";
    ProjectDialect dialect = ProjectDialect::Shotcut;
    std::string exportPath, markersPath;
    if (exporting) {
        const std::string kind = argc >= 3 ? argv[2] : "";
        if (argc < 5 || argc > 6 || (kind != "shotcut" && kind != "kdenlive"))
            return fail("使い方: T-VideoWrite --export shotcut|kdenlive <プロジェクトファイル> <パラメータファイル> "
                        "[<マーカーファイル>]");
        dialect = kind == "shotcut" ? ProjectDialect::Shotcut : ProjectDialect::Kdenlive;
        exportPath = argv[3];
        markersPath = argc == 6 ? argv[5] : "";
    }
    const std::string paramsPath = exporting ? std::string(argv[4]) : joinCommandLinePath(argc, argv);
    if (paramsPath.empty())
        return fail("パラメータファイルが指定されていません。\n使い方: T-VideoWrite <パラメータファイル>");

    WriterParams params;
    std::string error;
    if (!loadWriterParams(paramsPath, params, error))
        return fail(error);
    Timeline timeline;
    if (!readTimeline(params.xtlFilePath, timeline, error))
        return fail(error);

    const OutputSettings output = chooseOutput(params, timeline);
    if (!output.note.empty())
        std::fprintf(stderr, "T-VideoWrite: %s\n", output.note.c_str());

    MltEngine engine;
    if (!engine.start(error))
        return fail("描画エンジンを起動できません。\n" + error);
    if (exporting) {
        exportProgress(10);
        if (stopped())
            return cancelExport();
    }
    std::unique_ptr<Mlt::Profile> profile = makeProfile(output);

    // Every source the range needs must be there before anything is written.
    const FrameRange range = frameRangeFor(params.startMs, params.endMs, timeline, output.rate);
    const double fromSec = double(range.in) * output.rate.den / output.rate.num;
    const double toSec = double(range.out + 1) * output.rate.den / output.rate.num;
    const std::vector<std::string> sources = sourcesInRange(timeline, fromSec, toSec);
    // From here on the probe and the engine read each source through the file held open
    // here, so that one deleted while they open it cannot crash the engine; a source gone
    // before it was held is missing now, one gone later when the render ends.
    const HeldSources held(sources, engine.privateFolder() + "/sources");
    const auto enginePath = [&held](const std::string& source) { return held.enginePath(source); };
    const std::vector<std::string> missing = missingSources(sources);
    if (!missing.empty())
        return fail(missingSourcesMessage(missing));
    MediaProbe probe(*profile, enginePath);
    std::string unreadable;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!probe.info(sources[i]).ok)
            unreadable += "\n" + sources[i];
        if (exporting) {
            // Reading the sources is most of an export's time.
            exportProgress(10 + int(70 * (i + 1) / sources.size()));
            if (stopped())
                return cancelExport();
        }
    }
    if (!unreadable.empty())
        return fail("入力ファイル形式が正しくありません。" + unreadable);

    if (!params.isPreview() && !exporting) {
        for (const std::string& s : sources)
            if (samePath(s, params.aviFileName))
                return fail("出力ファイルに入力ファイルと同じファイルが指定されています。\n" + params.aviFileName);
        std::error_code ec;
        const fs::path folder = fs::path(params.aviFileName).parent_path();
        if (!folder.empty() && !fs::is_directory(folder, ec))
            return fail("出力先のフォルダが見つかりません。\n" + folder.string());
    }

    BuildOptions options;
    options.lumaDir = engine.lumaFolder();
    options.withVideo = output.kind != OutputKind::Wav;
    if (!exporting) // a project names the sources themselves
        options.enginePath = enginePath;
    const BuildResult built = buildMltXml(timeline, output, params.startMs, params.endMs, probe.lookup(), options);
    for (const std::string& w : built.warnings)
        std::fprintf(stderr, "T-VideoWrite: %s\n", w.c_str());
    if (exporting) {
        exportProgress(85);
        std::vector<ProjectMarker> markers;
        if (!markersPath.empty() && !readProjectMarkers(markersPath, markers, error))
            return fail(error);
        for (const std::string& s : sources)
            if (samePath(s, exportPath))
                return fail("出力ファイルに入力ファイルと同じファイルが指定されています。\n" + exportPath);
        const std::string title = fs::path(exportPath).stem().string();
        const ProjectResult project = projectXml(built.xml, dialect, timeline, output, probe.lookup(), markers, title);
        exportProgress(90);
        if (stopped())
            return cancelExport();
        // Written beside the target, flushed to the disk and renamed into place: a failure
        // or a cancel leaves the old file and nothing else.
        const std::string temporary = exportPath + ".part";
        if (!writeDurably(temporary, project.xml, error))
            return fail("ファイルを作成できません。\n" + exportPath + "\n" + error);
        exportProgress(95);
        if (stopped()) {
            std::error_code ec;
            fs::remove(temporary, ec);
            return cancelExport();
        }
        std::error_code ec;
        fs::rename(temporary, exportPath, ec);
        if (ec) {
            const std::string why = ec.message();
            fs::remove(temporary, ec);
            return fail("ファイルを作成できません。\n" + exportPath + "\n" + why);
        }
        exportProgress(100);
        for (const std::string& clsid : project.replaced)
            std::printf("replaced: %s\n", clsid.c_str());
        std::printf("Exported: %s\n", exportPath.c_str());
        return 0;
    }
    for (TransitionStyle style : built.lumaStyles) {
        const std::string path = options.lumaDir + "/" + lumaMapFileName(style);
        if (!writeLumaMap(style, output.width, output.height, path))
            return fail("トランジション用のファイルを書き込めません。\n" + path);
    }
    if (!params.writeXtlArg.empty()) {
        // With the sources' own names, so that it can be replayed once this program has ended.
        BuildOptions own = options;
        own.enginePath = nullptr;
        std::ofstream xtl(params.writeXtlArg, std::ios::binary | std::ios::trunc);
        xtl << buildMltXml(timeline, output, params.startMs, params.endMs, probe.lookup(), own).xml;
        if (!xtl)
            std::fprintf(stderr, "T-VideoWrite: cannot save the engine timeline to %s\n", params.writeXtlArg.c_str());
    }
    std::printf("%s: frames %lld..%lld (%lld) at %d/%d fps, %dx%d\n", outputKindName(output.kind), range.in, range.out,
                range.count(), output.rate.num, output.rate.den, output.width, output.height);
    std::fflush(stdout);

    if (params.isPreview()) {
        PreviewWindow window(*profile, built.xml, range);
        if (const char* keys = std::getenv("VK_WRITER_TEST_KEYS"); keys && *keys) {
            std::string keyError;
            std::vector<PreviewWindow::TestKey> parsed = PreviewWindow::parseTestKeys(keys, keyError);
            if (!keyError.empty())
                std::fprintf(stderr, "T-VideoWrite: %s\n", keyError.c_str());
            window.setTestKeys(std::move(parsed));
        }
        window.resize(window.sizeHint().expandedTo(QSize(480, 360)));
        window.show();
        window.raise();
        window.activateWindow();
        if (!window.start(error))
            return fail("プレビューを開始できません。\n" + error);
        watchStopSignal(&window, [&window] { window.close(); });
        QApplication::setQuitOnLastWindowClosed(true);
        QApplication::exec();
        std::printf("preview %s\n", window.reachedEnd() ? "finished" : "closed");
        return 0;
    }

    RenderJob job(*profile, built.xml, output, range, params.aviFileName);
    job.watchSources(sources);
    if (!job.start(error))
        return fail("ファイルを作成できません。\n" + params.aviFileName + "\n" + error);
    ProgressWindow window(job);
    window.setAttribute(Qt::WA_QuitOnClose, false);
    QObject::connect(&window, &ProgressWindow::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    window.begin();
    watchStopSignal(&window, [&window] { window.cancel(); });
    if (!window.done()) // a very short render may already be over
        QApplication::exec();
    window.hide();
    if (!job.finish(error)) {
        // A source that went away while it was read fails as one missing at the start.
        const int code = job.cancelled() ? fail("キャンセルしました。ファイルは作成されていません。", 2)
                         : !job.gone().empty()
                             ? fail(missingSourcesMessage(job.gone()))
                             : fail("ファイルの作成に失敗しました。\n" + params.aviFileName + "\n" + error);
        // The part file is gone and the old target untouched. After a write error
        // inside its own thread (a full disk) the engine's file writer does not survive
        // its clean-up: tearing the engine down then corrupted the heap about once in
        // thirty failed renders, and the program died with an abort instead of its exit
        // status. So a failed render ends here, as a finished one ends in main, and
        // removes the private folder itself (the engine, done with its files, keeps
        // what it has loaded from there).
        std::error_code ec;
        fs::remove_all(engine.privateFolder(), ec);
        std::fflush(stdout);
        std::_Exit(code);
    }
    // The finished file, read back: pictures, sound length and start times.
    OutputExpectation expected;
    expected.frames = range.count();
    // Test hook: expect more frames than the range gives, to see a failed check.
    if (const char* extra = std::getenv("VK_WRITER_TEST_EXTRA_FRAMES"); extra && *extra)
        expected.frames += std::atoll(extra);
    expected.rateNum = output.rate.num;
    expected.rateDen = output.rate.den;
    expected.video = !output.videoCodec.empty();
    expected.sound = !output.audioCodec.empty();
    const OutputCheck check = checkOutput(params.aviFileName, expected);
    std::printf("%s\n", check.line().c_str());
    if (!check.ok()) {
        for (const std::string& p : check.problems)
            std::printf("check failed: %s\n", p.c_str());
        std::fflush(stdout);
        return fail("作成したファイルの映像と音声が合っていません（1 フレームを超えるずれがあります）。"
                    "ファイルは残してあります。\n" +
                        params.aviFileName + "\n" + check.summaryJa(),
                    kExitOutOfSync);
    }
    announce("Finished: " + params.aviFileName,
             "ファイルを作成しました。\n" + params.aviFileName + "\n" + check.summaryJa());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Without any display, work headless instead of failing to open one.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    int code = 0;
    {
        QApplication app(argc, argv);
        // QApplication takes the user's locale, and many locales write a half as "0,5".
        // The engine reads its properties in the process locale, so the process keeps
        // the C locale's numbers; the documents' own numbers never depend on it
        // (numbertext.h).
        std::setlocale(LC_NUMERIC, "C");
        QApplication::setApplicationName(kTitle);
        QApplication::setQuitOnLastWindowClosed(false);
        code = run(argc, argv);
    }
    // The engine registers its own clean-up to run at exit, and that clean-up unloads
    // its modules while worker threads some of them started may still be winding down
    // (a crash about once in forty renders on a busy machine). By now every file is
    // written, renamed and closed, so the program ends without the exit handlers.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
