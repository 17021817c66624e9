#include "media/proxyplayer.h"

#include "base/logging.h"
#include "media/proxycache.h"

#include <utility>

namespace vk {

ProxyPlayer::ProxyPlayer(MediaPlayerEngine& first, MediaPlayerEngine& second, ProxyCache& cache)
    : m_front(&first), m_back(&second), m_cache(cache)
{
    // The cache tells from its worker thread; the copy is opened here, on this one.
    QObject::connect(&m_cache, &ProxyCache::copyReady, &m_context, [this] { openCopyBehind(); });
    m_changeTimer.setSingleShot(true);
    m_changeTimer.setInterval(0);
    QObject::connect(&m_changeTimer, &QTimer::timeout, &m_context, [this] {
        try {
            if (!m_staged.isEmpty() && !m_closePending && m_front->GetState() == Paused)
                changePlaces();
        } catch (const EngineError& e) {
            // The original stays in front; the copy is tried again at the next load.
            LogPassedOver(lcPlayer, "show the viewing copy", e);
            dropStaged();
        }
    });
}

ProxyPlayer::~ProxyPlayer() = default;

void ProxyPlayer::openCopyBehind()
{
    if (m_onCopy || m_original.isEmpty() || !m_staged.isEmpty() || m_closePending)
        return;
    const auto copy = m_cache.readyCopy(m_original);
    if (!copy)
        return;
    try {
        if (m_back->Open(copy->path) == -1)
            return;
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "open the viewing copy", e);
        return;
    }
    m_staged = copy->path;
    m_info = copy->original;
    changePlacesSoon();
}

void ProxyPlayer::changePlacesSoon()
{
    if (!m_staged.isEmpty())
        m_changeTimer.start();
}

void ProxyPlayer::changePlaces()
{
    // Paused: the position is where the panel is, and stays there.
    const int here = m_front->GetPosition();
    // The window first, so that the seek below draws into it.
    m_front->SetVideoWindow(nullptr);
    m_back->SetVideoWindow(m_window);
    m_back->Pause(here, 0);
    m_front->Close();
    std::swap(m_front, m_back);
    m_copyPath = std::exchange(m_staged, QString());
    m_onCopy = true;
}

void ProxyPlayer::dropStaged()
{
    m_changeTimer.stop();
    if (m_staged.isEmpty())
        return;
    m_staged.clear();
    try {
        m_back->Close();
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "close the viewing copy", e);
    }
}

void ProxyPlayer::Close()
{
    // Only a paused copy is held open: a playing one stops now, as it must.
    if (m_onCopy && !m_closePending && m_front->GetState() == Paused) {
        m_closePending = true;
        return;
    }
    closeNow();
}

void ProxyPlayer::closeNow()
{
    m_closePending = false;
    dropStaged();
    m_original.clear();
    m_onCopy = false;
    m_copyPath.clear();
    m_front->Close();
}

void ProxyPlayer::Stop()
{
    if (m_closePending)
        closeNow();
    m_front->Stop();
    changePlacesSoon();
}

void ProxyPlayer::Pause(int positionMsec, int reserved)
{
    if (m_closePending)
        closeNow();
    m_front->Pause(positionMsec, reserved);
    changePlacesSoon();
}

void ProxyPlayer::SetVideoWindow(QObject* window)
{
    m_window = window;
    m_front->SetVideoWindow(window);
    if (!window)
        m_back->SetVideoWindow(nullptr);
}

int ProxyPlayer::Open(const QString& path)
{
    const auto copy = m_cache.readyCopy(path);
    if (m_closePending && copy && m_onCopy && copy->path == m_copyPath) {
        // The same copy again: back to its start, paused, as a new opening leaves it.
        m_closePending = false;
        m_front->Pause(0, 0);
        m_original = path;
        m_info = copy->original;
        return 0;
    }
    if (m_closePending)
        closeNow();
    dropStaged();
    m_original.clear();
    m_onCopy = false;
    m_copyPath.clear();
    if (copy) {
        if (m_front->Open(copy->path) != -1) {
            m_original = path;
            m_info = copy->original;
            m_copyPath = copy->path;
            m_onCopy = true;
            return 0;
        }
    }
    const int result = m_front->Open(path);
    if (result == -1)
        return result;
    MediaInfo info;
    // Stills and sound files get no copy.
    if (m_front->GetMediaInfo(info) != -1 && info.durationMsec > 0 && info.width > 0) {
        m_original = path;
        // Made since the look above: no word of it will come, so it is opened at once.
        if (m_cache.request(path))
            QMetaObject::invokeMethod(
                &m_context, [this] { openCopyBehind(); }, Qt::QueuedConnection);
    }
    return result;
}

void ProxyPlayer::Play(int positionMsec)
{
    if (m_closePending)
        closeNow();
    m_front->Play(positionMsec);
}

int ProxyPlayer::GetPosition()
{
    if (m_closePending)
        closeNow();
    return m_front->GetPosition();
}

void ProxyPlayer::Initialize(int a, int b, int c, const QString& d)
{
    m_front->Initialize(a, b, c, d);
    m_back->Initialize(a, b, c, d);
}

void ProxyPlayer::SetVolume(int level)
{
    if (m_closePending)
        closeNow();
    m_front->SetVolume(level);
    m_back->SetVolume(level);
}

int ProxyPlayer::GetState()
{
    if (m_closePending)
        closeNow();
    return m_front->GetState();
}

int ProxyPlayer::GetMediaInfo(MediaInfo& info)
{
    if (m_closePending)
        closeNow();
    if (!m_onCopy)
        return m_front->GetMediaInfo(info);
    info = m_info;
    return 0;
}

void ProxyPlayer::SetOption(const QString& name, int value)
{
    m_front->SetOption(name, value);
    m_back->SetOption(name, value);
}

void ProxyPlayer::Command(const QString& action, int value, const QString& text, int& outValue, QString& outText)
{
    if (m_closePending)
        closeNow();
    m_front->Command(action, value, text, outValue, outText);
    // The speed goes with the player that comes to the front.
    if (action == QLatin1String("set_rate_percent")) {
        int unused = 0;
        QString none;
        m_back->Command(action, value, text, unused, none);
    }
}

} // namespace vk
