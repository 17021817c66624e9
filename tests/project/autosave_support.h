#pragma once
// Shared by the autosave tests and the helper program they kill: a settings store in
// memory, the edit the helper makes, and a dump of every cell of the row table.

#include "base/settingsstore.h"
#include "base/timetext.h"
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
    g.setText(3, Col::Effect, QStringLiteral("ﾜｲﾌﾟ"));
    g.setText(3, Col::TransMsec, QStringLiteral("700"));
    const int row = g.Rows();
    g.setRows(row + 1);
    g.setText(row, Col::SectionText, MsecToTimeText(3000, editor.sndFrameInterval()));
    g.setText(row, Col::SectionMsec, QStringLiteral("3000"));
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
            cells << g.text(r, c);
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows;
}

} // namespace vk::test
