#pragma once
// The editor's autosave: its folder under the user's data folder, and the offer, at
// start-up, of what a run that ended abnormally left behind.

#include <QString>
#include <functional>

class QObject;

namespace vk {

class Autosave;
class Editor;
class ProjectFile;
class SettingsStore;

// The autosave folder: "autosave" in the application's data folder.
QString AutosaveFolder();

// Starts the autosave of the editor's project (owned by parent) and offers any
// leftover autosave back to the user. `playing` tells whether the song or a video plays
// now: a failed autosave then tells it in the status line only.
Autosave* StartAutosave(Editor& editor, ProjectFile& project, SettingsStore& settings, std::function<bool()> playing,
                        QObject* parent);

} // namespace vk
