#include "tests/support/tablecheck.h"

#include "base/timetext.h"

namespace vk {

::testing::AssertionResult TableInvariants(const Editor& editor)
{
    const RowTable& g = editor.Grid();
    if (g.Cols() != Col::Count)
        return ::testing::AssertionFailure() << "column count " << g.Cols();
    if (g.Rows() < 2)
        return ::testing::AssertionFailure() << "no data row";
    if (g.text(1, Col::SectionMsec) != QStringLiteral("0") ||
        g.text(1, Col::SectionText) != QStringLiteral("00:00:00:00"))
        return ::testing::AssertionFailure() << "row 1 does not start at 0";
    long long previous = -1;
    for (int r = 1; r < g.Rows(); ++r) {
        bool ok = false;
        const long long start = g.text(r, Col::SectionMsec).toLongLong(&ok);
        if (!ok)
            return ::testing::AssertionFailure() << "row " << r << " has no start";
        if (start < previous)
            return ::testing::AssertionFailure() << "row " << r << " starts before row " << r - 1;
        previous = start;
        if (g.text(r, Col::SectionText) != MsecToTimeText(int(start), editor.sndFrameInterval()))
            return ::testing::AssertionFailure()
                   << "row " << r << " time text " << g.text(r, 1).toStdString() << " does not show " << start;
        if (g.text(r, Col::VideoFile).isEmpty()) {
            for (int c : {Col::InPoint, Col::OutPoint, Col::VideoInterval, Col::Width, Col::Height})
                if (!g.text(r, c).isEmpty())
                    return ::testing::AssertionFailure() << "row " << r << " has column " << c << " without video";
        }
    }
    return ::testing::AssertionSuccess();
}

void MakeSections(Editor& editor, const std::vector<int>& starts, int clipLength, int frameInterval)
{
    editor.setSoundClip(clipLength, frameInterval);
    RowTable& g = editor.Grid();
    g.setRows(int(starts.size()) + 1);
    for (int r = 1; r < g.Rows(); ++r) {
        for (int c = 0; c < g.Cols(); ++c)
            g.setText(r, c, QString());
        g.setText(r, Col::SectionMsec, QString::number(starts[size_t(r - 1)]));
        g.setText(r, Col::SectionText, MsecToTimeText(starts[size_t(r - 1)], frameInterval));
    }
    editor.notifyTable();
}

void Register(Editor& editor, int row, const QString& file, int inMsec, int outMsec, int interval, int width,
              int height)
{
    RowTable& g = editor.Grid();
    g.setText(row, Col::VideoFile, file);
    g.setText(row, Col::InPoint, MsecToTimeText(inMsec, interval));
    g.setText(row, Col::OutPoint, MsecToTimeText(outMsec, interval));
    g.setText(row, Col::VideoInterval, QString::number(interval));
    g.setText(row, Col::Width, QString::number(width));
    g.setText(row, Col::Height, QString::number(height));
    editor.notifyTable();
}

} // namespace vk
