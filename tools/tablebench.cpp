// Timings of the row table commands on a 10,000-row table. Each command runs several
// times on a fresh copy of the table; the medians of the wall time and of the thread's
// CPU time in milliseconds are printed next to the frame budget of 16 ms, so a command
// that would make the window stutter shows up. On a busy machine the wall time also
// counts waiting for a core; the CPU time is the work of the command itself.
//
// Then the undo history: 200 steps of single-row edits (a tap that inserts a row in the
// middle, and an effect changed on one row, in turn), the heap they take beyond the
// table alone (target: at most 20 MB), and every one of them undone and redone again,
// with the median and the slowest Undo and Redo (target: at most 16 ms each).
//
// Usage: tablebench [rows] [runs]

#include "base/timetext.h"
#include "base/userdialogs.h"
#include "tests/support/quietdialogs.h"
#include "timeline/editor.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using namespace vk;

constexpr int kInterval = 33;
constexpr int kSectionMsec = 500;

// Sections of 500 ms; every row registered with a 750 ms span of a video, speed empty.
RowTable makeTable(int rows)
{
    RowTable t(rows + 1, Col::Count);
    for (int r = 1; r <= rows; ++r) {
        t.setSectionStart(r, (r - 1) * kSectionMsec, kInterval);
        t.setVideoSpan(r, QStringLiteral("/media/videos/clip%1.mp4").arg(r % 37), kInterval, 1000, 1759);
        t.setMediaSize(r, MediaSize{640, 480});
    }
    t.setMarker(1, kMarkerSelected);
    return t;
}

double nowMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

} // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    // The benchmarked commands ask for no dialog.
    testsupport::QuietDialogs ui;
    Editor editor(ui);
    const RowTable table = makeTable(rows);
    const int clipLength = rows * kSectionMsec;
    const int mid = rows / 2;
    int sink = 0;

    // Runs `prepare` (not timed) and `command` (timed) `runs` times on a fresh table.
    auto bench = [&](const char* name, const std::function<void()>& prepare, const std::function<void()>& command) {
        std::vector<double> wall;
        std::vector<double> cpu;
        for (int i = 0; i < runs; ++i) {
            editor.Grid() = table;
            editor.setSoundClip(clipLength, kInterval);
            editor.setSndFile(QStringLiteral("/media/song.wav"));
            editor.setModified(false);
            prepare();
            const double wall0 = nowMs(CLOCK_MONOTONIC);
            const double cpu0 = nowMs(CLOCK_THREAD_CPUTIME_ID);
            command();
            cpu.push_back(nowMs(CLOCK_THREAD_CPUTIME_ID) - cpu0);
            wall.push_back(nowMs(CLOCK_MONOTONIC) - wall0);
        }
        const double wallMs = median(wall);
        const double cpuMs = median(cpu);
        std::printf("%-34s %9.3f %9.3f  %s\n", name, wallMs, cpuMs, cpuMs <= 16.0 ? "ok" : "OVER 16 ms");
    };
    auto nothing = [] {};

    std::printf("row table commands on %d rows, median of %d runs\n", rows, runs);
    std::printf("%-34s %9s %9s\n", "command", "wall ms", "cpu ms");
    bench("RowRefresh(-1), all speeds empty", nothing, [&] { editor.RowRefresh(-1); });
    bench("MsecToRow(late time)", nothing, [&] { sink += editor.MsecToRow(clipLength - 100); });
    bench("SelectRow(middle row)", nothing, [&] { editor.selection().SelectRow(mid); });
    bench("SndSectionAdd(middle time)", nothing, [&] { editor.sections().SndSectionAdd(mid * kSectionMsec + 250); });
    bench(
        "delete 100 rows (SndDelete)",
        [&] {
            editor.setDraggedRange(mid, mid + 99);
            editor.Grid().currentRow = mid;
        },
        [&] { editor.sections().SndDelete(); });
    bench(
        "equalise 100 rows (SndSameSplit)", [&] { editor.setDraggedRange(mid, mid + 99); },
        [&] { editor.sections().SndSameSplit(); });
    bench("undo snapshot (SaveUndoData)", nothing, [&] { editor.history().SaveUndoData(); });
    bench(
        "Undo after a snapshot", [&] { editor.history().SaveUndoData(); }, [&] { editor.history().Undo(); });

    // ---- the history over many steps ---------------------------------------------------
    const int steps = 200;
    editor.Grid() = table;
    editor.setModified(false);
    editor.history().clear();
    auto heapBytes = [] {
        const struct mallinfo2 m = mallinfo2();
        return double(m.uordblks + m.hblkhd);
    };
    const double heapAlone = heapBytes();
    for (int i = 0; i < steps; ++i) {
        const int row = 1 + (i * 7919) % rows;
        if (i % 2 == 0) {
            // A tap between two sections, its own step.
            editor.history().SaveUndoData();
            editor.sections().SndSectionAdd((row - 1) * kSectionMsec + 100 + i % 50);
        } else {
            editor.history().SaveUndoData();
            editor.Grid().setEffect(row, QStringLiteral("ﾌｪｰﾄﾞ"));
            editor.Grid().setEffectLength(row, 500 + i);
            editor.setModified(true);
            editor.notifyTable();
        }
    }
    const RowTable last = editor.Grid();
    std::vector<double> undoMs;
    std::vector<double> redoMs;
    for (int i = 0; i < steps; ++i) {
        const double t0 = nowMs(CLOCK_MONOTONIC);
        editor.history().Undo();
        undoMs.push_back(nowMs(CLOCK_MONOTONIC) - t0);
    }
    const double heapSteps = heapBytes();
    const bool backAtStart = editor.Grid() == table;
    for (int i = 0; i < steps; ++i) {
        const double t0 = nowMs(CLOCK_MONOTONIC);
        editor.history().Redo();
        redoMs.push_back(nowMs(CLOCK_MONOTONIC) - t0);
    }
    const bool forwardAtEnd = editor.Grid() == last;
    const double extraMb = (heapSteps - heapAlone) / (1024.0 * 1024.0);
    const double undoMax = *std::max_element(undoMs.begin(), undoMs.end());
    const double redoMax = *std::max_element(redoMs.begin(), redoMs.end());
    std::printf("\nundo history: %d single-row steps on %d rows\n", steps, rows);
    std::printf("%-34s %9.2f MB  target <= 20 MB  %s\n", "heap beyond the table alone", extraMb,
                extraMb <= 20.0 ? "ok" : "OVER");
    std::printf("%-34s %9.3f %9.3f  target <= 16 ms  %s\n", "Undo, median and max ms", median(undoMs), undoMax,
                undoMax <= 16.0 ? "ok" : "OVER");
    std::printf("%-34s %9.3f %9.3f  target <= 16 ms  %s\n", "Redo, median and max ms", median(redoMs), redoMax,
                redoMax <= 16.0 ? "ok" : "OVER");
    std::printf("%-34s %s\n", "undone to the start, redone to the end",
                backAtStart && forwardAtEnd ? "yes" : "NO: the tables differ");

    return sink == -1 || !(backAtStart && forwardAtEnd) ? 1 : 0;
}
