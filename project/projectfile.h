#pragma once
// The project file (".rem"): one piece of work as an XML document, the sound clip path
// and every row of the row table, and the file menu commands that open and save it.
//
//   <project version="2_0_1"><soundclip soundfile="..."/><videoclips>
//     <videoclip soundmsec=".." videofile=".." beginmsec=".." endmsec=".."
//                intervalmsec=".." rate=".." trans=".." transmsec=".."/> ...
//   </videoclips></project>
//
// A project whose beat grid was corrected by hand carries one more element after
// <videoclips>: <beatgrid soundkey="content hash of the sound file">the corrections, a
// line each</beatgrid>. Readers that do not know it pass over it; without corrections
// it is not written, so such files are as before.
//
// saved as UTF-8 without declaration and without white space between elements. Section
// starts are stored in ms as the table holds them (the time text shows them truncated to
// whole sound frames); in and out points are stored in ms and shown again in the row's
// own frames.
// Media width and height are not stored: after a load they are probed again from the
// video files (through the media size probe given at construction).
//
// Reading goes on past bad attributes: a missing or non-numeric value takes the value of
// the videoclip before it (0 or empty text for the first). A file that cannot be read
// at all (missing, not well-formed XML, no project root) is refused with a warning
// before anything is touched, so the user's table, sound clip and project path survive.
//
// Saving writes a temporary file next to the target and renames it over the target, so
// a crash or a full disk never destroys the previous project. A failed save says why
// and leaves the modified flag set.

#include "base/userdialogs.h"
#include "timeline/projectcommands.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace vk {

class Editor;

// Reads the picture size of a media file; false when the file cannot be probed. The
// application gives one on the media library; this folder cannot link that library.
using MediaSizeProbe = std::function<bool(const QString& path, int& width, int& height)>;

class ProjectFile final : public ProjectCommands {
public:
    // One videoclip element as read, after the carry-over from the element before it.
    struct Clip {
        int soundMsec = 0;
        QString videoFile;
        int intervalMsec = 0;
        int beginMsec = 0;
        int endMsec = 0;
        QString rate;
        QString trans;
        QString transMsec;
    };
    // The beat grid's corrections by hand, for the sound file whose content key they name.
    struct BeatGridElement {
        QByteArray soundKey;
        QByteArray corrections;
    };
    // A whole project file as read.
    struct Document {
        std::optional<QString> soundFile; // nullopt when the attribute is missing
        std::vector<Clip> clips;
        std::optional<BeatGridElement> beatGrid;
    };
    // Where the beat grid's corrections come from on save and go to on load (the beat
    // assist): save gives nothing when there are none; load gets nothing for a file
    // without them. Without hooks they are neither written nor read.
    struct BeatGridHooks {
        std::function<std::optional<BeatGridElement>()> save;
        std::function<void(const std::optional<BeatGridElement>&)> load;
    };
    void setBeatGridHooks(BeatGridHooks hooks) { m_gridHooks = std::move(hooks); }

    // `probe` fills the media sizes of the rows a load writes; an empty probe leaves
    // the sizes empty.
    explicit ProjectFile(Editor& editor, MediaSizeProbe probe = {});
    ProjectFile(const ProjectFile&) = delete;
    ProjectFile& operator=(const ProjectFile&) = delete;

    // Fills the media size of the given rows that have a video file, probing each
    // distinct file once; a file that cannot be probed (or an empty probe) leaves the
    // size unknown.
    static void FillMediaSizes(Editor& editor, const std::vector<int>& rows, const MediaSizeProbe& probe);

    // Reads a project file. False, with a reason for the user, when the file is missing,
    // unreadable, not well-formed or has no project root.
    static bool ReadDocument(const QString& path, Document& out, QString& reason);
    // The document text of the editor's sound clip and rows. False, with a reason, when
    // a row lacks its section start (nothing is produced then).
    static bool BuildDocument(const Editor& editor, QByteArray& out, QString& reason,
                              const std::optional<BeatGridElement>& beatGrid = std::nullopt);
    // The document a save writes now: the rows and, through the hooks, the beat grid's
    // corrections (the autosave writes the same).
    bool buildCurrentDocument(QByteArray& out, QString& reason) const;
    // Writes a clip's registration into columns 2, 3, 4, 6, 7, 8 and 9 of a row.
    static void WriteClip(Editor& editor, int row, const Clip& clip);

    // The open dialog, shared with clip import.
    static UserDialogs::FileDialog openDialog();

    // Replaces the sound clip and the rows by a project file's contents. False (after a
    // warning) when the file cannot be read; nothing has changed then.
    bool ProjectLoad(const QString& path);
    // Writes the sound clip path and all rows to path, after the overwrite question.
    // True when the file was written; the modified flag is cleared only then.
    bool ProjectSave(const QString& path);
    // Opens a project from a given path (a dropped file): the unsaved-changes question,
    // then the load; the project path becomes path when the load succeeds.
    void ProjectOpenFile(const QString& path) override;

    // mnuProjectOpen: a project named on the command line first, otherwise the question
    // and the open dialog.
    void OpenCommand();
    // mnuProjectSave: saves over the current project, or asks for a name (always for a
    // project opened read-only).
    void SaveCommand();
    // mnuProjectSaveAs: true when a project was written.
    bool SaveAsCommand() override;

    // Tells whether another running editor holds a project modified (the autosave's
    // locks). Before a project is opened, such a project is announced with a choice:
    // open it read-only, open it anyway, or not at all. Without a check nothing is asked.
    using OpenElsewhereCheck = std::function<bool(const QString& path)>;
    void setOpenElsewhereCheck(OpenElsewhereCheck check) { m_openElsewhere = std::move(check); }
    // The project was opened read-only: Save asks for a new name instead of writing over
    // it. Ends when the project gets another path (Save As, another project).
    bool readOnly() const;

private:
    enum class OpenMode { Normal, ReadOnly };
    // Whether and how the project at `path` may be opened (asks when another editor
    // holds it modified); nullopt when the user chose not to open it.
    std::optional<OpenMode> openModeFor(const QString& path);
    // The load of an open command; the project path becomes `path` when it loaded.
    void openProject(const QString& path);

    // The unsaved-changes question before another project replaces this one. True when
    // the open may go on: nothing to save, or the user answered No. A Yes runs Save As
    // and ends the open in every case.
    bool mayReplaceProject();

    Editor& m_editor;
    MediaSizeProbe m_probe;
    QString m_lastSaveName; // the name last chosen in the Save As dialog
    BeatGridHooks m_gridHooks;
    OpenElsewhereCheck m_openElsewhere;
    QString m_readOnlyPath; // the project path opened read-only
};

// Attaches the project commands to the editor (a dropped project, the save-as question
// of other commands).
void ConnectProjectCommands(Editor& editor, ProjectFile& project);

} // namespace vk
