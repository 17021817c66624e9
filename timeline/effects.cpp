#include "timeline/effects.h"

#include "base/numbers.h"
#include "base/settingsstore.h"
#include "base/userdialogs.h"
#include "timeline/editor.h"

#include <cmath>
#include <optional>

namespace vk {

namespace {
bool hasRow(const RowTable& grid, int row)
{
    return row >= 1 && row < grid.Rows() && grid.Cols() > Col::TransMsec;
}

// The box as a length: none when empty, a whole number of ms from 0 on, or nothing
// usable (false).
bool readLength(const QString& text, std::optional<double>& length)
{
    length.reset();
    if (text.isEmpty())
        return true;
    double ms = 0;
    try {
        ms = ParseNumber(text);
    } catch (const ConversionError&) {
        return false;
    }
    if (!(ms >= 0) || ms > 2147483647.0 || ms != std::floor(ms))
        return false;
    length = ms;
    return true;
}
} // namespace

const QStringList& Effects::names()
{
    static const QStringList list{
        QStringLiteral("なし"),  QStringLiteral("ﾌｪｰﾄﾞ"),   QStringLiteral("ﾎｲｰﾙ"),   QStringLiteral("ｽﾗｲﾄﾞ"),
        QStringLiteral("ﾜｲﾌﾟ"),  QStringLiteral("ﾋﾟｸｾﾚｰﾄ"), QStringLiteral("ｽﾊﾟｲﾗﾙ"), QStringLiteral("ｼﾞｸﾞｻﾞｸﾞ"),
        QStringLiteral("ﾗｼﾞｱﾙ"), QStringLiteral("ｽﾄﾚｯﾁ"),   QStringLiteral("ﾊﾞｰﾝ"),
    };
    return list;
}

QString Effects::loadDuration(SettingsStore& settings, const RowTable& grid, int row)
{
    if (hasRow(grid, row) && grid.effectLength(row))
        return ShortestDecimal(*grid.effectLength(row));
    QString text;
    settings.RegValueRead(QStringLiteral("transDur"), text);
    text = SettingsStore::RegValueClean(text);
    int msec = 0;
    if (text.isEmpty() || !TryParseInt32(text, msec))
        return defaultDuration();
    return QString::number(msec);
}

int Effects::loadIndex(const RowTable& grid, int row)
{
    if (!hasRow(grid, row))
        return 0;
    const QString& name = grid.effect(row);
    if (name.isEmpty())
        return 0;
    const QStringList& list = names();
    for (int i = 1; i < list.size(); ++i)
        if (list.at(i) == name)
            return i;
    return -1;
}

bool Effects::update(Editor& editor, SettingsStore& settings, int row, int index, const QString& duration)
{
    std::optional<double> length;
    if (!readLength(duration, length)) {
        editor.ui().message(QStringLiteral("映像効果の長さには0以上の整数(msec)を入力してください。"),
                            UserDialogs::Icon::Exclamation);
        return false;
    }
    RowTable& grid = editor.Grid();
    const bool rowExists = hasRow(grid, row);
    editor.history().SaveUndoData();
    const Row before = rowExists ? grid.row(row) : Row();
    if (index != 0) {
        const QString name = (index > 0 && index < names().size()) ? names().at(index) : QString();
        editor.setLastEffectName(name);
        if (rowExists) {
            grid.setEffect(row, name);
            grid.setEffectLength(row, length);
        }
    } else if (rowExists) {
        grid.setEffect(row, QString());
    }
    if (!duration.isEmpty())
        settings.RegValueWrite(QStringLiteral("transDur"), duration);
    // A changed effect is unsaved work like any other edit.
    if (rowExists && !grid.row(row).sameFields(before))
        editor.setModified(true);
    editor.notifyTable();
    return true;
}

} // namespace vk
