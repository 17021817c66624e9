#pragma once
// Checks at start-up that the media stack can play: the player library can be
// created and started, and the container library is usable.

#include <QByteArray>
#include <QString>

namespace vk {

// The media stack's version in the form 0xMMmm: 0x800 or more when playback can work
// (0x900 here), 0 when it cannot.
int DirectXProbe();

// What DirectXProbe's answer depends on: the files of the player and container
// libraries, this program's own file and, where there is one, the package database
// (any install or removal touches it). Empty when a library file is not where the
// build found it: the answer then cannot be kept.
QByteArray MediaStackStamp();

// DirectXProbe run in a process of its own, forked off at once: the check loads the
// media libraries and starts a player, so this way it runs beside the caller's own
// start-up, and the caller takes on neither those libraries nor a crash in them until
// it plays something itself. Make it while the process has a single thread (before
// the application object), as a fork then copies nothing half-done.
//
// With a `cacheFile`, a good answer (0x800 or more) is kept there with the stamp of
// the media stack, and given again without a check while the stamp stays the same.
class MediaStackCheck {
public:
    explicit MediaStackCheck(const QString& cacheFile = QString());
    ~MediaStackCheck();
    MediaStackCheck(const MediaStackCheck&) = delete;
    MediaStackCheck& operator=(const MediaStackCheck&) = delete;

    // The answer, waiting for it the first time; 0 when the check failed, ended
    // without one or took longer than `timeoutMs` in all. Without a process of its own
    // (fork failed) the check runs here.
    int result(int timeoutMs = 30000);

private:
    void reap(bool kill);
    void keep() const;

    QString m_cacheFile;
    QByteArray m_stamp;
    int m_pid = -1;
    int m_fd = -1;
    bool m_done = false;
    int m_result = 0;
};

} // namespace vk
