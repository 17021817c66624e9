#pragma once
// The editor's document state: the row table and its hidden companions (video
// clipboard, scratch table), the modified flag, the dragged range, the sound clip path,
// length and frame interval, the project and output paths, the last effect name and
// the status labels; and the row reads every command shares (section lengths, speeds,
// MsecToRow, RowRefresh).
//
// The edits live in classes of their own, owned here and handed out: sections()
// (sound section edits), selection() (row selection and navigation) and history()
// (undo and redo). The windows turn their events into calls on them and redraw from
// the signals. Every command that changes the table ends with one tableChanged(), so a
// 10,000-row edit repaints once.
//
// The sound clip panel and the video registration panel are separate controllers that
// work on this state; the edits reach them through SoundTransport and
// VideoRegistration (attached once by the application) for the commands that move the
// players (row selection) or read the play position (section registration). The
// project and clipboard commands are reached the same way.

#include "base/userdialogs.h"
#include "timeline/rowselection.h"
#include "timeline/rowtable.h"
#include "timeline/sections.h"
#include "timeline/undohistory.h"

#include <QObject>
#include <QStringList>
#include <optional>

namespace vk {

class ClipboardCommands;
class ProjectCommands;
class SoundTransport;
class VideoRegistration;

class Editor final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Editor)

public:
    explicit Editor(UserDialogs& ui, QObject* parent = nullptr);
    ~Editor() override;

    UserDialogs& ui() { return m_ui; }

    // The two panels, attached once by the application (either may be missing in tests).
    void setPanels(SoundTransport* sound, VideoRegistration* video);
    SoundTransport* soundPanel() const { return m_sound; }
    VideoRegistration* videoPanel() const { return m_video; }

    // The project commands (a dropped project, the save-as of the unsaved-changes
    // question) and the clipboard commands of the keys, attached once by the
    // application; either may be missing, and the command then does nothing.
    void setProjectCommands(ProjectCommands* commands) { m_project = commands; }
    void setClipboardCommands(ClipboardCommands* commands) { m_clipboardCommands = commands; }
    ProjectCommands* projectCommands() const { return m_project; }
    ClipboardCommands* clipboardCommands() const { return m_clipboardCommands; }

    // ---- the edits ------------------------------------------------------------------
    Sections& sections() { return m_sections; }
    RowSelection& selection() { return m_selection; }
    UndoHistory& history() { return m_history; }

    // ---- tables -------------------------------------------------------------------
    RowTable& Grid() { return m_grid; }
    const RowTable& Grid() const { return m_grid; }
    RowTable& tmpgrid() { return m_clipboard; } // the video clipboard
    RowTable& tmp2grid() { return m_scratch; }  // scratch table of re-splitting
    const RowTable& tmpgrid() const { return m_clipboard; }
    int lastRow() const { return m_grid.Rows() - 1; }

    // ---- application state --------------------------------------------------------
    bool modified() const { return m_modified; }
    void setModified(bool modified);

    int dragFirst() const { return m_dragFirst; }
    int dragLast() const { return m_dragLast; }
    void setDraggedRange(int first, int last)
    {
        m_dragFirst = first;
        m_dragLast = last;
    }

    const QString& lastEffectName() const { return m_lastEffect; }
    void setLastEffectName(const QString& name) { m_lastEffect = name; }

    // The text of the sound clip field (txtSndFile).
    const QString& sndFile() const { return m_sndFile; }
    void setSndFile(const QString& path);
    int sndLength() const { return m_sndLength; }
    int sndFrameInterval() const { return m_sndInterval; }
    void setSoundClip(int lengthMsec, int frameInterval)
    {
        m_sndLength = lengthMsec;
        m_sndInterval = frameInterval;
    }

    const QString& projectPath() const { return m_projectPath; }
    void setProjectPath(const QString& path) { m_projectPath = path; }
    const QString& outputPath() const { return m_outputPath; }
    void setOutputPath(const QString& path) { m_outputPath = path; }

    // The output controls: the AVI, WMV and MP4 list selections and "ﾄﾞﾗｯｸﾞ選択範囲に限定".
    int aviProfileIndex() const { return m_aviIndex; }
    int wmvProfileIndex() const { return m_wmvIndex; }
    int mp4ProfileIndex() const { return m_mp4Index; }
    bool partOnly() const { return m_partOnly; }
    void setAviProfileIndex(int index) { m_aviIndex = index; }
    void setWmvProfileIndex(int index) { m_wmvIndex = index; }
    void setMp4ProfileIndex(int index) { m_mp4Index = index; }
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
    // The two section lengths of the selected row (showDuration).
    void setRangeLabels(const QString& sound, const QString& video);

    // ---- row operations ------------------------------------------------------------
    // Section start of a row as a number of ms; empty on a row without one.
    QString getSndMsec(int row) const;
    // Video span of a row in ms; 0 without a video file. Throws ConversionError.
    int getVidLengthMsec(int row) const;
    // Length of a row's section: up to the next start, or the clip end for the last row.
    double sectionLength(int row) const;
    // The row whose section contains msec; the last row for any time past its start;
    // 0 when the table has no data rows.
    int MsecToRow(int msec) const;
    // The speed ratio of a registered row, its video span over its section length to
    // three decimals; nullopt when the section is empty. Throws ConversionError on a row
    // without a start or without its points.
    std::optional<double> speedRatio(int row) const;
    // The same as the table shows it ("1.5x").
    std::optional<QString> speedText(int row) const;
    // Sets the speed of one row (row >= 1) to its span's own, 等速 included, or of every
    // registered row whose speed is still empty (row < 1). The ratio itself is worked
    // out from the span and the section wherever it is shown.
    void RowRefresh(int row);
    // The unsaved-changes question before another sound clip, another project or a new
    // project. Returns true when the caller may go on: nothing was modified, the user
    // answered No, or answered Yes and the project was saved.
    bool askSaveChanges();

    // Tells the views that the table changed (rows, cells or markers).
    void notifyTable() { emit tableChanged(); }
    // Tells the views that what can be undone or redone may have changed.
    void notifyHistory() { emit historyChanged(); }

signals:
    void tableChanged();
    void historyChanged();
    void labelsChanged();
    void modifiedChanged(bool modified);
    void sndFileChanged(const QString& path);

private:
    void refreshRowSpeed(int row);

    UserDialogs& m_ui;
    SoundTransport* m_sound = nullptr;
    VideoRegistration* m_video = nullptr;
    ProjectCommands* m_project = nullptr;
    ClipboardCommands* m_clipboardCommands = nullptr;

    RowTable m_grid;
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
    int m_mp4Index = 4;
    bool m_partOnly = false;
    QString m_msg;
    QString m_rowLabel;
    QString m_sndRangeLabel;
    QString m_vidRangeLabel;

    // The edits, after the state they work on.
    Sections m_sections{*this};
    RowSelection m_selection{*this};
    UndoHistory m_history{*this};
};

} // namespace vk
