// The video registration panel: its range on the slider, the registration of spans
// into the rows, and what the row table asks of it.

#include "media/videopanel.h"

#include "media/videopanelsupport.h"

#include "base/numbers.h"
#include "base/paths.h"
#include "base/speeds.h"
#include "base/timetext.h"
#include "media/mediaplayerengine.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <algorithm>
#include <stdexcept>

namespace vk {

using namespace videopanel;

namespace {
// A row's point on the frames of `interval` ms: the frame count the row shows (on the
// row's own frames) read on the loaded file's frames. A row without the point cannot
// be shown.
int rowPoint(std::optional<int> point, std::optional<int> rowInterval, int interval)
{
    if (!point)
        throw ConversionError(ConversionError::Kind::Type, "no video point");
    return TimeTextToMsec(MsecToTimeText(*point, rowInterval.value_or(-1)), interval);
}
} // namespace

// ---- range ----------------------------------------------------------------------------

void VideoPanel::removeRange()
{
    m_transport.slider().selLength = 0;
    m_transport.slider().selShown = false;
    m_controls.rangeCheckVisible = false;
    m_controls.selStartJmpVisible = false;
    m_controls.selEndJmpVisible = false;
    m_rangeText.clear();
}

void VideoPanel::showRangeControls()
{
    if (m_transport.slider().selLength <= 0)
        return;
    m_controls.rangeCheckVisible = true;
    m_rangeStop = false;
    m_controls.selStartJmpVisible = true;
    m_controls.selEndJmpVisible = true;
    m_rangeText = QStringLiteral("区間長=") + QString::number(m_transport.slider().selLength) + QStringLiteral("ms");
}

void VideoPanel::selStart()
{
    ChangedOnExit done(*this);
    command([&] {
        Slider& sl = m_transport.slider();
        const int V = sl.value;
        if (sl.selEnd() == V && sl.selShown) {
            removeRange();
            return;
        }
        sl.selShown = true;
        if (V >= sl.selEnd()) {
            sl.selStart = V;
            sl.selLength = CheckInt32((long long)m_length - V);
        } else if (V != sl.selStart) {
            sl.selLength = CheckInt32((long long)sl.selLength + ((long long)sl.selStart - V));
            sl.selStart = V;
        }
        showRangeControls();
    });
}

void VideoPanel::selEnd()
{
    ChangedOnExit done(*this);
    command([&] {
        Slider& sl = m_transport.slider();
        const int V = sl.value;
        if (sl.selStart == V && sl.selShown) {
            removeRange();
            return;
        }
        sl.selShown = true;
        if (sl.selStart < V) {
            sl.selLength = CheckInt32((long long)V - sl.selStart);
        } else {
            sl.selStart = 0;
            sl.selLength = V;
        }
        showRangeControls();
    });
}

void VideoPanel::jumpTo(int target)
{
    setSliderValue(target);
    sliderVid_scroll();
    showVidPosition(m_transport.slider().value);
    m_position = m_transport.slider().value;
    if (m_player.GetState() == MediaPlayerEngine::Running) {
        m_player.Play(m_position);
        m_player.Pause(m_position, 0);
        stopTimer();
    }
}

void VideoPanel::selStartJump()
{
    ChangedOnExit done(*this);
    command([&] { jumpTo(m_transport.slider().selStart); });
}

void VideoPanel::selEndJump()
{
    ChangedOnExit done(*this);
    command([&] { jumpTo(CheckInt32((long long)m_transport.slider().selStart + m_transport.slider().selLength)); });
}

// ---- registration -----------------------------------------------------------------------

bool VideoPanel::registerSpan(int in, int out, bool saveUndo)
{
    const int r = m_editor.Grid().currentRow;
    if (r < 1 || r > m_editor.lastRow())
        return false;
    OrderPair(in, out);
    // Both points must fit the time text before the row changes.
    FramePoint(in, m_interval);
    FramePoint(out, m_interval);
    // The snapshot only once the row will change, so a refused registration keeps the
    // undo point the user had.
    if (saveUndo)
        m_editor.history().SaveUndoData();
    m_editor.setModified(true);
    RowTable& g = m_editor.Grid();
    g.setVideoSpan(r, m_fileText, m_interval, in, out);
    g.setMediaSize(r, MediaSize{m_picture.width(), m_picture.height()});
    m_editor.RowRefresh(r);
    return true;
}

void VideoPanel::advanceRow(int row)
{
    RowTable& g = m_editor.Grid();
    g.currentCol = 0;
    g.setMarker(row, kMarkerPlain);
    const int next = row < m_editor.lastRow() ? row + 1 : row;
    g.currentRow = next;
    m_editor.ui().ensureRowVisible(next);
    g.setMarker(next, kMarkerSelected);
    m_editor.notifyTable();
}

void VideoPanel::VidRegister()
{
    ChangedOnExit done(*this);
    command([&] {
        if (m_fileText.isEmpty())
            return;
        if (m_editor.sndLength() == 0) {
            m_editor.ui().message(kNoSound, UserDialogs::Icon::Warning);
            return;
        }
        const int r = m_editor.Grid().currentRow;
        int in = 0;
        int out = 0;
        if (m_length != 0) {
            in = m_transport.slider().selStart;
            out = CheckInt32((long long)m_transport.slider().selStart + m_transport.slider().selLength);
            if (in == out)
                return;
        }
        if (registerSpan(in, out, true))
            advanceRow(r);
    });
}

void VideoPanel::VidContRegister()
{
    ChangedOnExit done(*this);
    command([&] {
        if (m_fileText.isEmpty())
            return;
        if (m_editor.sndLength() == 0) {
            m_editor.ui().message(kNoSound, UserDialogs::Icon::Warning);
            return;
        }
        const int r = m_editor.Grid().currentRow;
        int in = m_transport.slider().selStart;
        int out = m_transport.slider().value;
        if (in == out)
            return;
        OrderPair(in, out);
        // The registrations of one play are one undo step.
        m_contRun.join(m_editor.history());
        if (!registerSpan(in, out, false))
            return;
        m_transport.slider().selStart = out;
        m_transport.slider().selLength = CheckInt32((long long)m_length - out);
        advanceRow(r);
    });
}

QString VideoPanel::solidColorFile(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("Slides/Black.bmp");
    case 1:
        return QStringLiteral("Slides/Grey.bmp");
    case 2:
        return QStringLiteral("Slides/White.bmp");
    default:
        return QString();
    }
}

