#pragma once
// Autosave and crash recovery. While the project is modified, its document (the same
// ".rem" text a save writes) goes every interval to a file of its own in the autosave
// folder, never to the user's project file. Each autosave has a companion ".info" file
// (the project's own path and the time of the write) and a lock held by the running
// editor, taken as soon as the project is modified, so other editors can tell that the
// project has unsaved changes here (heldElsewhere). A save, or any other end of the changes (the modified flag cleared), removes
// the autosave; so does a normal end of the program. An autosave whose lock nobody holds
// was left behind by a run that ended abnormally: at start-up it is offered back.
//
// Files: <name>.rem, <name>.info, <name>.lock, where <name> is "untitled-<pid>" for a
// project without a path and "<base>-<hash>" of the project path otherwise, so each
// open project has one autosave. A damaged autosave is renamed to
// "<name>.damaged-<time>.rem" and kept.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QLockFile;

namespace vk {

class Editor;
class ProjectFile;
class SettingsStore;

class Autosave final : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // The settings name of the interval, in seconds; 60 when missing or not a number.
    static QString intervalSetting() { return QStringLiteral("AutosaveInterval"); }
    static constexpr int defaultIntervalSec = 60;

    // One autosave left behind by another run.
    struct Leftover {
        QString file;        // the autosave document
        QString projectPath; // the project's own path; empty for an untitled project
        QDateTime savedAt;   // when it was written
    };

    // folder: where autosaves live (created when missing). clock: the time written into
    // the companion file; the system clock when empty.
    Autosave(Editor& editor, ProjectFile& project, SettingsStore& settings, const QString& folder, Clock clock = {},
             QObject* parent = nullptr);
    ~Autosave() override;

    const QString& folder() const { return m_folder; }
    int intervalMsec() const { return m_timer.interval(); }
    // The timer runs exactly while the project is modified.
    bool timerActive() const { return m_timer.isActive(); }
    // This run's autosave document, named once the project is modified (written at the
    // next tick); empty when there is none.
    const QString& currentFile() const { return m_current; }

    // Whether the song or a video is playing now; never, when unset.
    using PlayingCheck = std::function<bool()>;
    void setPlayingCheck(PlayingCheck playing) { m_playing = std::move(playing); }

    // Writes the autosave now when the project is modified (what the timer calls).
    // False when nothing was written. A write that fails (a full disk) leaves the last
    // autosave as it was. Each failure shows in the status line; a message box tells it
    // once, until a write succeeds again, and never while something plays (the box
    // would take the keys of the taps): then at the first failure after the play.
    bool writeNow();
    // Removes this run's autosave.
    void discard();

    // Whether another running editor holds the project at `projectPath` modified: the
    // lock of its autosave is held by a live process other than this editor. A lock
    // left by a process that is gone does not count.
    bool heldElsewhere(const QString& projectPath) const;

    // Autosaves left behind by runs that ended abnormally, newest first.
    std::vector<Leftover> leftovers() const;
    // Offers each leftover through the editor's dialogs: "復元しますか？" with the
    // project's name and the time. Yes opens it (modified, with the original project
    // path) and ends the offers; No deletes it. A damaged one is reported and renamed
    // aside. True when a project was restored.
    bool offerRecovery();

    // The name of the message shown for a leftover (the project's file name, or the
    // untitled caption).
    static QString projectName(const QString& projectPath);

private:
    void onModifiedChanged(bool modified);
    QString baseNameFor(const QString& projectPath) const;
    // Takes the lock of the current project's autosave (once per project); false when
    // none could be taken.
    bool claim();
    bool takeLock(const QString& base);
    void removeFiles(const QString& base);
    void keepAside(const Leftover& leftover);
    bool write(const QString& path, const QByteArray& bytes);

    Editor& m_editor;
    ProjectFile& m_project;
    QString m_folder;
    Clock m_clock;
    QTimer m_timer;
    QString m_current;     // full path of this run's autosave document
    QString m_currentBase; // its name without extension
    std::unique_ptr<QLockFile> m_lock;
    PlayingCheck m_playing;
    bool m_failureReported = false; // the failed write was told in a box; the next failures are not
    bool m_failureShown = false;    // the status line tells of a failed write
};

} // namespace vk
