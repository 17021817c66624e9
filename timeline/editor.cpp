#include "timeline/editor.h"

#include "base/numbers.h"
#include "base/timetext.h"

#include <cmath>

namespace vk {

Editor::Editor(UserDialogs& ui, QObject* parent) : QObject(parent), m_ui(ui)
{
    m_grid.writeHeader();
    // The clipboard starts with the table's column count and one blank registration,
    // so a paste before any copy blanks the target row.
    m_clipboard.setCols(m_grid.Cols());
    m_clipboard.clear();
}

Editor::~Editor() = default;

void Editor::setPanels(SoundPanel* sound, VideoPanel* video)
{
    m_sound = sound;
    m_video = video;
}

void Editor::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

void Editor::setSndFile(const QString& path)
{
    if (m_sndFile == path)
        return;
    m_sndFile = path;
    emit sndFileChanged(path);
}

void Editor::setMsg(const QString& text)
{
    m_msg = text;
    emit labelsChanged();
}

void Editor::setRowLabel(const QString& text)
{
    m_rowLabel = text;
    emit labelsChanged();
}

QString Editor::getSndMsec(int row) const
{
    return m_grid.text(row, Col::SectionMsec);
}

int Editor::getVidLengthMsec(int row) const
{
    if (m_grid.text(row, Col::VideoFile).isEmpty())
        return 0;
    const int v = ParseInt32(m_grid.text(row, Col::VideoInterval));
    return CheckInt32((long long)TimeTextToMsec(m_grid.text(row, Col::OutPoint), v) -
                      TimeTextToMsec(m_grid.text(row, Col::InPoint), v));
}

double Editor::sectionLength(int row) const
{
    const double start = ParseNumber(m_grid.text(row, Col::SectionMsec));
    if (row >= lastRow())
        return double(m_sndLength) - start;
    return ParseNumber(m_grid.text(row + 1, Col::SectionMsec)) - start;
}

int Editor::MsecToRow(int msec) const
{
    const int last = lastRow();
    for (int r = 1; r <= last; ++r) {
        if (r == last)
            return r;
        try {
            const double start = ParseNumber(m_grid.text(r, Col::SectionMsec));
            const double next = ParseNumber(m_grid.text(r + 1, Col::SectionMsec));
            if (start <= msec && msec < next)
                return r;
        } catch (const ConversionError&) {
            // A cell that is not a number belongs to no time; look further down.
        }
    }
    return 0;
}

std::optional<QString> Editor::speedText(int row) const
{
    const int v = ParseInt32(m_grid.text(row, Col::VideoInterval));
    const int in = TimeTextToMsec(m_grid.text(row, Col::InPoint), v);
    const int out = TimeTextToMsec(m_grid.text(row, Col::OutPoint), v);
    const int span = CheckInt32((long long)out - in);
    const double length = sectionLength(row);
    if (length == 0.0)
        return std::nullopt;
    return ShortestDecimal(RoundTo3(double(span) / length)) + QLatin1Char('x');
}

void Editor::refreshRowSpeed(int row)
{
    if (const auto text = speedText(row))
        m_grid.setText(row, Col::Speed, *text);
}

void Editor::RowRefresh(int row)
{
    if (row >= 1) {
        if (row > lastRow() || m_grid.text(row, Col::VideoFile).isEmpty())
            return;
        try {
            refreshRowSpeed(row);
        } catch (const ConversionError&) {
            // A cell that cannot be read leaves the speed as it was.
        }
        emit tableChanged();
        return;
    }
    // All rows: only those whose speed is still empty. A section of length 0 is skipped
    // and the refresh goes on, so one duplicated start does not leave every later row
    // without a speed; a cell that cannot be read ends the refresh there.
    try {
        for (int r = 1; r <= lastRow(); ++r) {
            if (m_grid.text(r, Col::Speed).isEmpty() && !m_grid.text(r, Col::VideoFile).isEmpty())
                refreshRowSpeed(r);
        }
    } catch (const ConversionError&) {
    }
    emit tableChanged();
}

void Editor::SelectRow(int row)
{
    m_grid.currentCol = 0;
    for (int r = 1; r <= lastRow(); ++r)
        m_grid.setMarker(r, kMarkerPlain);
    if (row >= 1 && row <= lastRow()) {
        m_grid.currentRow = row;
        m_grid.setMarker(row, kMarkerSelected);
    }
    emit tableChanged();
    if (row >= 1 && row <= lastRow()) {
        m_ui.ensureRowVisible(row);
        showDuration(row);
    }
}

void Editor::showDuration(int row)
{
    try {
        const int video = getVidLengthMsec(row);
        m_vidRangeLabel = video == 0 ? QString()
                                     : QStringLiteral("映像区間長=") + QString::number(video) + QStringLiteral("ms");
    } catch (const ConversionError&) {
        m_vidRangeLabel.clear();
    }
    try {
        m_sndRangeLabel = QStringLiteral("音声区間長=") + ShortestDecimal(sectionLength(row)) + QStringLiteral("ms");
    } catch (const ConversionError&) {
        m_sndRangeLabel.clear();
    }
    emit labelsChanged();
}

void Editor::SndClear()
{
    m_grid.setRows(2);
    for (int c = 0; c < m_grid.Cols(); ++c)
        m_grid.setText(1, c, QString());
    m_grid.setText(1, Col::SectionText, QStringLiteral("00:00:00:00"));
    m_grid.setText(1, Col::SectionMsec, QStringLiteral("0"));
    m_grid.currentCol = 0;
    m_grid.currentRow = 1;
    m_grid.setMarker(1, kMarkerSelected);
    emit tableChanged();
}

// ---- undo and redo ----------------------------------------------------------------

namespace {
// A snapshot holds the row and column counts and every cell outside the header row
// and the marker column.
void takeSnapshot(const RowTable& from, RowTable& to)
{
    to.setCols(from.Cols());
    to.setRows(from.Rows());
    for (int r = 1; r < from.Rows(); ++r)
        for (int c = 1; c < from.Cols(); ++c)
            to.setText(r, c, from.text(r, c));
}

void restoreSnapshot(const RowTable& from, RowTable& to)
{
    to.setRows(from.Rows());
    for (int r = 1; r < from.Rows(); ++r)
        for (int c = 1; c < std::min(from.Cols(), to.Cols()); ++c)
            to.setText(r, c, from.text(r, c));
}
} // namespace

void Editor::SaveUndoData()
{
    takeSnapshot(m_grid, m_undo);
    m_undoTaken = true;
}

void Editor::SaveRedoData()
{
    takeSnapshot(m_grid, m_redo);
    m_redoTaken = true;
}

void Editor::Undo()
{
    // Before any snapshot there is nothing to go back to.
    if (!m_undoTaken)
        return;
    SaveRedoData();
    restoreSnapshot(m_undo, m_grid);
    // The table now differs from what was saved, so closing must ask.
    setModified(true);
    emit tableChanged();
}

void Editor::Redo()
{
    if (!m_redoTaken)
        return;
    restoreSnapshot(m_redo, m_grid);
    setModified(true);
    emit tableChanged();
}

// ---- unsaved changes ----------------------------------------------------------------

bool Editor::askSaveChanges()
{
    if (!m_modified)
        return true;
    if (!m_ui.askYesNo(QStringLiteral("プロジェクトが変更されています。保存しますか？"), UserDialogs::Icon::Exclamation))
        return true;
    // Yes: save first; go on only when the project really was saved, so a cancelled
    // or failed save never loses the work.
    return projectSaveAs && projectSaveAs();
}

} // namespace vk
