#pragma once
// The editor's application state and the row table commands: the row table and its
// hidden companions (undo and redo snapshots, video clipboard, scratch table), the
// modified flag, the dragged range, the sound clip path, length and frame interval,
// the project and output paths, the last effect name and the status labels.
//
// The windows turn their events into calls here and redraw from the signals. Every
// command that changes the table ends with one tableChanged(), so a 10,000-row edit
// repaints once. The sound clip panel and the video registration panel are separate
// controllers that work on this state; the editor reaches them for the commands that
// move the players (row selection) or read the play position (section registration).

#include "app/ui.h"
#include "timeline/rowtable.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

namespace vk {

class SoundPanel;
class VideoPanel;

// Shift state of key and mouse events: Shift, Ctrl and Alt bits.
namespace Shift {
constexpr int Shift = 1;
constexpr int Ctrl = 2;
constexpr int Alt = 4;
} // namespace Shift

class Editor final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Editor)

public:
    explicit Editor(Ui& ui, QObject* parent = nullptr);
    ~Editor() override;

    Ui& ui() { return m_ui; }

    // The two panels, attached once by the application (either may be missing in tests).
    void setPanels(SoundPanel* sound, VideoPanel* video);
    SoundPanel* soundPanel() const { return m_sound; }
    VideoPanel* videoPanel() const { return m_video; }

    // ---- tables -------------------------------------------------------------------
    RowTable& Grid() { return m_grid; }
    const RowTable& Grid() const { return m_grid; }
    RowTable& undogrid() { return m_undo; }
    RowTable& redogrid() { return m_redo; }
    RowTable& tmpgrid() { return m_clipboard; }   // the video clipboard
    RowTable& tmp2grid() { return m_scratch; }    // scratch table of re-splitting
    const RowTable& tmpgrid() const { return m_clipboard; }
    int lastRow() const { return m_grid.Rows() - 1; }

    // ---- application state --------------------------------------------------------
    bool modified() const { return m_modified; }
    void setModified(bool modified);

    int dragFirst() const { return m_dragFirst; }
    int dragLast() const { return m_dragLast; }
    void setDraggedRange(int first, int last) { m_dragFirst = first; m_dragLast = last; }

    const QString& lastEffectName() const { return m_lastEffect; }
    void setLastEffectName(const QString& name) { m_lastEffect = name; }

    // The text of the sound clip field (txtSndFile).
    const QString& sndFile() const { return m_sndFile; }
    void setSndFile(const QString& path);
    int sndLength() const { return m_sndLength; }
    int sndFrameInterval() const { return m_sndInterval; }
    void setSoundClip(int lengthMsec, int frameInterval) { m_sndLength = lengthMsec; m_sndInterval = frameInterval; }

    const QString& projectPath() const { return m_projectPath; }
    void setProjectPath(const QString& path) { m_projectPath = path; }
    const QString& outputPath() const { return m_outputPath; }
    void setOutputPath(const QString& path) { m_outputPath = path; }

    // The output controls: the AVI and WMV list selections and "ﾄﾞﾗｯｸﾞ選択範囲に限定".
    int aviProfileIndex() const { return m_aviIndex; }
    int wmvProfileIndex() const { return m_wmvIndex; }
    bool partOnly() const { return m_partOnly; }
    void setAviProfileIndex(int index) { m_aviIndex = index; }
    void setWmvProfileIndex(int index) { m_wmvIndex = index; }
    void setPartOnly(bool on) { m_partOnly = on; }

    // Command-line arguments, index 1 the project to open; emptied once it is used.
    QStringList& args() { return m_args; }

    // Status labels of the main window.
    const QString& msg() const { return m_msg; }
    const QString& rowLabel() const { return m_rowLabel; }
    const QString& sndRangeLabel() const { return m_sndRangeLabel; }
    const QString& vidRangeLabel() const { return m_vidRangeLabel; }
    void setMsg(const QString& text);
    void setRowLabel(const QString& text);

    // ---- row operations ------------------------------------------------------------
    // Section start of a row in ms, as the text of its hidden column.
    QString getSndMsec(int row) const;
    // Video span of a row in ms; 0 without a video file. Throws ConversionError.
    int getVidLengthMsec(int row) const;
    // Length of a row's section: up to the next start, or the clip end for the last row.
    double sectionLength(int row) const;
    // The row whose section contains msec; the last row for any time past its start;
    // 0 when the table has no data rows.
    int MsecToRow(int msec) const;
    // The speed text of a registered row ("1.5x"); nullopt when the section is empty.
    // Throws ConversionError on cells that are not numbers or time text.
    std::optional<QString> speedText(int row) const;
    // Recomputes the speed of one row (row >= 1), or of every registered row whose speed
    // is still empty (row < 1).
    void RowRefresh(int row);
    // Makes row the selected row: the marker, the current row, visible, the lengths.
    void SelectRow(int row);
    void showDuration(int row);
    // Resets the table to one section starting at 0.
    void SndClear();

    // ---- undo and redo (one level) ------------------------------------------------
    void SaveUndoData();
    void SaveRedoData();
    void Undo();
    void Redo();

    // ---- sound sections ------------------------------------------------------------
    void SndRegister();
    void SndSectionAdd(int ms);
    void SndDelete();
    void RowMarkNext(int row);
    void SndSplit();
    void SndSameSplit();

    // ---- row selection and navigation ----------------------------------------------
    enum class Button { Left = 1, Right = 2 };
    // A mouse button released over the table. currentRow/selEndRow are the grid's own
    // selection; hitRow/hitCol the cell under the pointer, or -1 when the pointer is
    // below the last row or right of the last column.
    void GridMouseUp(Button button, int shift, int currentRow, int selEndRow, int hitRow, int hitCol);
    // A key pressed in the table: remembers the shift state it went down with, so its
    // release can tell a Ctrl combination even when Ctrl was let go first.
    void GridKeyDown(int key, int shift);
    void GridKeyUp(int key, int shift);
    void SeekToRow(int row);
    void GoFirst();
    void GoLast();
    void GridDrop(const QStringList& files);

    // The unsaved-changes question before another sound clip, another project or a new
    // project. Returns true when the caller may go on: nothing was modified, the user
    // answered No, or answered Yes and the project was saved.
    bool askSaveChanges();

    // Hooks to commands of other areas, connected by the application: the project
    // open routine and the save-as command, the clipboard commands.
    std::function<void(const QString&)> projectOpenFile;
    std::function<bool()> projectSaveAs;
    std::function<void()> clipboardCut;
    std::function<void()> clipboardCopy;
    std::function<void()> clipboardPaste;

    // Tells the views that the table changed (rows, cells or markers).
    void notifyTable() { emit tableChanged(); }

