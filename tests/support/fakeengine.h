#pragma once
// A scripted media player for tests: it records every call as text ("Pause(1234,0)")
// and answers from fields the test sets. Play and Pause move its position and state
// like a real player; `clock` advances the position of a running player.

#include "media/mediaplayerengine.h"

#include <QSet>
#include <QStringList>

namespace vk {

class FakeEngine final : public MediaPlayerEngine {
public:
    // Answers.
    int openResult = 0;
    int mediaInfoResult = 0;
    MediaInfo info;
    int state = 0;
    int position = 0;
    QSet<QString> failing; // method names that throw EngineError

    // What was asked.
    QStringList calls;
    QString openedPath;
    QObject* videoWindow = nullptr;
    int volume = 0;
    int ratePercent = 100;

    // Advances a running player by ms (at its speed).
    void clock(int ms);
    // Calls whose text starts with prefix.
    QStringList callsStartingWith(const QString& prefix) const;
    void clearCalls() { calls.clear(); }

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
    int GetMediaInfo(MediaInfo& out) override;
    void SetOption(const QString& name, int value) override;
    void Command(const QString& action, int value, const QString& text, int& outValue, QString& outText) override;
    using MediaPlayerEngine::Command;

private:
    void record(const QString& name, const QString& call);
};

} // namespace vk
