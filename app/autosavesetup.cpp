#include "app/autosavesetup.h"

#include "project/autosave.h"

#include <QStandardPaths>

namespace vk {

QString AutosaveFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/autosave");
}

Autosave* StartAutosave(Editor& editor, ProjectFile& project, SettingsStore& settings, std::function<bool()> playing,
                        QObject* parent)
{
    auto* autosave = new Autosave(editor, project, settings, AutosaveFolder(), {}, parent);
    autosave->setPlayingCheck(std::move(playing));
    autosave->offerRecovery();
    return autosave;
}

} // namespace vk
