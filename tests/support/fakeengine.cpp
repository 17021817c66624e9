#include "tests/support/fakeengine.h"

namespace vk {

void FakeEngine::record(const QString& name, const QString& call)
{
    calls << call;
    if (failing.contains(name))
        throw EngineError("scripted failure");
}

void FakeEngine::clock(int ms)
{
    if (state == Running)
        position += ms * ratePercent / 100;
}

QStringList FakeEngine::callsStartingWith(const QString& prefix) const
{
    QStringList out;
    for (const auto& c : calls)
        if (c.startsWith(prefix))
            out << c;
    return out;
}

void FakeEngine::Close()
{
    record(QStringLiteral("Close"), QStringLiteral("Close"));
    state = 0;
}

void FakeEngine::Stop()
{
    record(QStringLiteral("Stop"), QStringLiteral("Stop"));
    state = 0;
}

void FakeEngine::Pause(int positionMsec, int reserved)
{
    record(QStringLiteral("Pause"), QStringLiteral("Pause(%1,%2)").arg(positionMsec).arg(reserved));
    if (positionMsec >= 0)
        position = positionMsec;
    state = Paused;
}

void FakeEngine::SetVideoWindow(QObject* window)
{
    record(QStringLiteral("SetVideoWindow"), QStringLiteral("SetVideoWindow"));
    videoWindow = window;
}

int FakeEngine::Open(const QString& path)
{
    record(QStringLiteral("Open"), QStringLiteral("Open(%1)").arg(path));
    openedPath = path;
    return openResult;
}

void FakeEngine::Play(int positionMsec)
{
    record(QStringLiteral("Play"), QStringLiteral("Play(%1)").arg(positionMsec));
    position = positionMsec;
    state = Running;
}

int FakeEngine::GetPosition()
{
    record(QStringLiteral("GetPosition"), QStringLiteral("GetPosition"));
    return position;
}

void FakeEngine::Initialize(int a, int b, int c, const QString& d)
{
    record(QStringLiteral("Initialize"), QStringLiteral("Initialize(%1,%2,%3,%4)").arg(a).arg(b).arg(c).arg(d));
}

void FakeEngine::SetVolume(int level)
{
    record(QStringLiteral("SetVolume"), QStringLiteral("SetVolume(%1)").arg(level));
    volume = level;
}

int FakeEngine::GetState()
{
    record(QStringLiteral("GetState"), QStringLiteral("GetState"));
    return state;
}

int FakeEngine::GetMediaInfo(MediaInfo& out)
{
    record(QStringLiteral("GetMediaInfo"), QStringLiteral("GetMediaInfo"));
    out = info;
    return mediaInfoResult;
}

void FakeEngine::SetOption(const QString& name, int value)
{
    record(QStringLiteral("SetOption"), QStringLiteral("SetOption(%1,%2)").arg(name).arg(value));
}

void FakeEngine::Command(const QString& action, int value, const QString& text, int& outValue, QString& outText)
{
    record(QStringLiteral("Command"), QStringLiteral("Command(%1,%2,%3)").arg(action).arg(value).arg(text));
    if (action == QStringLiteral("set_rate_percent"))
        ratePercent = value;
    outValue = 0;
    outText.clear();
}

} // namespace vk
