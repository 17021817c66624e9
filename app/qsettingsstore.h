#pragma once
// The settings store of the application: every value is text under one group, "param",
// of the INI file of organisation "TALMOR", application "videokadro" (under
// $XDG_CONFIG_HOME). Several stores may be open at once; each read first syncs with
// the file, so a value written and synced by one store is seen by the others.

#include "base/settingsstore.h"

#include <QSettings>

namespace vk {

class QSettingsStore final : public SettingsStore {
public:
    QSettingsStore();
    ~QSettingsStore() override;
    QSettingsStore(const QSettingsStore&) = delete;
    QSettingsStore& operator=(const QSettingsStore&) = delete;

    using SettingsStore::RegValueWrite;
    bool RegValueRead(const QString& name, QString& text) override;
    bool RegValueWrite(const QString& name, const QString& value) override;
    void RegKeyCreate() override;
    void sync() override;

private:
    QSettings& store();

    QSettings m_settings;
};

} // namespace vk
