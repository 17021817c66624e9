#pragma once
// The inside of MpvEngine, shared by its two source files: mpvengine.cpp holds the
// engine's calls, mpvplayer.cpp the player itself (its events, the position model,
// seeks and drawing into the video widget). Nothing outside media/mpv includes this.

#include "media/mpv/mpvengine.h"

#include "media/mpv/mediainfo.h"
#include "media/mpv/videowidget.h"

#include <QByteArray>
#include <QFileInfo>
#include <QImage>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <mpv/client.h>
#include <mpv/render.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vk::mpvdetail {
using Clock = std::chrono::steady_clock;

inline constexpr int kOpenTimeoutMs = 8000;
// The longest a paused seek waits for the one before it to land.
inline constexpr int kSeekWaitMs = 1000;

// Observed properties, told apart by their reply ids.
enum : uint64_t { kTimePos = 1, kPause = 2, kDuration = 3, kAudioPts = 4 };

inline QByteArray envValue(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QByteArray(v) : QByteArray();
}

inline double seconds(Clock::time_point t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

inline int roundMsec(double seconds)
{
    const double ms = std::nearbyint(seconds * 1000.0);
    if (!(ms >= 0.0))
        return 0;
    return ms > 2147483647.0 ? 2147483647 : int(ms);
}

} // namespace vk::mpvdetail

namespace vk {

using namespace mpvdetail;

struct MpvEngine::Private {
    mpv_handle* mpv = nullptr;
    mpv_render_context* render = nullptr;
    QPointer<VideoWidget> widget;
    QObject context; // owner of the calls queued from the player's threads
    std::atomic<bool> wakeupQueued{false};
    std::atomic<bool> frameQueued{false};
    QImage hiddenCanvas; // takes the pictures while the box is hidden
    QByteArray voOverride;
    QString currentVo;

    // The open file.
    bool open = false;
    QString path;
    MediaInfo info;
    bool infoValid = false;
    bool still = false;
    int64_t entryId = -1;

    // Loading (Open waits for the outcome).
    enum class Load { None, Requested, Started, Loaded, Failed };
    Load load = Load::None;

    // Position model, in seconds.
    bool paused = true;
    double speed = 1.0;
    double volume = 100.0;
    double mpvDuration = 0.0;
    bool hasSound = false;    // the position follows the sound when there is one
    bool seekPending = false; // reports before the seek has landed are stale
    double seekTarget = 0.0;  // the last seek's
    PlayClock clock;
    // The player was sent to the start of the picture's frame rather than to the
    // position itself: playing from the position must go there first.
    bool snapped = false;

    Private();
    ~Private();
    // Starts the player if it is not running yet; throws EngineError when it cannot.
    void start();
    void check(int err, const char* what);
    void setFlag(const char* name, bool value);
    void setDouble(const char* name, double value);
    void setString(const char* name, const QByteArray& value);
    int command(std::initializer_list<const char*> args);

    void onWakeup();
    void processEvents();
    void handleEvent(const mpv_event& ev);
    void onReport(double value);
    void onRestart();
    bool landedAt(double pos) const;

    double durationLimit() const;
    double estimate() { return estimateAt(Clock::now()); }
    double estimateAt(Clock::time_point when);
    void hold(double pos);
    void run(double pos);
    void seek(double seconds);
    double frameStart(double pos) const;
    void showFrameAt(double pos);
    void waitForSeek();
    // A moving picture with a known frame rate.
    bool hasPicture() const { return infoValid && !still && info.width > 0 && info.secondsPerFrame > 0.0; }

    void chooseVideoOutput();
    void startDrawing();
    void paint(QImage& image);
    void stopDrawing();
    void onRenderUpdate();
    void detachWidget();
};

} // namespace vk
