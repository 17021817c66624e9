#pragma once
// The output command run to its end, for the integration tests that render with the
// real T-VideoWrite: the editor's own command writes the documents and names the
// program; the test starts it as the editor would, without dialogs and offscreen, and
// collects what it printed and how it ended.

#include <QString>

#include <functional>

class QProcess;

namespace vk {

class Editor;
class ScriptedUi;

namespace test {

enum class OutputKind { Wav, DvAvi, Mp4 };

struct WriterRun {
    bool started = false;  // the command started exactly one program
    bool finished = false; // it ended by itself (no crash) within the limit
    bool crashed = false;  // it died of a signal
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the output command of `kind` on the editor's rows with T-VideoWrite from
// VK_WRITER_FOLDER: the save dialog answers `target`, the overwrite question yes. While
// the program runs, `onOutput` (when given) sees all it has printed so far, after each
// new piece.
WriterRun RunOutputCommand(Editor& editor, ScriptedUi& ui, OutputKind kind, const QString& target,
                           const std::function<void(const QString& out, QProcess& writer)>& onOutput = {});

} // namespace test
} // namespace vk
