#include "media/proxycache.h"

#include "base/filekey.h"
#include "media/proxymaker.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStorageInfo>

#include <QCoreApplication>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace vk {

namespace {

constexpr qint64 kKeyBlock = 1024 * 1024;

QString failureNote(const QString& original, const QString& reason)
{
    return QStringLiteral("表示用コピーを作れないため元の映像で表示します: %1 (%2)")
        .arg(QFileInfo(original).fileName(), reason);
}

// The original as the record knows it: a copy is current while these match.
QJsonObject originalStamp(const QFileInfo& fi)
{
    QJsonObject o;
    o.insert(QStringLiteral("size"), double(fi.size()));
    o.insert(QStringLiteral("modified"), double(fi.lastModified().toMSecsSinceEpoch()));
    return o;
}

// The lock of one key, shared by every editor using the folder: whoever holds it makes
// the copy (or finds it made), and the others wait. An advisory lock on a file of its
// own, which the system lets go when the holder ends, however it ends.
class KeyLock final {
public:
    explicit KeyLock(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
    }
    ~KeyLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

    bool opened() const { return m_fd >= 0; }
    bool tryLock() { return ::flock(m_fd, LOCK_EX | LOCK_NB) == 0; }

private:
    int m_fd;
};

// Runs the calling thread at the lowest priority there is: only idle time.
void lowerPriority()
{
    sched_param param{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) != 0)
        setpriority(PRIO_PROCESS, 0, 19); // not allowed: the nicest there is
}

} // namespace

QString ProxyCache::limitSettingName()
{
    return QStringLiteral("ProxyCacheLimitMB");
}

QString ProxyCache::defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(QStringLiteral("proxies"));
}

ProxyCache::ProxyCache(const QString& folder, qint64 limitBytes, ProxyMaker& maker, Priority priority, QObject* parent)
    : QObject(parent), m_folder(folder), m_limit(limitBytes), m_maker(maker)
{
    m_worker = std::thread([this, priority] { run(priority); });
}

ProxyCache::~ProxyCache()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_worker.join();
}

QString ProxyCache::fileKey(const QString& path)
{
    // Two files alike in what the key reads (copies of one clip, say) but written at
    // different times each have their copy; with one copy between them, each load of the
    // one replaced the other's.
    return QString::fromLatin1(FileKey(path, {2 * kKeyBlock, 2, kKeyBlock, true}));
}

QString ProxyCache::copyPath(const QString& key) const
{
    return QDir(m_folder).filePath(key + QStringLiteral(".mov"));
}

QString ProxyCache::recordPath(const QString& key) const
{
    return QDir(m_folder).filePath(key + QStringLiteral(".json"));
}

QString ProxyCache::lockPath(const QString& key) const
{
    return QDir(m_folder).filePath(QStringLiteral("locks/") + key);
}

QString ProxyCache::partPath(const QString& key) const
{
    // The process and the cache that write it: no two makings ever share a part file.
    return QDir(m_folder).filePath(QStringLiteral("%1.%2-%3.part.mov")
                                       .arg(key)
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(quintptr(this), 0, 16));
}

std::optional<ProxyCache::Copy> ProxyCache::readyCopy(const QString& original)
{
    const QFileInfo fi(original);
    if (!fi.isFile())
        return std::nullopt;
    const QString key = fileKey(original);
    if (key.isEmpty())
        return std::nullopt;
    const QString path = copyPath(key);
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile recordFile(recordPath(key));
    if (!recordFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject record = QJsonDocument::fromJson(recordFile.readAll()).object();
    // A copy of the file as it was before a change on disk is not this file's.
    if (record.value(QStringLiteral("original")).toObject() != originalStamp(fi))
        return std::nullopt;
    Copy copy;
    copy.path = path;
    copy.original.text = record.value(QStringLiteral("container")).toString();
    copy.original.durationMsec = record.value(QStringLiteral("durationMsec")).toInt();
    copy.original.width = record.value(QStringLiteral("width")).toInt();
    copy.original.height = record.value(QStringLiteral("height")).toInt();
    copy.original.secondsPerFrame = record.value(QStringLiteral("secondsPerFrame")).toDouble();
    if (copy.original.width <= 0 || copy.original.height <= 0 || copy.original.durationMsec <= 0)
        return std::nullopt;
    // Used now: the copies used longest ago go first. A read-only folder keeps the old time.
    QFile touch(path);
    if (touch.open(QIODevice::Append))
        touch.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    return copy;
}

bool ProxyCache::request(const QString& original)
{
    if (readyCopy(original))
        return true;
    const QString key = fileKey(original);
    if (key.isEmpty())
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop || m_wanted.count(key) || m_failed.count(key))
            return false;
        m_wanted.insert(key);
        m_queue.push_back({original, key});
    }
    m_wake.notify_all();
    return false;
}

void ProxyCache::setPaused(bool paused)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paused = paused;
    }
    m_wake.notify_all();
}

bool ProxyCache::paused() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_paused;
}

bool ProxyCache::busy() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_busy || !m_queue.empty();
}

void ProxyCache::run(Priority priority)
{
    if (priority == Priority::Idle)
        lowerPriority();
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            job = m_queue.front();
            m_queue.pop_front();
            m_busy = true;
        }
        makeOne(job);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted.erase(job.key);
        m_busy = false;
    }
}