signals:
    void tableChanged();
    void labelsChanged();
    void modifiedChanged(bool modified);
    void sndFileChanged(const QString& path);

private:
    void refreshRowSpeed(int row);

    Ui& m_ui;
    SoundPanel* m_sound = nullptr;
    VideoPanel* m_video = nullptr;

    RowTable m_grid;
    RowTable m_undo{1, 1};
    RowTable m_redo{1, 1};
    RowTable m_clipboard;
    RowTable m_scratch;

    bool m_modified = false;
    int m_dragFirst = 1;
    int m_dragLast = 1;
    QString m_lastEffect = QStringLiteral("ﾌｪｰﾄﾞ");
    QString m_sndFile;
    int m_sndLength = 0;
    int m_sndInterval = 0;
    QString m_projectPath;
    QString m_outputPath;
    QStringList m_args;
    int m_aviIndex = 0;
    int m_wmvIndex = 15;
    bool m_partOnly = false;
    QString m_msg;
    QString m_rowLabel;
    QString m_sndRangeLabel;
    QString m_vidRangeLabel;
    // The last key pressed in the table and the shift state it went down with.
    int m_keyDown = 0;
    int m_keyDownShift = 0;
    bool m_undoTaken = false;
    bool m_redoTaken = false;
};

} // namespace vk
