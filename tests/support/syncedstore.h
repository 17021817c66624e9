#pragma once
// The settings as the application stores them (the INI file under XDG_CONFIG_HOME),
// written through at once: the windows read through stores of their own, so what a
// test writes must be in the file before a window reads it.

#include "app/qsettingsstore.h"
#include "base/settingsstore.h"

namespace vk::testsupport {

class SyncedStore final : public SettingsStore {
public:
    using SettingsStore::RegValueWrite;
    bool RegValueRead(const QString& name, QString& text) override { return m_store.RegValueRead(name, text); }
    bool RegValueWrite(const QString& name, const QString& value) override
    {
        const bool written = m_store.RegValueWrite(name, value);
        m_store.sync();
        return written;
    }
    void RegKeyCreate() override { m_store.RegKeyCreate(); }
    void sync() override { m_store.sync(); }

private:
    QSettingsStore m_store;
};

// One store for the whole test program.
inline SyncedStore& TestSettings()
{
    static SyncedStore store;
    return store;
}

} // namespace vk::testsupport
