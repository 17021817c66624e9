#include "timeline/editor.h"

#include "timeline/projectcommands.h"

#include "base/logging.h"
#include "base/numbers.h"
#include "base/timetext.h"

#include <cmath>

namespace vk {

Editor::Editor(UserDialogs& ui, QObject* parent) : QObject(parent), m_ui(ui)
{
    // The clipboard starts with the table's column count and one blank registration,
    // so a paste before any copy blanks the target row.
    m_clipboard.setCols(m_grid.Cols());
    m_clipboard.clear();
}

Editor::~Editor() = default;

void Editor::setPanels(SoundTransport* sound, VideoRegistration* video)
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

void Editor::setRangeLabels(const QString& sound, const QString& video)
{
    m_sndRangeLabel = sound;
    m_vidRangeLabel = video;
    emit labelsChanged();
}

namespace {
// A registered row's in or out point; a row without one cannot be worked out.
int videoPoint(std::optional<int> point)
{
    if (!point)
        throw ConversionError(ConversionError::Kind::Type, "no video point");
    return *point;
}
} // namespace

QString Editor::getSndMsec(int row) const
{
    // The start as the automation interface reports it: the number of ms, or empty on
    // a row without one.
    const std::optional<int>& start = m_grid.row(row).start;
    return start ? QString::number(*start) : QString();
}

int Editor::getVidLengthMsec(int row) const
{
    if (!m_grid.hasVideo(row))
        return 0;
    return CheckInt32((long long)videoPoint(m_grid.outPoint(row)) - videoPoint(m_grid.inPoint(row)));
}

double Editor::sectionLength(int row) const
{
    m_grid.sectionStart(row); // raises on a row without a start
    const std::optional<double> length = m_grid.sectionLength(row, m_sndLength);
    if (!length)
        throw ConversionError(ConversionError::Kind::Type, "no section start");
    return *length;
}

int Editor::MsecToRow(int msec) const
{
    const int last = lastRow();
    for (int r = 1; r <= last; ++r) {
        if (r == last)
            return r;
        try {
            const int start = m_grid.sectionStart(r);
            const int next = m_grid.sectionStart(r + 1);
            if (start <= msec && msec < next)
                return r;
        } catch (const ConversionError&) {
            // A row without a start belongs to no time; look further down.
        }
    }
    return 0;
}

std::optional<double> Editor::speedRatio(int row) const
{
    // A row without its points or its section start has no speed: it raises.
    CheckInt32((long long)videoPoint(m_grid.outPoint(row)) - videoPoint(m_grid.inPoint(row)));
    sectionLength(row);
    return m_grid.spanSpeed(row, m_sndLength);
}

std::optional<QString> Editor::speedText(int row) const
{
    if (const auto ratio = speedRatio(row))
        return SpeedSetting::ratioText(*ratio);
    return std::nullopt;
}

void Editor::refreshRowSpeed(int row)
{
    if (speedRatio(row))
        m_grid.setSpeed(row, SpeedSetting::span());
}

void Editor::RowRefresh(int row)
{
    if (row >= 1) {
        if (row > lastRow() || !m_grid.hasVideo(row))
            return;
        try {
            refreshRowSpeed(row);
        } catch (const ConversionError&) {
            // A row without its points leaves the speed as it was.
        }
        emit tableChanged();
        return;
    }
    // All rows: only those whose speed is still empty. A section of length 0 is skipped
    // and the refresh goes on, so one duplicated start does not leave every later row
    // without a speed; a row without its points ends the refresh there.
    try {
        for (int r = 1; r <= lastRow(); ++r) {
            if (m_grid.hasVideo(r) && m_grid.speed(r).isNone())
                refreshRowSpeed(r);
        }
    } catch (const ConversionError& e) {
        LogPassedOver(lcEdit, "speeds: a row without its points ends the refresh", e);
    }
    emit tableChanged();
}

// ---- unsaved changes ----------------------------------------------------------------

bool Editor::askSaveChanges()
{
    if (!m_modified)
        return true;
    if (!m_ui.askYesNo(QStringLiteral("プロジェクトが変更されています。保存しますか？"),
                       UserDialogs::Icon::Exclamation))
        return true;
    // Yes: save first; go on only when the project really was saved, so a cancelled
    // or failed save never loses the work.
    return m_project && m_project->SaveAsCommand();
}

} // namespace vk
