#pragma once
// The commands of ファイル > 書き出し: the timeline written as a Shotcut project, a
// Kdenlive project, an OpenTimelineIO file or a CMX 3600 EDL.
//
// Like the output buttons: the save dialog and the overwrite question, the whole
// project or the dragged range when "ﾄﾞﾗｯｸﾞ選択範囲に限定" is ticked, the picture size
// and rate of the chosen MP4 profile. OTIO and EDL are written here (timelineexport.h);
// the two MLT projects by T-VideoWrite's export mode from the same two documents a
// render uses, so that the renderer's own engine timeline is what they hold. The
// command waits for the writer and ends with a message naming the file and the
// transitions written as dissolves.

#include "render/playbackratesource.h"
#include "render/timelineexport.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace vk {

class Editor;

enum class ExportKind { Shotcut, Kdenlive, Otio, Edl };

// The beats and bars of the sound clip's beat grid, in sound clip ms.
struct BeatMarks final {
    std::vector<double> beatsMs;
    std::vector<double> barsMs; // the bars' first beats: a subset of beatsMs
};

class ExportCommand final {
public:
    // Runs the writer and waits for it: its exit status, its standard output and error.
    using Runner = std::function<int(const QString& program, const QStringList& args, QString& out, QString& err)>;

    ExportCommand(Editor& editor, QString writerProgram, const PlaybackRateSource* rate = nullptr);

    void Export(ExportKind kind, const BeatMarks& beats);

    // Replaces QProcess (tests).
    void setRunner(Runner runner) { m_run = std::move(runner); }

    // The markers of the project: every section start, named with its row, and the
    // beats and bars.
    std::vector<ExportMarker> markers(const BeatMarks& beats) const;

private:
    Editor& m_editor;
    QString m_writer;
    const PlaybackRateSource* m_rate;
    Runner m_run;
};

} // namespace vk
