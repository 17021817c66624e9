#pragma once
// Checks at start-up that the media stack can play: the player library can be
// created and started, and the container library is usable.

namespace vk {

// The media stack's version in the form 0xMMmm: 0x800 or more when playback can work
// (0x900 here), 0 when it cannot.
int DirectXProbe();

// DirectXProbe run in a process of its own, forked off at once: the check loads the
// media libraries and starts a player, so this way it runs beside the caller's own
// start-up, and the caller takes on neither those libraries nor a crash in them until
// it plays something itself. Make it while the process has a single thread (before
// the application object), as a fork then copies nothing half-done.
class MediaStackCheck {
public:
    MediaStackCheck();
    ~MediaStackCheck();
    MediaStackCheck(const MediaStackCheck&) = delete;
    MediaStackCheck& operator=(const MediaStackCheck&) = delete;

    // The answer, waiting for it the first time; 0 when the check failed, ended
    // without one or took longer than `timeoutMs` in all. Without a process of its own
    // (fork failed) the check runs here.
    int result(int timeoutMs = 30000);

private:
    void reap(bool kill);

    int m_pid = -1;
    int m_fd = -1;
    bool m_done = false;
    int m_result = 0;
};

} // namespace vk
