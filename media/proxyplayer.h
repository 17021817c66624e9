#pragma once
// The video panel's player with viewing copies: a MediaPlayerEngine that plays the
// ready viewing copy (proxy) of a file in place of the file itself, through the players
// it is given, and asks the cache for a copy of every file opened without one.
//
// Positions are the original's, since the copy holds every frame at the original's
// time; GetMediaInfo gives the original's facts (size, length, frame interval), so what
// the panel shows and registers is the original's. Nothing else of the player changes
// (volume, speed and the video window follow it to whichever player is in front).
//
// Two players take turns. The one in front plays what the panel loaded; when the copy
// of the original in front becomes ready, the other opens it beside the original at
// once, and the two change places as soon as the one in front is paused (straight away
// when it already is, or once the play stops): the player behind goes to the position
// of the one in front and takes the video window, and the original is closed. So no
// step, click or row selection pays for opening the copy. A copy that does not open
// leaves the original playing.
//
// A row selection loads its file again (Close, then Open): when the same ready copy
// would be opened again, the copy stays open and is only sent back to its start, which
// is all a new opening would give, without the player's file loading. The Close is
// carried out by the next call that is not such an Open.

#include "media/mediaplayerengine.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace vk {

class ProxyCache;

class ProxyPlayer final : public MediaPlayerEngine {
public:
    // `first` starts in front; `second` opens the copies beside it. Both are the
    // caller's and outlive the player.
    ProxyPlayer(MediaPlayerEngine& first, MediaPlayerEngine& second, ProxyCache& cache);
    ~ProxyPlayer() override;
    ProxyPlayer(const ProxyPlayer&) = delete;
    ProxyPlayer& operator=(const ProxyPlayer&) = delete;

    // The original the panel opened, and whether its copy is what plays.
    const QString& original() const { return m_original; }
    bool showingCopy() const { return m_onCopy; }
    // The player in front, which the panel's calls reach.
    MediaPlayerEngine& player() { return *m_front; }
    // True while the copy is open behind the original, waiting for a pause to change places.
    bool copyWaiting() const { return !m_staged.isEmpty(); }

    void Close() override;
    void Stop() override;
    void Pause(int positionMsec, int reserved) override;
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

private:
    // A copy became ready: when it is the original's in front, the player behind opens it.
    void openCopyBehind();
    // The player behind, holding the copy, takes the front's place (only while paused).
    void changePlaces();
    // Once the current event is handled: change places if the front is paused by then.
    void changePlacesSoon();
    // The player behind lets go of a copy it holds.
    void dropStaged();
    // Carries out a Close that was held back for a reopening of the same copy.
    void closeNow();

    MediaPlayerEngine* m_front;
    MediaPlayerEngine* m_back;
    ProxyCache& m_cache;
    QString m_original;
    bool m_onCopy = false;
    MediaInfo m_info;   // the original's, while the copy plays or waits behind
    QString m_copyPath; // the copy open in front, while it plays
    QString m_staged;   // the copy open behind, waiting to change places
    bool m_closePending = false;

    // The panel's video window, given to the player that comes to the front.
    QObject* m_window = nullptr;

    QObject m_context; // receives the cache's signals on this thread
    QTimer m_changeTimer;
};

} // namespace vk
