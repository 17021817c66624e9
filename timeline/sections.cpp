#include "timeline/sections.h"

#include "base/engineerror.h"
#include "base/logging.h"
#include "base/numbers.h"
#include "base/timetext.h"
#include "timeline/editor.h"
#include "timeline/soundtransport.h"
#include "timeline/tapadjuster.h"
#include "timeline/undohistory.h"

#include <QSet>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vk {

namespace {

// A split may add at most this many rows in total; a larger answer is treated like a
// number the editor cannot use, so a typing slip cannot exhaust memory or freeze the
// window. (A 10-minute clip tapped at every frame has about 18,000 rows.)
constexpr long long kMaxRows = 1000000;

// Appends one section start at the bottom of the table, unless its time text is the
// clip's last frame. Returns false when nothing was added. The caller sorts.
bool appendSection(Editor& editor, int ms)
{
    const int interval = editor.sndFrameInterval();
    const QString text = MsecToTimeText(ms, interval);
    // No section may start in the clip's last frame.
    if (text == MsecToTimeText(editor.sndLength(), interval))
        return false;
    editor.setModified(true);
    RowTable& grid = editor.Grid();
    grid.setCols(Col::Count);
    const int row = grid.Rows();
    grid.setRows(row + 1);
    grid.setSectionStart(row, ms, interval);
    return true;
}

// Puts the appended rows in start order, shows the bottom of the table and gives the slider the focus.
// The views hear of the new rows before the scroll is asked for: a view that does not
// know the new last row yet cannot bring it into sight. This is the command's one
// table notification.
void finishSectionAdd(Editor& editor)
{
    RowTable& grid = editor.Grid();
    grid.currentCol = Col::SectionText;
    grid.sortDataRows();
    editor.notifyTable();
    editor.ui().ensureRowVisible(editor.lastRow());
    editor.ui().focusSoundSlider();
}

// Removes data rows first..last (inclusive) in one pass: the rows below move up by
// the number removed, markers with them. Texts are implicitly shared, so moving a row is
// cheap.
void removeRows(RowTable& grid, int first, int last)
{
    const int count = last - first + 1;
    if (count <= 0)
        return;
    const int rows = grid.Rows();
    for (int r = last + 1; r < rows; ++r)
        grid.setRow(r - count, grid.row(r));
    grid.setRows(rows - count);
}

} // namespace

Sections::Sections(Editor& editor) : m_editor(editor), m_grid(editor.Grid()), m_ui(editor.ui()) {}

void Sections::SndRegister()
{
    if (m_editor.sndFile().isEmpty() || !m_editor.soundPanel())
        return;
    int position = 0;
    try {
        // Read the player now: the timer's last value may be up to a tick behind the beat.
        position = m_editor.soundPanel()->playerPosition();
    } catch (const EngineError&) {
        return;
    }
    if (position == 0)
        return;
    if (m_adjuster) {
        const double adjusted = m_adjuster->adjustTap(position);
        // A tap moved before the clip's start (or a result that is no time) adds nothing.
        if (!std::isfinite(adjusted) || adjusted <= 0.0 || adjusted > 2.0e9)
            return;
        position = int(std::lround(adjusted));
        if (position <= 0)
            return;
    }
    m_tapRun.join(m_editor.history());
    SndSectionAdd(position);
}

void Sections::SndSectionAdd(int ms)
{
    try {
        if (appendSection(m_editor, ms)) {
            finishSectionAdd(m_editor);
            return;
        }
    } catch (const ConversionError& e) {
        // A time beyond the time text's range adds no section.
        LogPassedOver(lcEdit, "sections: add a section", e);
    }
    m_editor.notifyTable();
}

