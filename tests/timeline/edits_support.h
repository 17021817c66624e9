#pragma once
// Shared pieces of the clipboard, re-split and effect tests: an editor on scripted
// dialogs, tables of registered rows, and the undo/redo round trip every edit must
// survive.

#include "base/numbers.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace vk {

// Points the settings of this test process at a folder of its own, before anything
// reads them, so a remembered transition duration never reaches the user's settings
// or another test run at the same time.
inline void UseScratchSettings()
{
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}

// Removes the remembered transition duration, as on a first start.
inline void ForgetTransDur()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"));
    store.remove(QStringLiteral("param/transDur"));
    store.sync();
}

// The first cell where two tables differ, as the window shows it, for failure messages
// (the marker aside, as the table's comparison).
inline std::string FirstDifference(const RowTable& a, const RowTable& b)
{
    if (a.Rows() != b.Rows() || a.Cols() != b.Cols())
        return "size " + std::to_string(a.Rows()) + "x" + std::to_string(a.Cols()) + " vs " + std::to_string(b.Rows()) +
               "x" + std::to_string(b.Cols());
    for (int r = 0; r < a.Rows(); ++r) {
        if (a.row(r).sameFields(b.row(r)))
            continue;
        for (int c = 1; c < a.Cols(); ++c) {
            const QString x = CellText(a, r, c, 33, 0);
            const QString y = CellText(b, r, c, 33, 0);
            if (x != y)
                return "cell (" + std::to_string(r) + "," + std::to_string(c) + ") '" + x.toStdString() + "' vs '" +
                       y.toStdString() + "'";
        }
        return "row " + std::to_string(r) + " (a value the text does not show)";
    }
    return "none";
}

inline ::testing::AssertionResult SameTable(const RowTable& a, const RowTable& b)
{
    if (a == b)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "tables differ at " << FirstDifference(a, b);
}

class EditsTest : public ::testing::Test {
protected:
    ScriptedUi ui;
    Editor editor{ui};

    // n sections of `length` ms each, every row registered from its own file
    // "/v/clipR.mp4" with a span of `span` ms starting at R seconds.
    void makeTable(int rows, int length = 1000, int span = 1000)
    {
        std::vector<int> starts;
        for (int r = 0; r < rows; ++r)
            starts.push_back(r * length);
        MakeSections(editor, starts, rows * length);
        for (int r = 1; r <= rows; ++r)
            Register(editor, r, file(r), r * 1000, r * 1000 + span);
        editor.RowRefresh(-1);
    }
    static QString file(int r) { return QStringLiteral("/v/clip%1.mp4").arg(r); }

    const RowTable& grid() const { return editor.Grid(); }
    QString cell(int row, int col) const
    {
        return CellText(editor.Grid(), row, col, editor.sndFrameInterval(), editor.sndLength());
    }

    // Registration columns of a table row, for comparing moved registrations.
    // The speed column shows the setting's kind: the ratio a span shows follows the
    // section the registration is in (and a clipboard row has none).
    QStringList registration(const RowTable& table, int row) const
    {
        QStringList cells;
        for (int c : kRegistrationColumns) {
            if (c == Col::Speed) {
                const SpeedSetting speed = table.speed(row);
                cells << (speed.isNormal() ? QStringLiteral("等速")
                          : speed.isSpan() ? QStringLiteral("span")
                                           : QString());
                continue;
            }
            cells << CellText(table, row, c, 33, editor.sndLength());
        }
        return cells;
    }
    bool isEmptyRegistration(const RowTable& table, int row) const
    {
        for (int c : kRegistrationColumns)
            if (!CellText(table, row, c, 33, editor.sndLength()).isEmpty())
                return false;
        return true;
    }

    // Undo brings back `before`, redo `after`, undo `before` again; the table ends at
    // `after`. Checks the invariants on the way.
    void expectUndoRedo(const RowTable& before, const RowTable& after)
    {
        ASSERT_TRUE(SameTable(editor.Grid(), after));
        editor.history().Undo();
        EXPECT_TRUE(SameTable(editor.Grid(), before)) << "after undo";
        EXPECT_TRUE(TableInvariants(editor));
        editor.history().Redo();
        EXPECT_TRUE(SameTable(editor.Grid(), after)) << "after redo";
        EXPECT_TRUE(TableInvariants(editor));
        editor.history().Undo();
        EXPECT_TRUE(SameTable(editor.Grid(), before)) << "after second undo";
        editor.history().Redo();
        EXPECT_TRUE(SameTable(editor.Grid(), after));
    }
};

} // namespace vk
