#include "timeline/effects.h"

#include "base/numbers.h"
#include "base/settingsstore.h"
#include "timeline/editor.h"

namespace vk {

namespace {
bool hasRow(const RowTable& grid, int row)
{
    return row >= 1 && row < grid.Rows() && grid.Cols() > Col::TransMsec;
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
    if (hasRow(grid, row) && !grid.text(row, Col::TransMsec).isEmpty())
        return grid.text(row, Col::TransMsec);
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

void Effects::update(Editor& editor, SettingsStore& settings, int row, int index, const QString& duration)
{
    RowTable& grid = editor.Grid();
    const bool rowExists = hasRow(grid, row);
    editor.history().SaveUndoData();
    const RowTable::Cells before = rowExists ? grid.rowCells(row) : RowTable::Cells();
    if (index != 0) {
        const QString name = (index > 0 && index < names().size()) ? names().at(index) : QString();
        editor.setLastEffectName(name);
        if (rowExists) {
            grid.setEffect(row, name);
            // The duration as typed: the box is the dialog's own text.
            grid.setText(row, Col::TransMsec, duration);
        }
    } else if (rowExists) {
        grid.setEffect(row, QString());
    }
    if (!duration.isEmpty())
        settings.RegValueWrite(QStringLiteral("transDur"), duration);
    // A changed effect is unsaved work like any other edit.
    if (rowExists && grid.rowCells(row) != before)
        editor.setModified(true);
    editor.notifyTable();
}

} // namespace vk
