#include "timeline/resplit.h"

#include "base/numbers.h"
#include "timeline/editor.h"

#include <algorithm>

namespace vk {

namespace {
const QString& promptText()
{
    static const QString text =
        QStringLiteral("何区間に再分割するか入力してください(1以上の整数)。") + QStringLiteral("\r\n\r\n") +
        QStringLiteral("ﾄﾞﾗｯｸﾞ選択した映像区間範囲をn区間に再分割します。"
                       "例えば、10行をﾄﾞﾗｯｸﾞ選択して5区間に再分割すると映像は2倍速になります。");
    return text;
}
} // namespace

VideoResplit::VideoResplit(Editor& editor) : m_editor(editor), m_clipboard(editor) {}

void VideoResplit::VidSplit()
{
    try {
        run();
    } catch (const std::exception&) {
        // A failure ends the command; what was done stays done and undo restores it.
    }
    m_editor.notifyTable();
}

void VideoResplit::run()
{
    int first = m_editor.dragFirst();
    int last = m_editor.dragLast();
    OrderPair(first, last);
    first = std::max(first, 1);
    last = std::min(last, m_editor.lastRow());
    if (first >= last)
        return;

    UserDialogs& ui = m_editor.ui();
    const RowTable& grid = m_editor.Grid();
    for (int i = first; i < last; ++i) {
        if (grid.videoFile(i) != grid.videoFile(i + 1)) {
            ui.message(QStringLiteral("複数映像ﾌｧｲﾙにまたがる映像速度変更はできません。"), UserDialogs::Icon::Warning);
            return;
        }
        if (grid.outPoint(i) != grid.inPoint(i + 1)) {
            ui.message(QStringLiteral("不連続映像にまたがる映像速度変更はできません。"), UserDialogs::Icon::Warning);
            return;
        }
    }
    // The checks above pass for rows without registration (they have no file and no
    // points), but there is no video span to divide.
    if (!grid.hasVideo(first)) {
        ui.message(QStringLiteral("映像登録のない範囲は再分割できません。"), UserDialogs::Icon::Warning);
        return;
    }

    const std::optional<QString> answer = ui.inputBox(QStringLiteral("映像区間再分割"), promptText(), QString());
    if (!answer || answer->isEmpty())
        return;
    int n = 0;
    if (!TryParseInt32(*answer, n))
        return;
    if (n < 0) {
        ui.message(QStringLiteral("0以上の整数を入力してください。"), UserDialogs::Icon::Warning);
        return;
    }

    // The span of the range, read before anything changes: a cell that cannot be read
    // ends the command with the table untouched.
    int v = 0;
    int start = 0;
    int total = 0;
    try {
        const std::optional<int> interval = grid.frameInterval(first);
        const std::optional<int> in = grid.inPoint(first);
        const std::optional<int> end = grid.outPoint(last);
        if (!interval || !in || !end || !grid.frameInterval(last))
            return;
        v = *interval;
        start = *in;
        total = CheckInt32((long long)*end - start);
    } catch (const ConversionError&) {
        return;
    }

    m_editor.history().SaveUndoData();
    m_clipboard.CutUp();

    // Keep the cut registrations while the clipboard is refilled.
    RowTable& clip = m_editor.tmpgrid();
    RowTable& cut = m_editor.tmp2grid();
    cut.setCols(clip.Cols());
    cut.setRows(1);
    cut.clear();
    for (int i = 1; i < clip.Rows(); ++i) {
        cut.setRows(i + 1);
        clip.copyRegistration(i, cut, i);
    }

    // Entries that could not be pasted into any row of this table are not made: the
    // table comes out the same, and an absurd n cannot exhaust the memory.
    const int count = std::min(n, m_editor.lastRow());
    clip.setRows(count + 1);
    clip.clear();
    for (int i = 1; i <= count; ++i) {
        const int in = RoundToInt32(double(total) * double(i - 1) / double(n) + double(start));
        const int out = RoundToInt32(double(total) * double(i) / double(n) + double(start));
        clip.setVideoSpan(i, cut.videoFile(1), v, in, out);
        clip.setMediaSize(i, cut.mediaSize(1));
    }

    m_editor.setDraggedRange(first, first);
    m_clipboard.InsertPasteVideo(false);
}

} // namespace vk
