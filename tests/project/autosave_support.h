#pragma once
// Shared by the autosave tests and the helper program they kill: a settings store in
// memory, the edit the helper makes, and a dump of every cell of the row table.

#include "base/settingsstore.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"
#include "timeline/rowtable.h"

#include <QMap>
#include <QStringList>

namespace vk::test {

class MemorySettings final : public SettingsStore {
public:
    QMap<QString, QString> values;
    bool RegValueRead(const QString& name, QString& text) override
    {
        text = values.value(name);
        return values.contains(name);
    }
    bool RegValueWrite(const QString& name, const QString& value) override
    {
        values.insert(name, value);
        return true;
    }
    void RegKeyCreate() override {}
    void sync() override {}
};

// The edit of the helper: a transition into row 3 and a new last row with a video
// range, the way the commands leave the cells.
inline void MakeTestEdit(Editor& editor)
{
    RowTable& g = editor.Grid();
    g.setEffect(3, QStringLiteral("ﾜｲﾌﾟ"));
    g.setEffectLength(3, 700);
    const int row = g.Rows();
    g.setRows(row + 1);
    g.setSectionStart(row, 3000, editor.sndFrameInterval());
    editor.RowRefresh(-1);
    editor.setModified(true);
}

// Every cell, row by row, tab-separated: two tables are the same when their dumps are.
inline QStringList DumpRows(const Editor& editor)
{
    const RowTable& g = editor.Grid();
    QStringList rows;
    for (int r = 0; r < g.Rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < g.Cols(); ++c)
            cells << CellText(g, r, c, editor.sndFrameInterval(), editor.sndLength());
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows;
}

} // namespace vk::test