void Sections::SndDelete()
{
    const int current = m_grid.currentRow;
    m_grid.currentCol = 0;
    if ((m_editor.dragFirst() == 1 && m_editor.dragLast() == 1) || current <= 1) {
        m_editor.setMsg(QStringLiteral("1行目は削除できません。"));
        return;
    }
    m_editor.history().SaveUndoData();
    m_editor.setModified(true);
    // A range reaching past the table (left over from a longer table) removes nothing.
    if (m_editor.dragLast() > m_editor.lastRow() || m_editor.dragFirst() < 0) {
        m_editor.notifyTable();
        return;
    }
    // Row 1 survives even when it is part of the range.
    removeRows(m_grid, std::max(2, m_editor.dragFirst()), m_editor.dragLast());
    {
        // One notification for the whole command, sent by RowMarkNext below.
        const QSignalBlocker quiet(&m_editor);
        m_editor.RowRefresh(-1);
    }
    m_grid.currentCol = 0;
    RowMarkNext(m_editor.dragFirst() - 1);
    m_editor.setDraggedRange(m_grid.currentRow, m_grid.currentRow);
    m_ui.focusSoundSlider();
}

void Sections::RowMarkNext(int row)
{
    const int last = m_editor.lastRow();
    for (int r = 1; r <= last; ++r)
        m_grid.setMarker(r, kMarkerPlain);
    if (last < 1) {
        m_editor.notifyTable();
        return;
    }
    // The row that took the place of the first removed one, or the new last row.
    int current = row >= last ? last : row + 1;
    current = std::max(1, current);
    m_grid.currentRow = current;
    m_grid.setMarker(current, kMarkerSelected);
    // The views first learn of the removed rows, then scroll on the table as it is now.
    m_editor.notifyTable();
    m_ui.ensureRowVisible(current);
}

void Sections::SndSplit()
{
    if (m_editor.sndFile().isEmpty()) {
        m_ui.message(QStringLiteral("音声ﾌｧｲﾙを指定してください。"), UserDialogs::Icon::Exclamation);
        return;
    }
    const std::optional<QString> answer =
        m_ui.inputBox(QStringLiteral("音声区間分割"),
                      QStringLiteral("何区間に等分割するか入力してください(2以上の整数)。") +
                          QStringLiteral("\r\n\r\n") + QStringLiteral("選択した１音声区間をn区間に等分割します。"),
                      QString());
    if (!answer || answer->isEmpty())
        return;

    const int row = m_grid.currentRow;
    // A table without data rows has no section to split.
    if (row < 1 || row > m_editor.lastRow())
        return;
    bool changed = false;
    try {
        const int n = ParseInt32(*answer);
        if ((long long)n - 1 + m_grid.Rows() > kMaxRows)
            return;
        m_editor.history().SaveUndoData();

        const int interval = m_editor.sndFrameInterval();
        // The start as shown in column 1, rounded down to whole sound frames.
        const int start = FramePoint(m_grid.sectionStart(row), interval);
        const int end =
            row == m_editor.lastRow() ? m_editor.sndLength() : FramePoint(m_grid.sectionStart(row + 1), interval);
        const double span = double(end) - double(start);
        try {
            for (int k = 1; k <= n - 1; ++k) {
                if (appendSection(m_editor, RoundToInt32(span / n * k + start)))
                    changed = true;
            }
        } catch (...) {
            // The rows added so far stay, in start order.
            if (changed)
                finishSectionAdd(m_editor);
            throw;
        }
        // The appended starts ascend, so one stable sort places them exactly as adding
        // them one by one would.
        if (changed)
            finishSectionAdd(m_editor);

        if (m_editor.soundPanel())
            m_editor.soundPanel()->pausePlayerAt(start);
        m_editor.setModified(true);
    } catch (const ConversionError& e) {
        // Not a whole number, or a start beyond the time text's range: no split.
        LogPassedOver(lcEdit, "split a section", e);
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "split a section", e);
    }
    // When rows were added, finishSectionAdd has told the views.
}

