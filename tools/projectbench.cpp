// Save and load of a 10,000-row project: builds a table in which every row carries a
// video registration (a few dozen distinct files, speeds, effects), saves it as a
// project, loads it back into a second editor, and prints the milliseconds of each step
// and of both together. Target: save and load together within 100 ms.
//
//   projectbench [rows] [runs]

#include "base/timetext.h"
#include "project/projectfile.h"
#include "tests/support/quietdialogs.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void fillTable(vk::Editor& editor, int rows)
{
    using namespace vk;
    const int step = 487; // section starts that are not whole frames
    editor.setSndFile(QStringLiteral("/home/user/music/a long song title.wav"));
    editor.setSoundClip(rows * step + 5000, 33);
    RowTable& g = editor.Grid();
    g.setRows(rows + 1);
    for (int r = 1; r <= rows; ++r) {
        const int start = (r - 1) * step;
        g.setSectionStart(r, start, 33);
        const int interval = r % 3 == 0 ? 40 : 33;
        const int in = (r * 131) % 60000;
        g.setVideoSpan(r, QStringLiteral("/home/user/videos/clip %1.mp4").arg(r % 40), interval, in,
                       in + 700 + r % 500);
        g.setSpeed(r, r % 7 == 0 ? SpeedSetting::normal() : SpeedSetting::none());
        if (r % 5 == 0) {
            g.setEffect(r, QStringLiteral("ﾌｪｰﾄﾞ"));
            g.setEffectLength(r, 500);
        }
        g.setMediaSize(r, MediaSize{1920, 1080});
    }
    editor.RowRefresh(-1);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("bench.rem"));

    // The media size probe answers at once: this measures the project code, not the
    // media library (each distinct file is probed once per load).
    const vk::MediaSizeProbe probe = [](const QString&, int& w, int& h) {
        w = 1920;
        h = 1080;
        return true;
    };

    // Yes to every question (the overwrite question of the second run); shows nothing.
    vk::testsupport::QuietDialogs ui;
    ui.answerYes = true;
    vk::Editor source(ui);
    fillTable(source, rows);
    vk::ProjectFile writer(source, probe);

    std::vector<double> saves, loads, totals;
    for (int i = 0; i < runs; ++i) {
        source.setModified(true);
        QElapsedTimer t;
        t.start();
        const bool saved = writer.ProjectSave(path);
        const double saveMs = double(t.nsecsElapsed()) / 1e6;

        vk::Editor target(ui);
        target.setSoundClip(source.sndLength(), 33);
        vk::ProjectFile reader(target, probe);
        t.restart();
        const bool loaded = reader.ProjectLoad(path);
        const double loadMs = double(t.nsecsElapsed()) / 1e6;

        if (!saved || !loaded || target.Grid().Rows() != rows + 1 ||
            target.Grid().videoFile(rows) != source.Grid().videoFile(rows)) {
            std::fprintf(stderr, "round trip failed (saved %d, loaded %d, rows %d)\n", int(saved), int(loaded),
                         target.Grid().Rows());
            return 1;
        }
        saves.push_back(saveMs);
        loads.push_back(loadMs);
        totals.push_back(saveMs + loadMs);
        std::printf("run %d: save %.1f ms, load %.1f ms, together %.1f ms\n", i + 1, saveMs, loadMs, saveMs + loadMs);
    }
    std::printf("%d rows, %lld bytes: median save %.1f ms, load %.1f ms, together %.1f ms (target <= 100 ms)\n", rows,
                qlonglong(QFileInfo(path).size()), median(saves), median(loads), median(totals));
    return 0;
}
