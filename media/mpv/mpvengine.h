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
// The player itself (its threads, and the media libraries on the first one) is started
// by the first Open that names an existing file; until then the calls answer as with no
// file open, and the volume, speed and video widget given are kept for it.
//
// Environment (read when an instance is created):
//   VK_MPV_AO  audio output driver(s) for the player, e.g. "null" for headless tests.
//              Default: the system's output, falling back to silence when there is none.
//   VK_MPV_VO  "null" (or any driver name): never draw into a video widget and use this
//              output instead; default: draw into the widget given to SetVideoWindow,
//              no picture at all without one.

#include "media/mediaplayerengine.h"
#include "media/mpv/playclock.h"

#include <memory>

class QImage;

namespace vk {

class MpvEngine final : public MediaPlayerEngine {
public:
    // Open throws EngineError when the player cannot be started.
    MpvEngine();
    ~MpvEngine() override;
    MpvEngine(const MpvEngine&) = delete;
    MpvEngine& operator=(const MpvEngine&) = delete;

    void Close() override;
    void Stop() override;
    void Pause(int positionMsec, int reserved) override;
    // Accepts a VideoWidget (anything else, or null, draws nowhere). Set it before
    // Open; a hidden widget takes the pictures without showing them.
    void SetVideoWindow(QObject* window) override;
    int Open(const QString& path) override;
    void Play(int positionMsec) override;
    int GetPosition() override;
    void Initialize(int a, int b, int c, const QString& d) override;
    void SetVolume(int level) override;
    int GetState() override;
    int GetMediaInfo(MediaInfo& info) override;
    void SetOption(const QString& name, int value) override;
    void Command(const QString& action, int value, const QString& text, int& outValue, QString& outText) override;
    using MediaPlayerEngine::Command;

    // The open file, empty when none.
    QString currentPath() const;
    // True once the player has been started (see above).
    bool started() const;

    // The picture the player holds now, as it would be drawn (null when there is
    // none), and whether it is settled: paused with no seek under way, so the picture
    // no longer changes.
    QImage currentPicture();
    bool pictureSettled();

    // Frames the player has dropped in this file so far, by its own count (late for the
    // screen, or skipped by the decoder to catch up); 0 with no file open.
    long long droppedFrames();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vk
