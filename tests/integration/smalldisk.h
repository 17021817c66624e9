#pragma once
// Small file systems for the hostile-condition tests: a tmpfs of a few kilobytes that
// fills up for real (write() fails with ENOSPC, as on a full disk), and that can be made
// read-only by a remount, which holds even for root (permission bits do not).
//
// The test program moves itself into a mount namespace of its own before anything else
// (EnterOwnMountNamespace, from main), so its mounts are private to it and to the
// programs it starts, and vanish with it even when it is killed.

#include <QString>
#include <QTemporaryDir>

namespace vk::test {

// Unshares the mount namespace (as root, or as an ordinary user through a user
// namespace). False, with the reason, when neither is allowed.
bool EnterOwnMountNamespace(QString& why);
// Whether EnterOwnMountNamespace succeeded; the reason when not.
bool MountsAvailable(QString* why = nullptr);

class SmallDisk final {
public:
    // A tmpfs of `bytes` (rounded up to pages) on a fresh folder.
    explicit SmallDisk(qint64 bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool ok() const { return m_mounted; }
    const QString& error() const { return m_error; }
    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const { return m_path + QLatin1Char('/') + name; }

    // Fills the file system with a filler file until fewer than `leave` bytes are free.
    bool fill(qint64 leave = 0);
    // Removes the filler: there is room again.
    void makeRoom();
    bool setReadOnly(bool readOnly);
    qint64 freeBytes() const;
    // The names in the folder, the filler left out.
    QStringList entries() const;

private:
    QTemporaryDir m_parent;
    QString m_path;
    QString m_error;
    bool m_mounted = false;
};

} // namespace vk::test