void Sections::SndSameSplit()
{
    const int a = m_editor.dragFirst();
    const int b = m_editor.dragLast();
    // A dragged range left over from a longer table has nothing to equalise.
    if (b - a < 1 || a < 1 || b > m_editor.lastRow())
        return;
    m_editor.history().SaveUndoData();
    try {
        const int n = b - a + 1;
        const int start = m_grid.sectionStart(a);
        const int end = b == m_editor.lastRow() ? m_editor.sndLength() : m_grid.sectionStart(b + 1);
        const double total = double(CheckInt32((long long)end - start));
        for (int i = a + 1; i <= b; ++i) {
            const int s = RoundToInt32(total * (i - a) / n + start);
            m_grid.setSectionStart(i, s, m_editor.sndFrameInterval());
        }
        m_editor.setModified(true);
    } catch (const ConversionError& e) {
        LogPassedOver(lcEdit, "equalise sections", e);
    }
    m_editor.notifyTable();
}

Sections::Range Sections::beatSplitRange() const
{
    Range range;
    const int last = m_editor.lastRow();
    if (last < 1)
        return range;
    int first = m_grid.currentRow;
    int end = last;
    if (m_editor.dragLast() > m_editor.dragFirst() && m_editor.dragFirst() >= 1 && m_editor.dragLast() <= last) {
        first = m_editor.dragFirst();
        end = m_editor.dragLast();
    }
    if (first < 1 || first > last)
        return range;
    try {
        range.fromMs = m_grid.sectionStart(first);
        range.toMs = end == last ? m_editor.sndLength() : m_grid.sectionStart(end + 1);
    } catch (const ConversionError&) {
        return Range{};
    }
    return range;
}

int Sections::SndBeatSplit(const std::vector<double>& pointsMs)
{
    if (m_editor.sndFile().isEmpty()) {
        m_ui.message(QStringLiteral("音声ﾌｧｲﾙを指定してください。"), UserDialogs::Icon::Exclamation);
        return 0;
    }
    const Range range = beatSplitRange();
    const int interval = m_editor.sndFrameInterval();
    std::vector<int> adds;
    try {
        // A start already in the table (on the sound frame the user sees) is not added
        // twice; a start the time text cannot hold shows no frame.
        QSet<int> taken;
        for (int r = 1; r <= m_editor.lastRow(); ++r) {
            const std::optional<int>& start = m_grid.row(r).start;
            if (!start)
                continue;
            try {
                taken.insert(FramePoint(*start, interval));
            } catch (const ConversionError&) {
                // Beyond what the time text holds: no frame a new start could match.
            }
        }
        std::vector<double> points = pointsMs;
        std::sort(points.begin(), points.end());
        for (double p : points) {
            if (!std::isfinite(p) || p <= range.fromMs || p >= range.toMs)
                continue;
            const int ms = int(std::lround(p));
            const int frame = FramePoint(ms, interval);
            if (taken.contains(frame))
                continue;
            taken.insert(frame);
            adds.push_back(ms);
        }
    } catch (const ConversionError&) {
        return 0;
    }
    if (adds.empty() || (long long)adds.size() + m_grid.Rows() > kMaxRows)
        return 0;

    m_editor.history().SaveUndoData();
    int added = 0;
    try {
        for (int ms : adds)
            if (appendSection(m_editor, ms))
                ++added;
    } catch (const ConversionError&) {
        // The rows added so far stay, in start order.
    }
    if (added > 0) {
        finishSectionAdd(m_editor);
        m_editor.setModified(true);
    } else {
        m_editor.notifyTable();
    }
    return added;
}

void Sections::beginTapRun()
{
    m_tapRun.begin(m_editor.history());
}

void Sections::SndClear()
{
    // The table starts a new document here (a new project, an opened project, another
    // sound clip), and what could be undone belonged to the one before.
    m_editor.history().clear();
    m_grid.setRows(2);
    m_grid.setRow(1, Row());
    m_grid.setSectionStart(1, 0, m_editor.sndFrameInterval());
    m_grid.currentCol = 0;
    m_grid.currentRow = 1;
    m_grid.setMarker(1, kMarkerSelected);
    m_editor.notifyTable();
}

} // namespace vk
