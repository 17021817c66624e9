#pragma once
// The editor's autosave: its folder under the user's data folder, and the offer, at
// start-up, of what a run that ended abnormally left behind.

#include <QString>

class QObject;

namespace vk {

class Autosave;
class Editor;
class ProjectFile;
class SettingsStore;

// The autosave folder: "autosave" in the application's data folder.
QString AutosaveFolder();

// Starts the autosave of the editor's project (owned by parent) and offers any
// leftover autosave back to the user.
Autosave* StartAutosave(Editor& editor, ProjectFile& project, SettingsStore& settings, QObject* parent);

} // namespace vk
