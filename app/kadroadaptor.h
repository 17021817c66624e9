#pragma once
// The editor's automation object `Kadro` on the session bus: another program can read
// the version, set and read the sound clip field, the video panel's file and the output
// path, read the sound position and length, and end the editor.
//
//   service "TlmVideoKadro.Kadro", object "/Kadro", interface "TlmVideoKadro.Kadro"
//     Quit()
//     getVersion() -> s                                   "2_0_1"
//     SetOptions(s Action, i Value, s ValueStr, i RetVal, s RetValueStr)
//                -> (i RetVal, s RetValueStr)
//     SetOptionsEx(s Action, i Value1, i Value2, s ValueStr1, s ValueStr2, i RetVal,
//                  s RetValueStr) -> (i RetVal, s RetValueStr)
//
// RetVal and RetValueStr are in/out values: they come back unchanged unless the action
// fills them. SetOptions succeeds for every action it knows or not; an unknown action
// does nothing, and an error inside an action (a player that fails, a cell that is not
// a number) ends the action quietly with the values as they stand. The one call it
// refuses, with the error org.freedesktop.DBus.Error.InvalidArgs and nothing changed,
// is a set_ action whose ValueStr is longer than any file path can be (PATH_MAX bytes):
// such a text names no file, and showing it in the window's fields and messages would
// hold the window up for as long as laying out megabytes of text takes. SetOptionsEx
// does nothing at all.
//
// The object keeps no state of its own: it works on the main window's editor state and
// the two panels, and runs on the user-interface thread between the window's events.
// "set_video_src" loads the file into the video panel, with the panel's own messages on
// failure. Once the window has released the editor state or a panel, the actions that
// need it do nothing. Quit ends the program at once, without the unsaved-changes question and
// without the closing steps.
//
// The bus starts the editor for a client through the service file
// "TlmVideoKadro.Kadro.service" with the argument "-Embedding", which the command line
// treats as no project file.

#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

namespace vk {

class Editor;
class SoundPanel;
class VideoPanel;

class KadroAdaptor final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KadroAdaptor)
    Q_CLASSINFO("D-Bus Interface", "TlmVideoKadro.Kadro")
    Q_CLASSINFO("D-Bus Introspection", "  <interface name=\"TlmVideoKadro.Kadro\">\n"
                                       "    <method name=\"Quit\"/>\n"
                                       "    <method name=\"getVersion\">\n"
                                       "      <arg name=\"result\" type=\"s\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"SetOptions\">\n"
                                       "      <arg name=\"Action\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"Value\" type=\"i\" direction=\"in\"/>\n"
                                       "      <arg name=\"ValueStr\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"RetVal\" type=\"i\" direction=\"in\"/>\n"
                                       "      <arg name=\"RetValueStr\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"RetVal\" type=\"i\" direction=\"out\"/>\n"
                                       "      <arg name=\"RetValueStr\" type=\"s\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"SetOptionsEx\">\n"
                                       "      <arg name=\"Action\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"Value1\" type=\"i\" direction=\"in\"/>\n"
                                       "      <arg name=\"Value2\" type=\"i\" direction=\"in\"/>\n"
                                       "      <arg name=\"ValueStr1\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"ValueStr2\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"RetVal\" type=\"i\" direction=\"in\"/>\n"
                                       "      <arg name=\"RetValueStr\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"RetVal\" type=\"i\" direction=\"out\"/>\n"
                                       "      <arg name=\"RetValueStr\" type=\"s\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "  </interface>\n")

public:
    static QString serviceName() { return QStringLiteral("TlmVideoKadro.Kadro"); }
    static QString objectPath() { return QStringLiteral("/Kadro"); }
    static QString interfaceName() { return QStringLiteral("TlmVideoKadro.Kadro"); }

    // `quit` ends the program without the closing steps (the main window's quitNow).
    KadroAdaptor(Editor& editor, SoundPanel& sound, VideoPanel& video, std::function<void()> quit,
                 QObject* parent = nullptr);
    ~KadroAdaptor() override;

    // Publishes the object and takes the service name on the session bus. False, with
    // nothing published, when there is no session bus or another process owns the name;
    // the editor then simply runs without automation.
    bool registerOnSessionBus();

public slots:
    Q_SCRIPTABLE void Quit();
    Q_SCRIPTABLE QString getVersion() const;
    // in: Action, Value, ValueStr, RetVal, RetValueStr; out: RetVal, RetValueStr.
    Q_SCRIPTABLE void SetOptions(const QString& Action, int Value, const QString& ValueStr, int RetValIn,
                                 const QString& RetValueStrIn, int& RetVal, QString& RetValueStr);
    Q_SCRIPTABLE void SetOptionsEx(const QString& Action, int Value1, int Value2, const QString& ValueStr1,
                                   const QString& ValueStr2, int RetValIn, const QString& RetValueStrIn, int& RetVal,
                                   QString& RetValueStr);

private:
    void runAction(const QString& action, const QString& valueStr, int& retVal, QString& retValueStr);

    // Guarded: the main window releases its panels while closing, and a call that
    // arrives after that finds nothing to act on instead of a dangling panel.
    QPointer<Editor> m_editor;
    QPointer<SoundPanel> m_sound;
    QPointer<VideoPanel> m_video;
    std::function<void()> m_quit;
    bool m_registered = false;
};

} // namespace vk
