#include "app/qsettingsstore.h"

#include <QSettings>

namespace vk {

namespace {
QString key(const QString& name)
{
    return QStringLiteral("param/") + name;
}
} // namespace

QSettingsStore::QSettingsStore()
    : m_settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
{
}

QSettingsStore::~QSettingsStore() = default;

QSettings& QSettingsStore::store()
{
    return m_settings;
}

bool QSettingsStore::RegValueRead(const QString& name, QString& text)
{
    QSettings& s = store();
    s.sync();
    const QVariant v = s.value(key(name));
    if (!v.isValid()) {
        text.clear();
        return false;
    }
    text = v.toString();
    // A stored NUL ends the text, as it would in a C string.
    const int nul = int(text.indexOf(QChar(0)));
    if (nul >= 0)
        text.truncate(nul);
    return true;
}

bool QSettingsStore::RegValueWrite(const QString& name, const QString& value)
{
    RegKeyCreate();
    store().setValue(key(name), value);
    return true;
}

void QSettingsStore::RegKeyCreate()
{
    // The INI group exists as soon as a value is written into it.
}

void QSettingsStore::sync()
{
    store().sync();
}

} // namespace vk
