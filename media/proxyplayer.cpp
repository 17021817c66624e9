#include "media/proxyplayer.h"

#include "media/proxycache.h"

namespace vk {

ProxyPlayer::ProxyPlayer(MediaPlayerEngine& player, ProxyCache& cache) : m_player(player), m_cache(cache) {}

void ProxyPlayer::Close()
{
    // Only a paused copy is held open: a playing one stops now, as it must.
    if (m_onCopy && !m_closePending && m_player.GetState() == Paused) {
        m_closePending = true;
        return;
    }
    closeNow();
}

void ProxyPlayer::closeNow()
{
    m_closePending = false;
    m_original.clear();
    m_onCopy = false;
    m_copyPath.clear();
    m_player.Close();
}

void ProxyPlayer::Stop()
{
    if (m_closePending)
        closeNow();
    m_player.Stop();
}

bool ProxyPlayer::takeCopy()
{
    const auto copy = m_cache.readyCopy(m_original);
    if (!copy)
        return false;
    if (m_player.Open(copy->path) == -1) {
        // The original again (it opened a moment ago).
        m_player.Open(m_original);
        return false;
    }
    m_info = copy->original;
    m_copyPath = copy->path;
    m_onCopy = true;
    return true;
}

void ProxyPlayer::Pause(int positionMsec, int reserved)
{
    if (m_closePending)
        closeNow();
    if (!m_onCopy && !m_original.isEmpty() && m_cache.madeCount() != m_madeSeen && m_player.GetState() == Paused) {
        m_madeSeen = m_cache.madeCount();
        const int here = positionMsec >= 0 ? positionMsec : m_player.GetPosition();
        if (takeCopy()) {
            m_player.Pause(here, reserved);
            return;
        }
    }
    m_player.Pause(positionMsec, reserved);
}

void ProxyPlayer::SetVideoWindow(QObject* window)
{
    m_player.SetVideoWindow(window);
}

int ProxyPlayer::Open(const QString& path)
{
    const auto copy = m_cache.readyCopy(path);
    if (m_closePending && copy && m_onCopy && copy->path == m_copyPath) {
        // The same copy again: back to its start, paused, as a new opening leaves it.
        m_closePending = false;
        m_player.Pause(0, 0);
        m_original = path;
        m_info = copy->original;
        return 0;
    }
    if (m_closePending)
        closeNow();
    m_original.clear();
    m_onCopy = false;
    m_copyPath.clear();
    m_madeSeen = m_cache.madeCount();
    if (copy) {
        if (m_player.Open(copy->path) != -1) {
            m_original = path;
            m_info = copy->original;
            m_copyPath = copy->path;
            m_onCopy = true;
            return 0;
        }
    }
    const int result = m_player.Open(path);
    if (result == -1)
        return result;
    MediaInfo info;
    // Stills and sound files get no copy.
    if (m_player.GetMediaInfo(info) != -1 && info.durationMsec > 0 && info.width > 0) {
        m_original = path;
        m_cache.request(path);
    }
    return result;
}

void ProxyPlayer::Play(int positionMsec)
{
    if (m_closePending)
        closeNow();
    m_player.Play(positionMsec);
}

int ProxyPlayer::GetPosition()
{
    if (m_closePending)
        closeNow();
    return m_player.GetPosition();
}

void ProxyPlayer::Initialize(int a, int b, int c, const QString& d)
{
    m_player.Initialize(a, b, c, d);
}

void ProxyPlayer::SetVolume(int level)
{
    if (m_closePending)
        closeNow();
    m_player.SetVolume(level);
}

int ProxyPlayer::GetState()
{
    if (m_closePending)
        closeNow();
    return m_player.GetState();
}

int ProxyPlayer::GetMediaInfo(MediaInfo& info)
{
    if (m_closePending)
        closeNow();
    if (!m_onCopy)
        return m_player.GetMediaInfo(info);
    info = m_info;
    return 0;
}

void ProxyPlayer::SetOption(const QString& name, int value)
{
    m_player.SetOption(name, value);
}

void ProxyPlayer::Command(const QString& action, int value, const QString& text, int& outValue, QString& outText)
{
    if (m_closePending)
        closeNow();
    m_player.Command(action, value, text, outValue, outText);
}

} // namespace vk
