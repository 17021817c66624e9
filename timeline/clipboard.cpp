#include "timeline/clipboard.h"

#include "base/numbers.h"
#include "timeline/editor.h"

#include <QSignalBlocker>
#include <algorithm>

namespace vk {

VideoClipboard::VideoClipboard(Editor& editor) : m_editor(editor) {}

int VideoClipboard::entries() const
{
    return std::max(0, m_editor.tmpgrid().Rows() - 1);
}

bool VideoClipboard::range(int& first, int& last) const
{
    first = m_editor.dragFirst();
    last = m_editor.dragLast();
    OrderPair(first, last);
    first = std::max(first, 1);
    last = std::min(last, m_editor.lastRow());
    return first <= last;
}

void VideoClipboard::copyRange(int first, int last)
{
    RowTable& grid = m_editor.Grid();
    RowTable& clip = m_editor.tmpgrid();
    clip.setCols(grid.Cols());
    clip.setRows(last - first + 2);
    clip.clear();
    for (int i = 1; i <= last - first + 1; ++i)
        grid.copyRegistration(first + i - 1, clip, i);
    m_editor.ui().flashTable();
}

void VideoClipboard::Copy()
{
    int first = 0, last = 0;
    if (range(first, last))
        copyRange(first, last);
    m_editor.notifyTable();
}

void VideoClipboard::cutRange(int first, int last)
{
    m_editor.history().SaveUndoData();
    copyRange(first, last);
    RowTable& grid = m_editor.Grid();
    for (int r = first; r <= last; ++r)
        grid.clearRegistration(r);
    m_editor.setModified(true);
}

void VideoClipboard::Cut()
{
    int first = 0, last = 0;
    if (range(first, last))
        cutRange(first, last);
    m_editor.notifyTable();
}

void VideoClipboard::pasteEntries()
{
    int first = 0, last = 0;
    if (entries() == 0 || !range(first, last))
        return;
    const int k = last - first + 1;
    const bool dragged = first < last;
    RowTable& grid = m_editor.Grid();
    const RowTable& clip = m_editor.tmpgrid();
    int j = first;
    for (int i = 1; i <= entries(); ++i) {
        if (j > m_editor.lastRow())
            break;
        if (dragged && i > k)
            break;
        clip.copyRegistration(i, grid, j);
        ++j;
    }
    m_editor.ui().flashTable();
    // Only rows without a speed get one: a pasted speed setting stays as it was copied.
    // The command that pastes tells the views once, when it is done.
    {
        const QSignalBlocker quiet(&m_editor);
        m_editor.RowRefresh(-1);
    }
    m_editor.setModified(true);
}

void VideoClipboard::PasteVideo(bool saveUndo)
{
    if (saveUndo)
        m_editor.history().SaveUndoData();
    pasteEntries();
    m_editor.notifyTable();
}

void VideoClipboard::CutUp()
{
    int first = 0, last = 0;
    if (range(first, last)) {
        cutRange(first, last);
        const int k = last - first + 1;
        RowTable& grid = m_editor.Grid();
        for (int r = first; r + k <= m_editor.lastRow(); ++r) {
            grid.copyRegistration(r + k, grid, r);
            grid.clearRegistration(r + k);
            grid.setSpeed(r, SpeedSetting::none());
            grid.setSpeed(r + k, SpeedSetting::none());
        }
        // Every moved registration gets the speed of its new section; a "等速" mark
        // does not survive the move. The views hear of the whole command once, below.
        const QSignalBlocker quiet(&m_editor);
        m_editor.RowRefresh(-1);
    }
    m_editor.notifyTable();
}

void VideoClipboard::InsertPasteVideo(bool saveUndo)
{
    const int m = entries();
    int first = 0, last = 0;
    if (m > 0 && range(first, last)) {
        if (saveUndo)
            m_editor.history().SaveUndoData();
        RowTable& grid = m_editor.Grid();
        // From the bottom up, so no registration is overwritten before it has moved;
        // those that would move past the last row are dropped.
        for (int r = m_editor.lastRow(); r >= first + m; --r) {
            grid.copyRegistration(r - m, grid, r);
            grid.clearRegistration(r - m);
            grid.setSpeed(r, SpeedSetting::none());
            grid.setSpeed(r - m, SpeedSetting::none());
        }
        pasteEntries();
        {
            const QSignalBlocker quiet(&m_editor);
            m_editor.RowRefresh(-1);
        }
        m_editor.setModified(true);
    }
    m_editor.notifyTable();
}

void ConnectClipboardCommands(Editor& editor, VideoClipboard& clipboard)
{
    editor.setClipboardCommands(&clipboard);
}

} // namespace vk
