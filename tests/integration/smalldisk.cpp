#include "tests/integration/smalldisk.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vk::test {

namespace {

const QString kFiller = QStringLiteral(".filler");

bool g_mounts = false;
QString g_why = QStringLiteral("the test program did not try to unshare its mount namespace");

bool writeText(const char* path, const QByteArray& text)
{
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return ok;
}

} // namespace

bool EnterOwnMountNamespace(QString& why)
{
    if (::unshare(CLONE_NEWNS) != 0) {
        // Not root: a user namespace of our own, in which we are root over our mounts.
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            why = QStringLiteral("unshare of the mount namespace refused: ") + QString::fromLocal8Bit(strerror(errno));
            g_why = why;
            return false;
        }
        writeText("/proc/self/setgroups", "deny");
        if (!writeText("/proc/self/uid_map", QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1") ||
            !writeText("/proc/self/gid_map", QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1")) {
            why = QStringLiteral("the user namespace's id maps could not be written");
            g_why = why;
            return false;
        }
    }
    // Nothing mounted here reaches the rest of the machine.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = QStringLiteral("mounts could not be made private: ") + QString::fromLocal8Bit(strerror(errno));
        g_why = why;
        return false;
    }
    g_mounts = true;
    g_why.clear();
    return true;
}

bool MountsAvailable(QString* why)
{
    if (why)
        *why = g_why;
    return g_mounts;
}

SmallDisk::SmallDisk(qint64 bytes)
{
    if (!m_parent.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    m_path = m_parent.filePath(QStringLiteral("disk"));
    QDir().mkpath(m_path);
    if (!MountsAvailable(&m_error))
        return;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) !=
        0) {
        m_error = QStringLiteral("mount of a tmpfs refused: ") + QString::fromLocal8Bit(strerror(errno));
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

bool SmallDisk::fill(qint64 leave)
{
    QFile filler(filePath(kFiller));
    if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
        return false;
    QByteArray block(4096, 'x');
    while (freeBytes() >= leave && block.size() > 0) {
        if (filler.write(block) != block.size())
            block.truncate(block.size() / 2); // the last pages, in smaller pieces
    }
    return freeBytes() < qMax<qint64>(leave, 1);
}

void SmallDisk::makeRoom()
{
    QFile::remove(filePath(kFiller));
}

bool SmallDisk::setReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    return ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", flags, nullptr) == 0;
}

qint64 SmallDisk::freeBytes() const
{
    struct statvfs s {};
    if (::statvfs(QFile::encodeName(m_path).constData(), &s) != 0)
        return -1;
    return qint64(s.f_bavail) * qint64(s.f_frsize);
}

QStringList SmallDisk::entries() const
{
    QStringList names =
        QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(kFiller);
    return names;
}

} // namespace vk::test
