#include "app/kadroadaptor.h"

#include "base/logging.h"
#include "base/version.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <exception>

namespace vk {

KadroAdaptor::KadroAdaptor(Editor& editor, SoundPanel& sound, VideoPanel& video, std::function<void()> quit,
                           QObject* parent)
    : QObject(parent), m_editor(&editor), m_sound(&sound), m_video(&video), m_quit(std::move(quit))
{
}

KadroAdaptor::~KadroAdaptor()
{
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(serviceName());
        bus.unregisterObject(objectPath());
    }
}

bool KadroAdaptor::registerOnSessionBus()
{
    if (m_registered)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(objectPath(), this, QDBusConnection::ExportScriptableSlots))
        return false;
    if (!bus.registerService(serviceName())) {
        bus.unregisterObject(objectPath());
        return false;
    }
    m_registered = true;
    return true;
}

void KadroAdaptor::Quit()
{
    // The reply goes out when this slot returns; the event loop ends on its next turn,
    // so the client sees the call succeed.
    try {
        if (m_quit)
            m_quit();
        else
            QCoreApplication::exit(0);
    } catch (const std::exception& e) {
        // The client has its answer; the program ends by the close that follows, or
        // keeps running, but a failure must not leave the bus call unanswered.
        LogPassedOver(lcPlayer, "quit over the bus", e);
    }
}

QString KadroAdaptor::getVersion() const
{
    return VersionText();
}

void KadroAdaptor::SetOptions(const QString& Action, int Value, const QString& ValueStr, int RetValIn,
                              const QString& RetValueStrIn, int& RetVal, QString& RetValueStr)
{
    Q_UNUSED(Value) // no action reads it
    RetVal = RetValIn;
    RetValueStr = RetValueStrIn;
    try {
        runAction(Action, ValueStr, RetVal, RetValueStr);
    } catch (...) {
        // An action that fails ends quietly; the call still succeeds.
    }
}

void KadroAdaptor::SetOptionsEx(const QString& Action, int Value1, int Value2, const QString& ValueStr1,
                                const QString& ValueStr2, int RetValIn, const QString& RetValueStrIn, int& RetVal,
                                QString& RetValueStr)
{
    Q_UNUSED(Action)
    Q_UNUSED(Value1)
    Q_UNUSED(Value2)
    Q_UNUSED(ValueStr1)
    Q_UNUSED(ValueStr2)
    RetVal = RetValIn;
    RetValueStr = RetValueStrIn;
}

void KadroAdaptor::runAction(const QString& action, const QString& valueStr, int& retVal, QString& retValueStr)
{
    if (action == QLatin1String("set_audio_src")) {
        // The field only: the clip is loaded when the user (or a project) asks for it.
        if (m_editor)
            m_editor->setSndFile(valueStr);
    } else if (action == QLatin1String("get_audio_src")) {
        if (m_editor)
            retValueStr = m_editor->sndFile();
    } else if (action == QLatin1String("set_video_src")) {
        if (m_video) {
            m_video->setFileText(valueStr);
            m_video->VidFileLoad(m_video->fileText());
        }
    } else if (action == QLatin1String("get_video_src")) {
        if (m_video)
            retValueStr = m_video->fileText();
    } else if (action == QLatin1String("set_video_dest")) {
        if (m_editor)
            m_editor->setOutputPath(valueStr);
    } else if (action == QLatin1String("get_video_dest")) {
        if (m_editor)
            retValueStr = m_editor->outputPath();
    } else if (action == QLatin1String("get_audio_pos")) {
        if (m_sound)
            retVal = m_sound->position();
    } else if (action == QLatin1String("get_audio_duration")) {
        if (m_editor)
            retVal = m_editor->sndLength();
    }
}

} // namespace vk
