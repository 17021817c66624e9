#pragma once
// The commands of ファイル > 書き出し: the timeline written as a Shotcut project, a
// Kdenlive project, an OpenTimelineIO file or a CMX 3600 EDL.
//
// Like the output buttons: the save dialog and the overwrite question, the whole
// project or the dragged range when "ﾄﾞﾗｯｸﾞ選択範囲に限定" is ticked, the picture size
// and rate of the chosen MP4 profile. OTIO and EDL are written here (timelineexport.h),
// at once; an EDL of more than 999 events goes on in further files beside the first,
// named in the message. The two MLT projects are written by T-VideoWrite's export mode
// from the same two documents a render uses, so that the renderer's own engine
// timeline is what they hold. The writer runs as a render does, beside the editor, which
// stays usable: started() and progress() follow it, cancel() stops it (it then leaves
// no file), and once it has ended the command says so, with a message naming the file
// and the transitions written as dissolves, or why it failed. One export runs at a
// time; the documents of each are in a folder of its own, removed when its writer ends.

#include "render/playbackratesource.h"
#include "render/timelineexport.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QProcess;
class QTemporaryDir;

namespace vk {

class Editor;

enum class ExportKind { Shotcut, Kdenlive, Otio, Edl };

// The beats and bars of the sound clip's beat grid, in sound clip ms.
struct BeatMarks final {
    std::vector<double> beatsMs;
    std::vector<double> barsMs; // the bars' first beats: a subset of beatsMs
};

class ExportCommand final : public QObject {
    Q_OBJECT
public:
    ExportCommand(Editor& editor, QString writerProgram, const PlaybackRateSource* rate = nullptr);
    // The writer's path asked for at each export (the output command's, which may move).
    ExportCommand(Editor& editor, std::function<QString()> writerProgram, const PlaybackRateSource* rate = nullptr);
    // A writer still running is stopped and waited for: it leaves no file.
    ~ExportCommand() override;

    void Export(ExportKind kind, const BeatMarks& beats);

    // True while the writer of an export runs.
    bool running() const;
    // Stops the running writer; finished() follows once it has ended, with no file
    // written and the old one as it was.
    void cancel();

    // The markers of the project: every section start, named with its row, and the
    // beats and bars.
    std::vector<ExportMarker> markers(const BeatMarks& beats) const;

signals:
    // The writer has been started for `target`.
    void started(const QString& target);
    // Its progress, 0 to 1.
    void progress(double fraction);
    // It has ended (written, failed or cancelled); the user is told right after.
    void finished();

private:
    void writerOutput();
    void writerEnded(int exitCode, bool crashed);

    Editor& m_editor;
    std::function<QString()> m_writer;
    const PlaybackRateSource* m_rate;
    // The running export: its writer, its documents, its target and what it printed.
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_target;
    QString m_out;
    bool m_cancelled = false;
    // The rows with a transition when the export started (CLSID, "行 n: name"), for the
    // message naming those written as dissolves.
    std::vector<std::pair<QString, QString>> m_effects;
};

} // namespace vk
