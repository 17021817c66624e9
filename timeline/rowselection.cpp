#include "timeline/rowselection.h"

#include "base/engineerror.h"
#include "base/logging.h"
#include "base/numbers.h"
#include "timeline/clipboardcommands.h"
#include "timeline/editor.h"
#include "timeline/projectcommands.h"
#include "timeline/soundtransport.h"
#include "timeline/videoregistration.h"

#include <QFileInfo>
#include <QSignalBlocker>
#include <stdexcept>

namespace vk {

namespace {

bool isStillImage(const QString& extension)
{
    return extension == QLatin1String("jpg") || extension == QLatin1String("gif") ||
           extension == QLatin1String("bmp") || extension == QLatin1String("png");
}

} // namespace

RowSelection::RowSelection(Editor& editor) : m_editor(editor), m_grid(editor.Grid()), m_ui(editor.ui()) {}

void RowSelection::SelectRow(int row)
{
    m_grid.currentCol = 0;
    for (int r = 1; r <= m_editor.lastRow(); ++r)
        m_grid.setMarker(r, kMarkerPlain);
    if (row >= 1 && row <= m_editor.lastRow()) {
        m_grid.currentRow = row;
        m_grid.setMarker(row, kMarkerSelected);
    }
    m_editor.notifyTable();
    if (row >= 1 && row <= m_editor.lastRow()) {
        m_ui.ensureRowVisible(row);
        showDuration(row);
    }
}

void RowSelection::showDuration(int row)
{
    QString vidRangeLabel;
    QString sndRangeLabel;
    try {
        const int video = m_editor.getVidLengthMsec(row);
        vidRangeLabel =
            video == 0 ? QString() : QStringLiteral("映像区間長=") + QString::number(video) + QStringLiteral("ms");
    } catch (const ConversionError&) {
        vidRangeLabel.clear();
    }
    try {
        sndRangeLabel =
            QStringLiteral("音声区間長=") + ShortestDecimal(m_editor.sectionLength(row)) + QStringLiteral("ms");
    } catch (const ConversionError&) {
        sndRangeLabel.clear();
    }
    m_editor.setRangeLabels(sndRangeLabel, vidRangeLabel);
}

void RowSelection::GridMouseUp(Button button, int shift, int currentRow, int selEndRow, int hitRow, int hitCol)
{
    if (currentRow == 0)
        return;
    try {
        if (currentRow > 0 && currentRow <= m_editor.lastRow())
            m_grid.currentRow = currentRow;
        m_editor.setRowLabel(QString::number(currentRow) + QStringLiteral("行"));

        int first = currentRow;
        int last = selEndRow;
        OrderPair(first, last);
        m_editor.setDraggedRange(first, last);

        // A drag that ends below the table (the release past the last row) has nothing
        // more to show or edit.
        if (first < 1 || first > m_editor.lastRow())
            return;
        if (first < last) {
            const double start = m_grid.sectionStart(first);
            const double end =
                last >= m_editor.lastRow() ? double(m_editor.sndLength()) : double(m_grid.sectionStart(last + 1));
            m_editor.setMsg(QString::number(last - first + 1) + QStringLiteral("行 ﾄﾞﾗｯｸﾞ選択 ") +
                            QStringLiteral("(音声区間長=") + ShortestDecimal(end - start) + QStringLiteral("ms)"));
        } else {
            m_editor.setMsg(QString());
        }

        // Released below the last row or right of the last column, or over the header.
        if (hitRow < 1 || hitRow > m_editor.lastRow() || hitCol < 0 || hitCol >= m_grid.Cols())
            return;
        const int m = hitRow;
        const int c = hitCol;
        const bool right = button == Button::Right;

        if (c == Col::Effect) {
            m_editor.setModified(true);
            if (right) {
                m_ui.openEffectDialog(m);
                return;
            }
            m_editor.history().SaveUndoData();
            const QString effect = m_grid.effect(m);
            if (!effect.isEmpty()) {
                m_editor.setLastEffectName(effect);
                m_grid.setEffect(m, QString());
                m_grid.setEffectLength(m, std::nullopt);
            } else {
                m_grid.setEffect(m, m_editor.lastEffectName());
                m_grid.setEffectLength(m, 1500.0);
            }
            m_editor.notifyTable();
            return;
        }

        // Still images (out point 0) keep their speed; rows without registration do not.
        bool changed = false;
        if (c == Col::Speed && m_grid.outPoint(m) != 0) {
            if (!right) {
                m_editor.history().SaveUndoData();
                const SpeedSetting before = m_grid.speed(m);
                if (before.isNormal()) {
                    const QSignalBlocker quiet(&m_editor); // notified once below
                    m_editor.RowRefresh(m);                // writes nothing for a row without video file
                } else {
                    m_grid.setSpeed(m, SpeedSetting::normal());
                }
                // The toggle is an unsaved change like any other edit of the table.
                if (m_grid.speed(m) != before) {
                    m_editor.setModified(true);
                    changed = true;
                }
            } else {
                if (!m_grid.hasVideo(m))
                    return;
                const std::optional<double> ratio = m_editor.speedRatio(m);
                if (!ratio)
                    return;
                if (m_editor.videoPanel())
                    m_editor.videoPanel()->setRateText(ShortestDecimal(*ratio)); // the box takes the plain number
            }
        }

        if (!right) {
            if (first == last)
                SelectRow(currentRow); // also redraws the toggled cell
            else if (changed)
                m_editor.notifyTable();
            return;
        }
        SeekToRow(m);
        if ((shift & Shift::Shift) && m_editor.videoPanel())
            m_editor.videoPanel()->PlayPause();
        if ((shift & Shift::Ctrl) && m_editor.soundPanel())
            m_editor.soundPanel()->PlayPause();
    } catch (const ConversionError& e) {
        LogPassedOver(lcEdit, "table click", e);
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "table click", e);
    }
}

