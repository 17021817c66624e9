#pragma once
// Qt's own Japanese texts for the standard dialogs (file dialogs, message box buttons,
// input boxes), whatever the system's language: the editor speaks Japanese throughout.

class QCoreApplication;

namespace vk {

// Loads Qt's Japanese catalogue from Qt's translations folder and installs it on the
// application. False when the catalogue is missing (the dialogs then stay in English).
bool InstallQtJapanese(QCoreApplication& app);

} // namespace vk
