#pragma once
// The media player used for every playback and media inspection of the editor: the
// sound player, the video player and the beep player are three instances of it.
//
// Positions and durations are whole milliseconds. Results follow the player's
// long-standing contract: Open gives -1 when the file cannot be opened, GetState gives
// 1 while paused and 2 while running, Pause(-1, 0) pauses where the player is,
// GetMediaInfo gives -1 when it knows nothing of the file. A call that fails throws
// EngineError; callers treat it as a failure of the command they run.

#include "base/engineerror.h"

#include <QString>

class QObject;

namespace vk {

// The ten outputs of GetMediaInfo; the editor reads durationMsec, width, height and
// secondsPerFrame.
struct MediaInfo {
    QString text;
    int value2 = 0;
    int durationMsec = 0; // 0 for a still image
    int width = 0;        // 0 when the file has no picture
    int height = 0;
    int value6 = 0;
    double secondsPerFrame = 0.0; // 0 when the file gives none
    int value8 = 0;
    int value9 = 0;
    int value10 = 0;
};

class MediaPlayerEngine {
public:
    enum State { Paused = 1, Running = 2 };

    virtual ~MediaPlayerEngine() = default;

    virtual void Close() = 0;
    virtual void Stop() = 0;
    virtual void Pause(int positionMsec, int reserved) = 0;
    // Pictures are drawn into this window (a video widget of the media library); null
    // draws nowhere.
    virtual void SetVideoWindow(QObject* window) = 0;
    virtual int Open(const QString& path) = 0;
    virtual void Play(int positionMsec) = 0;
    virtual int GetPosition() = 0;
    virtual void Initialize(int a, int b, int c, const QString& d) = 0;
    // 0 is full volume, -10000 is silent.
    virtual void SetVolume(int level) = 0;
    virtual int GetState() = 0;
    virtual int GetMediaInfo(MediaInfo& info) = 0;
    virtual void SetOption(const QString& name, int value) = 0;
    // "set_rate_percent" with value = speed x 100.
    virtual void Command(const QString& action, int value, const QString& text, int& outValue, QString& outText) = 0;

    // Convenience for the callers that ignore the outputs of Command.
    void Command(const QString& action, int value, const QString& text)
    {
        int v = 0;
        QString t;
        Command(action, value, text, v, t);
    }
};

} // namespace vk
