#include "base/settingsstore.h"

#include "base/numbers.h"

namespace vk {

bool SettingsStore::RegValueWrite(const QString& name, int value)
{
    return RegValueWrite(name, QString::number(value));
}

QString SettingsStore::RegValueClean(const QString& text)
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

int SettingsStore::readInt(const QString& name, int fallback, bool* ok)
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

QString SettingsStore::readText(const QString& name)
{
    QString text;
    RegValueRead(name, text);
    return RegValueClean(text);
}

} // namespace vk
