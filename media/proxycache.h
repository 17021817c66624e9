#pragma once
// The viewing copies (proxies) of the video files the panel loads, kept in a folder of
// the user's cache with a size limit, and made one at a time on a worker thread of the
// lowest priority.
//
// A copy is known by its original as it is on disk (a SHA-1 of its size, its modification
// time and its first and last mebibyte), so a file moved or renamed keeps its copy, and
// two files alike in those mebibytes but written at different times each have their own
// (two editors loading them kept replacing one copy). Beside each copy a
// small record holds the original's size and modification time when the copy was made,
// and its media facts: a copy whose original has changed on disk since is never given
// out (it is made again on request). The copies used last stay: when the folder grows
// past the limit, the copies used longest ago go first.
//
// A copy that cannot be made (the original cannot be decoded past some point, its codec
// is unknown) is not asked for again in this run; one that failed for the folder (full,
// read-only) is tried again at the next request. Either way copyFailed carries a note for
// the status line, and the panel keeps showing the original.
//
// No widgets: the maker is passed in (the application gives the one on the media
// libraries, tests give fakes).

#include "media/mediaplayerengine.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace vk {

class ProxyMaker;

class ProxyCache final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyCache)

public:
    struct Copy {
        QString path;
        MediaInfo original; // the original's facts: what the panel shows and registers
    };

    // 5 GB, the limit when the settings store gives none.
    static constexpr qint64 kDefaultLimitBytes = 5LL * 1024 * 1024 * 1024;
    // The settings store's name for the limit, in megabytes.
    static QString limitSettingName();
    // "proxies" in the user's cache folder.
    static QString defaultFolder();

    // Idle: the worker gets only time no other thread wants (the editor). Normal: as
    // any thread of the program (the benchmark, which times the making).
    enum class Priority { Idle, Normal };

    ProxyCache(const QString& folder, qint64 limitBytes, ProxyMaker& maker, Priority priority = Priority::Idle,
               QObject* parent = nullptr);
    // Stops the copy being made (its part file is removed) and waits for the worker.
    ~ProxyCache() override;

    const QString& folder() const { return m_folder; }
    qint64 limitBytes() const { return m_limit; }

    // The ready copy of `original`, made from the file as it is on disk now; nothing
    // while there is none. Marks the copy as used now.
    std::optional<Copy> readyCopy(const QString& original);
    // Queues the making of the copy of `original`, unless it is ready, queued, being
    // made, or failed before in this run. True when it is ready already.
    bool request(const QString& original);
    // While set (the sound clip plays), the making waits.
    void setPaused(bool paused);
    bool paused() const;
    // True while a copy is queued or being made.
    bool busy() const;
    // How many copies have been made in this run.
    int madeCount() const { return m_made.load(); }

    // The key of a file as it is on disk: its size, its modification time and the
    // content of its first and last blocks. Empty when it cannot be read.
    static QString fileKey(const QString& path);

signals:
    void progress(const QString& original, double fraction);
    void copyReady(const QString& original);
    // `note` is for the status line: which file and why it is shown from the original.
    void copyFailed(const QString& original, const QString& note);

private:
    struct Job {
        QString original;
        QString key;
    };
    void run(Priority priority);
    void makeOne(const Job& job);
    void trim();
    // The folder can be written and has room for a copy.
    bool folderHasRoom() const;
    QString copyPath(const QString& key) const;
    QString recordPath(const QString& key) const;
    QString lockPath(const QString& key) const;
    QString partPath(const QString& key) const;

    const QString m_folder;
    const qint64 m_limit;
    ProxyMaker& m_maker;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    std::set<QString> m_wanted; // keys queued or being made
    std::set<QString> m_failed; // keys whose copy could not be made in this run
    bool m_busy = false;
    bool m_paused = false;
    bool m_stop = false;
    std::atomic<int> m_made{0};
    std::thread m_worker;
};

} // namespace vk