void RowSelection::SeekToRow(int row)
{
    if (row < 1 || row > m_editor.lastRow())
        return;
    try {
        SelectRow(row);
        if (SoundTransport* sound = m_editor.soundPanel()) {
            sound->halt();
            // Through the slider, so the marker follows the position like any seek.
            sound->scrollTo(m_grid.sectionStart(row));
        }
        if (!m_grid.hasVideo(row))
            return;
        if (m_editor.videoPanel())
            m_editor.videoPanel()->ShowRowVideo(row);
        showDuration(row);
        m_ui.focusSoundSlider();
    } catch (const ConversionError& e) {
        LogPassedOver(lcEdit, "seek to a row", e);
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "seek to a row", e);
    }
}

void RowSelection::GridKeyDown(Key key, int shift)
{
    m_keyDown = key;
    m_keyDownShift = shift;
}

void RowSelection::GridKeyUp(Key key, int shift)
{
    const int row = m_grid.currentRow;
    // The clipboard keys go by the shift state held when the key went down: people
    // often let go of Ctrl a moment before the letter, and the letter's release then
    // carries no Ctrl. A release without its press in the table keeps its own state.
    const int combination = key == m_keyDown ? m_keyDownShift : shift;
    m_keyDown = Key::None;
    switch (key) {
    case Key::Space:
        SelectRow(row);
        break;
    case Key::Enter:
        SeekToRow(row);
        break;
    case Key::X:
        if (combination == Shift::Ctrl && m_editor.clipboardCommands())
            m_editor.clipboardCommands()->Cut();
        break;
    case Key::C:
        if (combination == Shift::Ctrl && m_editor.clipboardCommands())
            m_editor.clipboardCommands()->Copy();
        break;
    case Key::V:
        if (combination == Shift::Ctrl && m_editor.clipboardCommands())
            m_editor.clipboardCommands()->Paste();
        break;
    default:
        break;
    }
    // Every key then goes on to the main window's key commands (Space and Enter also
    // play or pause the sound clip there).
    if (m_editor.soundPanel())
        m_editor.soundPanel()->MainKeyCommand(key, shift);
}

void RowSelection::GoFirst()
{
    SelectRow(1);
    m_ui.focusSoundSlider();
}

void RowSelection::GoLast()
{
    SelectRow(m_editor.lastRow());
    m_ui.focusSoundSlider();
}

void RowSelection::GridDrop(const QStringList& files)
{
    if (files.isEmpty())
        return;
    if (files.size() == 1 && QFileInfo(files.first()).suffix().toLower() == QLatin1String("rem")) {
        try {
            if (m_editor.projectCommands())
                m_editor.projectCommands()->ProjectOpenFile(files.first());
        } catch (const std::exception& e) {
            // The open has said what it could not read; a drop must not end the program.
            LogPassedOver(lcEdit, "open a dropped project", e);
        }
        return;
    }
    for (const QString& path : files) {
        if (isStillImage(QFileInfo(path).suffix().toLower())) {
            try {
                if (m_editor.videoPanel())
                    m_editor.videoPanel()->RegisterDroppedStill(path);
            } catch (const std::exception&) {
                // A file that cannot be registered is skipped; the next one still goes in.
            }
        } else {
            m_editor.setMsg(QStringLiteral("ﾘｽﾄには、静止画ﾌｧｲﾙまたはﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙのみﾄﾞﾛｯﾌﾟ可能です。"));
        }
    }
}

} // namespace vk
