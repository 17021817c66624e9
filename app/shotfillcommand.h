#pragma once
// 編集 > 映像で区間を埋める...: the choices of its dialog (kept in the settings), the files
// they name, and the fill itself from the shot analyses of those files.
//
//   ShotFillCommand(editor, settings, onsets).exec(parentWindow);
//
// exec() asks with ShotFillDialog, analyses the files on a ShotWorker behind a progress
// dialog (cached analyses come back at once), then fills the rows as one undo step.
// fill() is the part after the analyses, for the tests.

#include "media/analysis/shotanalysis.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class QWidget;

namespace vk {

class Editor;
class SettingsStore;

struct ShotFillChoices {
    bool fromFolder = false;
    QStringList files;
    QString folder;
    bool draggedRange = false; // false: from the current row to the end
    bool onlyEmpty = true;     // false: every row of the range
    bool varySpeed = false;    // false: 等速; true: 0.5〜2倍
    quint32 seed = 1;

    void load(SettingsStore& settings);
    void save(SettingsStore& settings) const;
};

struct ShotFillResult {
    int filled = 0;
    int empty = 0;       // rows of the range that stayed without video
    int kept = 0;        // rows of the range that kept their video (nothing fitted)
    QStringList skipped; // "file: why", for the files that gave no shots
    QString status;      // the status line
};

// The video files of a folder (by their extension), sorted.
QStringList videoFilesIn(const QString& folder);

class ShotFillCommand {
public:
    ShotFillCommand(Editor& editor, SettingsStore& settings, std::vector<double> onsetsMs = {});

    void exec(QWidget* parent);

    // The fill from finished analyses (one per file, in the choices' order). Lists the
    // skipped files in one message, sets the status line.
    ShotFillResult fill(const ShotFillChoices& choices, const std::vector<std::pair<QString, ShotAnalysis>>& analyses);

private:
    Editor& m_editor;
    SettingsStore& m_settings;
    std::vector<double> m_onsets;
};

} // namespace vk