void VideoPanel::solidColor(int index)
{
    const QString file = solidColorFile(index);
    if (file.isEmpty())
        return;
    ChangedOnExit done(*this);
    QString folder = applicationFolder();
    m_fileText = AddTrailingSeparator(folder) + file;
    // A still that cannot be loaded is not registered: the row would get a file the
    // player cannot open, with the previous file's numbers.
    if (VidFileLoad(m_fileText))
        VidRegister();
}

// ---- what the row table asks --------------------------------------------------------

void VideoPanel::ShowRowVideo(int row)
{
    ChangedOnExit done(*this);
    command([&] {
        const QString file = m_editor.Grid().videoFile(row);
        if (file.isEmpty())
            return;
        m_fileText = file;
        // The movie the player holds, unchanged on disk, is only sought to the row's in
        // point: a new load would take a good part of a second. A file that no longer
        // loads has been reported; the panel stays as it was.
        const bool held = m_loaded && m_length != 0 && m_source.holdsUnchanged(file);
        if (!held && !VidFileLoad(file))
            return;
        m_player.Stop();
        m_player.Pause(-1, 0);
        stopTimer();
        if (m_editor.getVidLengthMsec(row) == 0) {
            pictureFiles();
            return;
        }
        movieFiles();
        const int f = m_interval;
        const RowTable& grid = m_editor.Grid();
        const int in = rowPoint(grid.inPoint(row), grid.frameInterval(row), f);
        const int out = rowPoint(grid.outPoint(row), grid.frameInterval(row), f);
        setSliderValue(in);
        sliderVid_scroll();
        int first = in;
        int last = out;
        OrderPair(first, last);
        Slider& sl = m_transport.slider();
        sl.selStart = first;
        sl.selLength = CheckInt32((long long)last - first);
        sl.selShown = true;
        sl.min = 0;
        sl.max = m_length;
        sl.tick = RoundToInt32(double(m_length) / 100.0);
        m_rangeText = QStringLiteral("選択=") + QString::number(sl.selLength) + QStringLiteral("ms");
    });
}

void VideoPanel::RegisterDroppedStill(const QString& path)
{
    ChangedOnExit done(*this);
    m_fileText = path;
    if (VidFileLoad(path))
        VidRegister();
}

} // namespace vk