bool ProxyCache::folderHasRoom() const
{
    // Less than this is a full disk for a copy (a minute of 360p Motion JPEG is tens of
    // megabytes).
    constexpr qint64 kRoom = 16LL * 1024 * 1024;
    const QStorageInfo disk(m_folder);
    return QFileInfo(m_folder).isWritable() && !disk.isReadOnly() && disk.bytesAvailable() >= kRoom;
}

void ProxyCache::makeOne(const Job& job)
{
    // A failure of the file is remembered for the run; one of the folder (full, or
    // not writable) is not: the next request, when there may be room, tries again.
    auto fail = [&](const QString& reason, bool ofTheFile = true) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return; // stopped by the cache's end, not a fault of the file
            if (ofTheFile)
                m_failed.insert(job.key);
        }
        emit copyFailed(job.original, failureNote(job.original, reason));
    };
    const QFileInfo before(job.original);
    if (!QDir().mkpath(m_folder) || !QDir().mkpath(QFileInfo(lockPath(job.key)).path())) {
        fail(QStringLiteral("キャッシュフォルダを作れません: %1").arg(m_folder));
        return;
    }
    // Another editor may be making this copy: wait for it, then take its copy if it made
    // one. The lock is tried again and again rather than waited on, so that the cache's
    // end does not wait for the other editor.
    KeyLock keyLock(lockPath(job.key));
    if (!keyLock.opened()) {
        fail(QStringLiteral("キャッシュフォルダに書き込めません: %1").arg(m_folder), false);
        return;
    }
    while (!keyLock.tryLock()) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_stop; }))
            return;
    }
    if (readyCopy(job.original)) {
        ++m_made;
        emit copyReady(job.original);
        return;
    }
    // Part files of this key are ours alone now: any left are of a making that died.
    const QDir folder(m_folder);
    for (const QString& left : folder.entryList({job.key + QStringLiteral(".*.part.mov")}, QDir::Files))
        QFile::remove(folder.filePath(left));
    const QString part = partPath(job.key);
    MediaInfo info;
    QString error;
    // Told on each whole per cent: the maker reports every packet.
    int told = -1;
    const ProxyMaker::Progress progress = [this, &job, &told](double fraction) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_stop || !m_paused; });
        if (m_stop)
            return false;
        lock.unlock();
        const int percent = int(fraction * 100.0);
        if (percent != told) {
            told = percent;
            emit this->progress(job.original, fraction);
        }
        return true;
    };
    const bool made = m_maker.make(job.original, part, info, progress, error);
    if (!made || info.width <= 0 || info.height <= 0 || info.durationMsec <= 0) {
        // Read while the part file still holds what room there was.
        const bool folderTrouble = !made && !folderHasRoom();
        QFile::remove(part);
        fail(made ? QStringLiteral("動画ではありません") : error, !folderTrouble);
        return;
    }
    QJsonObject record;
    record.insert(QStringLiteral("original"), originalStamp(before));
    record.insert(QStringLiteral("container"), info.text);
    record.insert(QStringLiteral("durationMsec"), info.durationMsec);
    record.insert(QStringLiteral("width"), info.width);
    record.insert(QStringLiteral("height"), info.height);
    record.insert(QStringLiteral("secondsPerFrame"), info.secondsPerFrame);
    QFile::remove(copyPath(job.key));
    QSaveFile out(recordPath(job.key));
    const bool written = out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(record).toJson()) >= 0 &&
                         QFile::rename(part, copyPath(job.key)) && out.commit();
    if (!written) {
        const bool full = out.error() == QFileDevice::ResourceError;
        out.cancelWriting();
        QFile::remove(part);
        QFile::remove(copyPath(job.key));
        QFile::remove(recordPath(job.key));
        fail(full ? QStringLiteral("ディスクの空き容量が足りません: %1").arg(m_folder)
                  : QStringLiteral("キャッシュフォルダに書き込めません: %1").arg(m_folder),
             false);
        return;
    }
    trim();
    if (QFileInfo(copyPath(job.key)).isFile()) {
        ++m_made;
        emit copyReady(job.original);
    } else
        fail(QStringLiteral("キャッシュの上限より大きいコピーです"));
}

void ProxyCache::trim()
{
    QDir dir(m_folder);
    QFileInfoList copies = dir.entryInfoList({QStringLiteral("*.mov")}, QDir::Files);
    copies.erase(std::remove_if(copies.begin(), copies.end(),
                                [](const QFileInfo& f) { return f.fileName().endsWith(QLatin1String(".part.mov")); }),
                 copies.end());
    qint64 total = 0;
    for (const QFileInfo& f : copies)
        total += f.size() + QFileInfo(recordPath(f.completeBaseName())).size();
    std::sort(copies.begin(), copies.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() < b.lastModified(); });
    for (const QFileInfo& f : copies) {
        if (total <= m_limit)
            break;
        const QString record = recordPath(f.completeBaseName());
        total -= f.size() + QFileInfo(record).size();
        QFile::remove(record);
        QFile::remove(f.filePath());
        QFile::remove(lockPath(f.completeBaseName()));
    }
}

} // namespace vk
