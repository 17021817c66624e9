// Row selection and navigation on the row table: mouse releases (selection, the dragged
// range and its summary, the quick edits of the speed and effect cells, seeking with
// the right button), the table's keys, "最初へ"/"最後へ" and files dropped on the table.
//
// The dragged range changes only on a mouse release over the table; keyboard moves in
// the table change the current row but not the range. SeekToRow moves both panels to a
// row: the sound player to the section start (through the slider, so the marker follows
// the position), the video panel to the row's registration. Either panel may be absent
// (tests, or before the windows exist); the table side then still runs.
//
// Handlers trap their own errors: a cell that cannot be read or a failing player call
// ends the handler silently, leaving what it already did.

#include "app/editor.h"
#include "app/helpers.h"
#include "media/mediaplayerengine.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"

#include <QFileInfo>
#include <QSignalBlocker>
#include <stdexcept>

namespace vk {

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeySpace = 32;
constexpr int kKeyC = 67;
constexpr int kKeyV = 86;
constexpr int kKeyX = 88;

const QString& stillTime()
{
    static const QString text = QStringLiteral("00:00:00:00");
    return text;
}

bool isStillImage(const QString& extension)
{
    return extension == QLatin1String("jpg") || extension == QLatin1String("gif") ||
           extension == QLatin1String("bmp") || extension == QLatin1String("png");
}

} // namespace

void Editor::GridMouseUp(Button button, int shift, int currentRow, int selEndRow, int hitRow, int hitCol)
{
    if (currentRow == 0)
        return;
    try {
        if (currentRow > 0 && currentRow <= lastRow())
            m_grid.currentRow = currentRow;
        setRowLabel(QString::number(currentRow) + QStringLiteral("行"));

        int first = currentRow;
        int last = selEndRow;
        OrderPair(first, last);
        setDraggedRange(first, last);

        if (first < last) {
            const double start = ParseNumber(m_grid.text(first, Col::SectionMsec));
            const double end =
                last >= lastRow() ? double(m_sndLength) : ParseNumber(m_grid.text(last + 1, Col::SectionMsec));
            setMsg(QString::number(last - first + 1) + QStringLiteral("行 ﾄﾞﾗｯｸﾞ選択 ") +
                   QStringLiteral("(音声区間長=") + ShortestDecimal(end - start) + QStringLiteral("ms)"));
        } else {
            setMsg(QString());
        }

        // Released below the last row or right of the last column, or over the header.
        if (hitRow < 1 || hitRow > lastRow() || hitCol < 0 || hitCol >= m_grid.Cols())
            return;
        const int m = hitRow;
        const int c = hitCol;
        const bool right = button == Button::Right;

        if (c == Col::Effect) {
            setModified(true);
            if (right) {
                m_ui.openEffectDialog(m);
                return;
            }
            const QString effect = m_grid.text(m, Col::Effect);
            if (!effect.isEmpty()) {
                m_lastEffect = effect;
                m_grid.setText(m, Col::Effect, QString());
                m_grid.setText(m, Col::TransMsec, QString());
            } else {
                m_grid.setText(m, Col::Effect, m_lastEffect);
                m_grid.setText(m, Col::TransMsec, QStringLiteral("1500"));
            }
            notifyTable();
            return;
        }

        // Still images (out point 0) keep their speed; rows without registration do not.
        bool changed = false;
        if (c == Col::Speed && m_grid.text(m, Col::OutPoint) != stillTime()) {
            if (!right) {
                const QString before = m_grid.text(m, Col::Speed);
                if (before == QStringLiteral("等速")) {
                    const QSignalBlocker quiet(this); // notified once below
                    RowRefresh(m); // writes nothing for a row without video file
                } else {
                    m_grid.setText(m, Col::Speed, QStringLiteral("等速"));
                }
                // The toggle is an unsaved change like any other edit of the table.
                if (m_grid.text(m, Col::Speed) != before) {
                    setModified(true);
                    changed = true;
                }
            } else {
                if (m_grid.text(m, Col::VideoFile).isEmpty())
                    return;
                const std::optional<QString> speed = speedText(m);
                if (!speed)
                    return;
                QString rate = *speed;
                rate.chop(1); // the box takes the plain number
                if (m_video)
                    m_video->setRateText(rate);
            }
        }

        if (!right) {
            if (first == last)
                SelectRow(currentRow); // also redraws the toggled cell
            else if (changed)
                notifyTable();
            return;
        }
        SeekToRow(m);
        if ((shift & Shift::Shift) && m_video)
            m_video->PlayPause();
        if ((shift & Shift::Ctrl) && m_sound)
            m_sound->PlayPause();
    } catch (const ConversionError&) {
    } catch (const EngineError&) {
    } catch (const std::out_of_range&) {
    }
}

void Editor::SeekToRow(int row)
{
    if (row < 1 || row > lastRow())
        return;
    try {
        SelectRow(row);
        if (m_sound) {
            m_sound->halt();
            // Through the slider, so the marker follows the position like any seek.
            m_sound->scrollTo(ParseInt32(getSndMsec(row)));
        }
        if (m_grid.text(row, Col::VideoFile).isEmpty())
            return;
        if (m_video)
            m_video->ShowRowVideo(row);
        showDuration(row);
        m_ui.focusSoundSlider();
    } catch (const ConversionError&) {
    } catch (const EngineError&) {
    }
}

void Editor::GridKeyDown(int key, int shift)
{
    m_keyDown = key;
    m_keyDownShift = shift;
}

void Editor::GridKeyUp(int key, int shift)
{
    const int row = m_grid.currentRow;
    // The clipboard keys go by the shift state held when the key went down: people
    // often let go of Ctrl a moment before the letter, and the letter's release then
    // carries no Ctrl. A release without its press in the table keeps its own state.
    const int combination = key == m_keyDown ? m_keyDownShift : shift;
    m_keyDown = 0;
    switch (key) {
    case kKeySpace:
        SelectRow(row);
        break;
    case kKeyEnter:
        SeekToRow(row);
        break;
    case kKeyX:
        if (combination == Shift::Ctrl && clipboardCut)
            clipboardCut();
        break;
    case kKeyC:
        if (combination == Shift::Ctrl && clipboardCopy)
            clipboardCopy();
        break;
    case kKeyV:
        if (combination == Shift::Ctrl && clipboardPaste)
            clipboardPaste();
        break;
    default:
        break;
    }
    // Every key then goes on to the main window's key commands (Space and Enter also
    // play or pause the sound clip there).
    if (m_sound)
        m_sound->MainKeyCommand(key, shift);
}

void Editor::GoFirst()
{
    SelectRow(1);
    m_ui.focusSoundSlider();
}

void Editor::GoLast()
{
    SelectRow(lastRow());
    m_ui.focusSoundSlider();
}

void Editor::GridDrop(const QStringList& files)
{
    if (files.isEmpty())
        return;
    if (files.size() == 1 && QFileInfo(files.first()).suffix().toLower() == QLatin1String("rem")) {
        try {
            if (projectOpenFile)
                projectOpenFile(files.first());
        } catch (const std::exception&) {
        }
        return;
    }
    for (const QString& path : files) {
        if (isStillImage(QFileInfo(path).suffix().toLower())) {
            try {
                if (m_video)
                    m_video->RegisterDroppedStill(path);
            } catch (const std::exception&) {
                // A file that cannot be registered is skipped; the next one still goes in.
            }
        } else {
            setMsg(QStringLiteral("ﾘｽﾄには、静止画ﾌｧｲﾙまたはﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙのみﾄﾞﾛｯﾌﾟ可能です。"));
        }
    }
}

} // namespace vk
