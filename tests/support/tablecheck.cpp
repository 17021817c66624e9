#include "tests/support/tablecheck.h"

#include "app/rowtabletext.h"

namespace vk {

::testing::AssertionResult TableInvariants(const Editor& editor)
{
    const RowTable& g = editor.Grid();
    if (g.Cols() != Col::Count)
        return ::testing::AssertionFailure() << "column count " << g.Cols();
    if (g.Rows() < 2)
        return ::testing::AssertionFailure() << "no data row";
    if (g.row(1).start != 0)
        return ::testing::AssertionFailure() << "row 1 does not start at 0";
    long long previous = -1;
    for (int r = 1; r < g.Rows(); ++r) {
        const Row& row = g.row(r);
        if (!row.start)
            return ::testing::AssertionFailure() << "row " << r << " has no start";
        if (*row.start < previous)
            return ::testing::AssertionFailure() << "row " << r << " starts before row " << r - 1;
        previous = *row.start;
        if (row.videoFile.isEmpty() && (row.inPoint || row.outPoint || row.frameInterval || row.mediaSize))
            return ::testing::AssertionFailure() << "row " << r << " has a registration without video";
    }
    return ::testing::AssertionSuccess();
}

void MakeSections(Editor& editor, const std::vector<int>& starts, int clipLength, int frameInterval)
{
    editor.setSoundClip(clipLength, frameInterval);
    RowTable& g = editor.Grid();
    g.setRows(int(starts.size()) + 1);
    for (int r = 1; r < g.Rows(); ++r) {
        // The markers stay as they are.
        Row row;
        row.marker = g.marker(r);
        g.setRow(r, row);
        g.setSectionStart(r, starts[size_t(r - 1)], frameInterval);
    }
    editor.notifyTable();
}

void Register(Editor& editor, int row, const QString& file, int inMsec, int outMsec, int interval, int width,
              int height)
{
    RowTable& g = editor.Grid();
    g.setVideoSpan(row, file, interval, inMsec, outMsec);
    g.setMediaSize(row, MediaSize{width, height});
    editor.notifyTable();
}

QString CellText(const RowTable& table, int row, int col, int soundInterval, int soundLength)
{
    return RowCellText(table, row, col, soundInterval, soundLength);
}

} // namespace vk
