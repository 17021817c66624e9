#include "app/kadroadaptor.h"

#include "base/logging.h"
#include "base/version.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <climits>
#include <exception>

namespace vk {

namespace {

// A text no file path can be: the system refuses paths of PATH_MAX bytes or more.
bool LongerThanAnyPath(const QString& text)
{
    // A UTF-16 unit takes three bytes at most in UTF-8, so shorter texts need no encoding.
    return qsizetype(text.size()) * 3 >= PATH_MAX && QFile::encodeName(text).size() >= PATH_MAX;
}

} // namespace

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
    if (Action.startsWith(QLatin1String("set_")) && LongerThanAnyPath(ValueStr)) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::InvalidArgs,
                           QStringLiteral("%1: ValueStr is %2 characters long, longer than any file path")
                               .arg(Action.left(64))
                               .arg(ValueStr.size()));
        return;
    }
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
