#pragma once
// The file a panel plays, watched while it plays: a file deleted or cut short under the
// player is noticed at the next poll and told to the user once. The player itself may
// play on from what it still holds, or stop early at the cut without saying why. It
// also tells whether the file is still as it was when loaded.

#include <QDateTime>
#include <QString>

namespace vk {

class SourceWatch final {
public:
    // Starts watching the file just loaded (its size now is the size to keep); nothing
    // is watched when `path` is not a file.
    void watch(const QString& path);
    void clear();
    // Empty while the file is as it was; otherwise the message for the user (the file
    // on the line above what happened to it), once: later checks are empty until the
    // next watch.
    QString check();
    // True when `path` is the file watched, as it was on disk when the watch began (the
    // same size and modification time).
    bool holdsUnchanged(const QString& path) const;

private:
    QString m_path;
    qint64 m_size = -1;
    QDateTime m_modified;
};

} // namespace vk
