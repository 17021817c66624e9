#pragma once
// The video panel's player with viewing copies: a MediaPlayerEngine that plays the
// ready viewing copy (proxy) of a file in place of the file itself, through the player
// it is given, and asks the cache for a copy of every file opened without one.
//
// Positions are the original's, since the copy holds every frame at the original's
// time; GetMediaInfo gives the original's facts (size, length, frame interval), so what
// the panel shows and registers is the original's. A copy that becomes ready while its
// original is open is taken at the next paused seek, at the position asked for; a copy
// that does not open leaves the original playing. Nothing else of the player changes
// (volume, speed and the video window are the player's own).
//
// A row selection loads its file again (Close, then Open): when the same ready copy
// would be opened again, the copy stays open and is only sent back to its start, which
// is all a new opening would give, without the player's file loading. The Close is
// carried out by the next call that is not such an Open.

#include "media/mediaplayerengine.h"

#include <QString>

namespace vk {

class ProxyCache;

class ProxyPlayer final : public MediaPlayerEngine {
public:
    ProxyPlayer(MediaPlayerEngine& player, ProxyCache& cache);

    // The original the panel opened, and whether its copy is what plays.
    const QString& original() const { return m_original; }
    bool showingCopy() const { return m_onCopy; }
    MediaPlayerEngine& player() { return m_player; }

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
    // Opens the ready copy of the open original in place of it; false (the original
    // open again) when there is none or it does not open.
    bool takeCopy();
    // Carries out a Close that was held back for a reopening of the same copy.
    void closeNow();

    MediaPlayerEngine& m_player;
    ProxyCache& m_cache;
    QString m_original;
    bool m_onCopy = false;
    MediaInfo m_info;   // the original's, while the copy plays
    int m_madeSeen = 0; // the cache's count of copies made when the original was last looked up
    QString m_copyPath; // the copy open, while it plays
    bool m_closePending = false;
};

} // namespace vk
