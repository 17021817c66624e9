#pragma once
// The editor's media player on libmpv; GetMediaInfo reads the container directly.
//
// Each instance owns one player. All calls are made from the user-interface thread;
// the player's events are taken both from the Qt event loop and at the start of every
// call, so GetPosition called inside a key handler is current.
//
// Position while running is kept by a PlayClock from the player's reports, carried
// forward by the monotonic clock times the speed, so that a tap lands where the music
// is (within a few ms) rather than where the last report was (up to a frame behind);
// it never goes back while running. While paused it is the position asked for,
// exactly, and the picture is the frame shown at that position while playing (the
// frame whose time is at or before it).
//
// Files open paused at 0. Stop pauses and keeps the file; Close releases it.
//
// Environment (read when an instance is created):
//   VK_MPV_AO  audio output driver(s) for the player, e.g. "null" for headless tests.
//              Default: the system's output, falling back to silence when there is none.
//   VK_MPV_VO  "null" (or any driver name): never draw into a video widget and use this
//              output instead; default: draw into the widget given to SetVideoWindow,
//              no picture at all without one.

#include "media/mediaplayerengine.h"

#include <memory>

class QImage;

namespace vk {

// The running position between the player's reports. Times are seconds of a
// monotonic clock, given by the caller, so the rules below run on any clock.
//
// The player's reports reach us late, by however long the user-interface thread took
// to take them: a report is never ahead of the music, only behind it by that delay.
// So a report that is behind the running estimate is stale and does not pull the
// estimate back (beyond what follows a clock drifting apart from the player's); a
// report ahead of it is taken as the new base. A report ahead of where the clock
// since the start allows (a video puts its next picture up as soon as it starts) is
// held to that. The first report only starts the answer running from the start. The
// answer never goes backwards while running; when the music falls far behind (a
// stall), the answer waits for it.
class PlayClock {
public:
    // Paused, or stopped at `pos`: the answer is `pos`.
    void hold(double pos);
    // Running from `pos` at `speed` since `now`. The answer stays at `pos` until the
    // first report (the sound takes a moment to start), and runs on from there.
    void start(double pos, double now, double speed);
    void report(double value, double now);
    // The position at `now`; while running, never less than an earlier answer.
    double at(double now);
    // Running with reports.
    bool following() const { return m_running && m_haveBase; }
    bool running() const { return m_running; }

    // A report this far behind the estimate means the music really fell behind.
    static constexpr double kStall = 0.08;
    // How fast (seconds per second) stale reports may draw the estimate back: the
    // most two clocks drift apart.
    static constexpr double kDriftRate = 0.002;
    // Room over the clock since the start for a player's clock that runs fast.
    static constexpr double kAheadRate = 0.002;

private:
    double raw(double now) const;

    bool m_running = false;
    bool m_haveBase = false;
    double m_speed = 1.0;
    double m_startPos = 0.0;
    double m_startTime = 0.0;
    double m_base = 0.0;
    double m_baseTime = 0.0;
    double m_rate = 0.0;   // speed while following, 0 while waiting for the music
    double m_floor = 0.0;  // the largest answer given since the start
};

class MpvEngine final : public MediaPlayerEngine {
public:
    // Throws EngineError when the player cannot be created.
    MpvEngine();
    ~MpvEngine() override;
    MpvEngine(const MpvEngine&) = delete;
    MpvEngine& operator=(const MpvEngine&) = delete;

    void Close() override;
    void Stop() override;
    void Pause(int positionMsec, int reserved) override;
    // Accepts a VideoWidget (anything else, or null, draws nowhere). Set it before
    // Open; a widget that gets its GL context only later (first shown later) starts
    // showing the picture from then on.
    void SetVideoWindow(QObject* window) override;
    int Open(const QString& path) override;
    void Play(int positionMsec) override;
    int GetPosition() override;
    void Initialize(int a, int b, int c, const QString& d) override;
    void SetVolume(int level) override;
    int GetState() override;
    int GetMediaInfo(MediaInfo& info) override;
    void SetOption(const QString& name, int value) override;
    void Command(const QString& action, int value, const QString& text, int& outValue,
                 QString& outText) override;
    using MediaPlayerEngine::Command;

    // The open file, empty when none.
    QString currentPath() const;

    // The picture the player holds now, as it would be drawn (null when there is
    // none), and whether it is settled: paused with no seek under way, so the picture
    // no longer changes.
    QImage currentPicture();
    bool pictureSettled();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vk
