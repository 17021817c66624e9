#include "app/settings.h"

#include "app/helpers.h"

#include <QSettings>

namespace vk {

namespace {
QSettings& store()
{
    static QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"),
                              QStringLiteral("videokadro"));
    return settings;
}

QString key(const QString& name)
{
    return QStringLiteral("param/") + name;
}
} // namespace

bool Settings::RegValueRead(const QString& name, QString& text)
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

bool Settings::RegValueWrite(const QString& name, const QString& value)
{
    RegKeyCreate();
    store().setValue(key(name), value);
    return true;
}

bool Settings::RegValueWrite(const QString& name, int value)
{
    return RegValueWrite(name, QString::number(value));
}

void Settings::RegKeyCreate()
{
    // The INI group exists as soon as a value is written into it.
}

QString Settings::RegValueClean(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0 || u == 10 || u == 13 || u == 32)
            continue;
        out += c;
    }
    return out;
}

int Settings::readInt(const QString& name, int fallback, bool* ok)
{
    if (ok)
        *ok = true;
    QString text;
    RegValueRead(name, text);
    text = RegValueClean(text);
    if (text.isEmpty())
        return fallback;
    int value = 0;
    if (!TryParseInt32(text, value)) {
        if (ok)
            *ok = false;
        return fallback;
    }
    return value;
}

QString Settings::readText(const QString& name)
{
    QString text;
    RegValueRead(name, text);
    return RegValueClean(text);
}

void Settings::sync()
{
    store().sync();
}

} // namespace vk
