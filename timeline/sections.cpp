// Sound section editing: the commands that move section boundaries of the row table.
//
// - SndRegister / SndSectionAdd: a tap adds a boundary at the sound player's position.
//   The new row carries only its start (columns 1 and 5); sorting by the fixed-width
//   time text puts it in start order, so the section it falls into keeps its video
//   registration, speed and effect and simply ends earlier. No undo snapshot is taken
//   (tapping must stay instant) and speeds are not recomputed.
// - SndDelete: removes the drag-selected rows (never row 1), recomputes the speeds
//   that became empty and marks the row that took the place of the first removed one.
// - SndSplit: cuts the current section into n equal parts, measured from its
//   frame-rounded start (column 1) so the parts line up with what the user sees.
// - SndSameSplit: makes the dragged sections equally long from the exact starts in ms.
//
// Deletion, split and equalise take the undo snapshot before their first change. Any
// conversion or player error ends a command silently; steps already done stay done.
// Every command ends with one table notification.

#include "app/editor.h"
#include "app/helpers.h"
#include "media/mediaplayerengine.h"
#include "media/soundpanel.h"

#include <QSignalBlocker>
#include <algorithm>
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
    grid.setText(row, Col::SectionText, text);
    grid.setText(row, Col::SectionMsec, QString::number(ms));
    return true;
}

// Puts the appended rows in start order (the time text has fixed width, so plain text
// order is start order), shows the bottom of the table and gives the slider the focus.
// The views hear of the new rows before the scroll is asked for: a view that does not
// know the new last row yet cannot bring it into sight. This is the command's one
// table notification.
void finishSectionAdd(Editor& editor)
{
    RowTable& grid = editor.Grid();
    grid.currentCol = Col::SectionText;
    grid.sortDataRows(Col::SectionText);
    editor.notifyTable();
    editor.ui().ensureRowVisible(editor.lastRow());
    editor.ui().focusSoundSlider();
}

// Removes data rows first..last (inclusive) in one pass: the rows below move up by
// the number removed. Cells are implicitly shared, so moving a row is cheap.
void removeRows(RowTable& grid, int first, int last)
{
    const int count = last - first + 1;
    if (count <= 0)
        return;
    const int rows = grid.Rows();
    const int cols = grid.Cols();
    for (int r = last + 1; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            grid.setText(r - count, c, grid.text(r, c));
        grid.setMarker(r - count, grid.marker(r));
    }
    grid.setRows(rows - count);
}

} // namespace

void Editor::SndRegister()
{
    if (m_sndFile.isEmpty() || !m_sound)
        return;
    int position = 0;
    try {
        // Read the player now: the timer's last value may be up to a tick behind the beat.
        position = m_sound->player().GetPosition();
    } catch (const EngineError&) {
        return;
    }
    if (position == 0)
        return;
    SndSectionAdd(position);
}

void Editor::SndSectionAdd(int ms)
{
    try {
        if (appendSection(*this, ms)) {
            finishSectionAdd(*this);
            return;
        }
    } catch (const ConversionError&) {
    }
    notifyTable();
}

void Editor::SndDelete()
{
    const int current = m_grid.currentRow;
    m_grid.currentCol = 0;
    if ((m_dragFirst == 1 && m_dragLast == 1) || current <= 1) {
        setMsg(QStringLiteral("1行目は削除できません。"));
        return;
    }
    SaveUndoData();
    setModified(true);
    // A range reaching past the table (left over from a longer table) removes nothing.
    if (m_dragLast > lastRow() || m_dragFirst < 0) {
        notifyTable();
        return;
    }
    // Row 1 survives even when it is part of the range.
    removeRows(m_grid, std::max(2, m_dragFirst), m_dragLast);
    {
        // One notification for the whole command, sent by RowMarkNext below.
        const QSignalBlocker quiet(this);
        RowRefresh(-1);
    }
    m_grid.currentCol = 0;
    RowMarkNext(m_dragFirst - 1);
    setDraggedRange(m_grid.currentRow, m_grid.currentRow);
    m_ui.focusSoundSlider();
}

void Editor::RowMarkNext(int row)
{
    const int last = lastRow();
    for (int r = 1; r <= last; ++r)
        m_grid.setMarker(r, kMarkerPlain);
    if (last < 1) {
        notifyTable();
        return;
    }
    // The row that took the place of the first removed one, or the new last row.
    int current = row >= last ? last : row + 1;
    current = std::max(1, current);
    m_grid.currentRow = current;
    m_grid.setMarker(current, kMarkerSelected);
    // The views first learn of the removed rows, then scroll on the table as it is now.
    notifyTable();
    m_ui.ensureRowVisible(current);
}

void Editor::SndSplit()
{
    if (m_sndFile.isEmpty()) {
        m_ui.message(QStringLiteral("音声ﾌｧｲﾙを指定してください。"), Ui::Icon::Exclamation);
        return;
    }
    const std::optional<QString> answer = m_ui.inputBox(
        QStringLiteral("音声区間分割"),
        QStringLiteral("何区間に等分割するか入力してください(2以上の整数)。") + QStringLiteral("\r\n\r\n") +
            QStringLiteral("選択した１音声区間をn区間に等分割します。"),
        QString());
    if (!answer || answer->isEmpty())
        return;

    bool changed = false;
    try {
        const int n = ParseInt32(*answer);
        if ((long long)n - 1 + m_grid.Rows() > kMaxRows)
            return;
        SaveUndoData();

        const int row = m_grid.currentRow;
        const int interval = m_sndInterval;
        // The start as shown in column 1, rounded down to whole sound frames.
        const int start = TimeTextToMsec(m_grid.text(row, Col::SectionText), interval);
        const int end = row == lastRow() ? m_sndLength : TimeTextToMsec(m_grid.text(row + 1, Col::SectionText), interval);
        const double span = double(end) - double(start);
        try {
            for (int k = 1; k <= n - 1; ++k) {
                if (appendSection(*this, RoundToInt32(span / n * k + start)))
                    changed = true;
            }
        } catch (...) {
            // The rows added so far stay, in start order.
            if (changed)
                finishSectionAdd(*this);
            throw;
        }
        // The appended starts ascend, so one stable sort places them exactly as adding
        // them one by one would.
        if (changed)
            finishSectionAdd(*this);

        if (m_sound)
            m_sound->player().Pause(start, 0);
        setModified(true);
    } catch (const ConversionError&) {
    } catch (const EngineError&) {
    } catch (const std::out_of_range&) {
        // No current row to split (a table without data rows).
    }
    // When rows were added, finishSectionAdd has told the views.
}

void Editor::SndSameSplit()
{
    const int a = m_dragFirst;
    const int b = m_dragLast;
    if (b - a < 1)
        return;
    SaveUndoData();
    try {
        const int n = b - a + 1;
        const int start = ParseInt32(m_grid.text(a, Col::SectionMsec));
        const int end = b == lastRow() ? m_sndLength : ParseInt32(m_grid.text(b + 1, Col::SectionMsec));
        const double total = double(CheckInt32((long long)end - start));
        for (int i = a + 1; i <= b; ++i) {
            const int s = RoundToInt32(total * (i - a) / n + start);
            m_grid.setText(i, Col::SectionMsec, QString::number(s));
            m_grid.setText(i, Col::SectionText, MsecToTimeText(s, m_sndInterval));
        }
        setModified(true);
    } catch (const ConversionError&) {
    } catch (const std::out_of_range&) {
        // The dragged range reaches past the table.
    }
    notifyTable();
}

} // namespace vk
