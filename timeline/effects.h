#pragma once
// The transition effects a row can carry, and the rules of the effect dialog without
// its widgets: what it shows when it opens for a row, and what its "更新" button
// writes. The dialog itself only shows these values and passes the user's choice back,
// so every rule can be checked without a display.
//
// A row's effect is its effect name (empty for none) and its duration in ms (none
// possible). The dialog offers eleven entries, "なし"
// first; a row may carry another name from a project file, which the dialog shows
// with no entry chosen. The last duration confirmed with a non-empty box is
// remembered in the setting "transDur" (of the settings store the caller passes) and
// offered for rows without a duration.
// The update neither takes an undo snapshot nor sets the modified flag.

#include <QString>
#include <QStringList>

namespace vk {

class Editor;
class RowTable;
class SettingsStore;

class Effects final {
public:
    // The dialog's list, in order: index 0 "なし" (no effect), then the ten effects.
    static const QStringList& names();

    // The duration box for a row: its own duration when it has one; otherwise the
    // remembered "transDur" rounded to whole ms; "1500" when nothing usable is
    // remembered.
    static QString loadDuration(SettingsStore& settings, const RowTable& grid, int row);
    // The list index for a row: 0 when it has no effect, the first entry from index 1
    // on with exactly its name, or -1 when no entry has it.
    static int loadIndex(const RowTable& grid, int row);

    // "更新": a duration that is not a whole number of ms from 0 on (an empty box
    // means none) is refused with a message, nothing changes and the result is false.
    // Otherwise an effect (any index but 0, -1 included, whose name is empty) goes
    // into the row with the duration and becomes the last effect name; "なし" empties
    // the effect and keeps the row's duration. A non-empty box is remembered as
    // "transDur". A row that no longer exists is left alone.
    static bool update(Editor& editor, SettingsStore& settings, int row, int index, const QString& duration);

    // The duration used when neither the row nor the settings give one.
    static QString defaultDuration() { return QStringLiteral("1500"); }
};

} // namespace vk
