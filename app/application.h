#pragma once
// The program: creates, owns and connects everything the editor is made of — the
// dialogs and the settings store, the editor state, the players and the two
// panels that drive them, the project file, the clip import, the clipboard, the
// output, the automation object, the wheel hook, and the windows that show them.
//
// Ownership and order: the services are members, built in the order below; the windows
// (the main window, and the video panel, the effect dialog and the about dialog shown
// beside it) are built on top of them and go first, so no window outlives what it
// shows. The main window's closing steps stop the players and let go of the panels
// (unloadStarted, unloadFinished); whatever is left goes with the Application.

#include "app/windowhook.h"
#include "project/projectfile.h"
#include "web/makerpage.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

namespace vk {

class AboutDialog;
class Autosave;
class BeatAssist;
class ClipImport;
class Editor;
class ExportCommand;
class KadroAdaptor;
class MediaPlayerEngine;
class OutputDriver;
class ProxyCache;
class ProxyMaker;
class ProxyPlayer;
class QSettingsStore;
class QtDialogs;
class ShotWorker;
class SoundPanel;
class VideoClipboard;
class VideoPanel;
class frmEffect;
class frmMain;
class frmVid;

class Application final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Application)

public:
    using EngineFactory = std::function<std::unique_ptr<MediaPlayerEngine>()>;

    // `engines` makes each of the four players (sound, video, confirmation sound, and
    // the video panel's second, for its viewing copies);
    // `probe` gives the media stack version (0x800 or more when playback can work);
    // `arguments` are the program's arguments without its name.
    Application(EngineFactory engines, std::function<int()> probe, const QStringList& arguments);
    ~Application() override;

    // The start-up sequence: the editor state, the main window's lists, settings and
    // row table, the probe, both windows, the automation object, the project named on
    // the command line, the wheel hook. The players start with the first file they
    // open; the confirmation sound is opened with the first sound clip.
    void start();

    frmMain& mainWindow() { return *m_window; }
    frmVid* videoWindow() const;
    Editor& editor() { return *m_editor; }
    SoundPanel& soundPanel() { return *m_sound; }
    VideoPanel& videoPanel() { return *m_video; }
    OutputDriver& outputDriver() { return *m_output; }

    // The opener of the help menu's pages; empty gives the desktop's browser.
    void setUrlOpener(UrlOpener opener);

    // Ends the program without the closing steps (automation Quit).
    void quitNow();
    // True once the program was asked to end (the caller must not start the main loop).
    bool quitRequested() const;

private:
    void releaseViews();
    void releaseBeatAssist();
    void releasePlayers();
    void openEffectDialog(int row);
    void openAbout();
    void openBeep();
    // Freed memory goes back to the system a moment after a burst of loading work.
    void returnMemorySoon();

    EngineFactory m_engineFactory;
    std::function<int()> m_probe;
    QStringList m_arguments;

    std::unique_ptr<QtDialogs> m_ui;
    std::unique_ptr<QSettingsStore> m_settings;
    UrlOpener m_urlOpener = UrlOpenerOrDesktop({});
    MediaSizeProbe m_sizeProbe;
    std::unique_ptr<Editor> m_editor;
    std::unique_ptr<MediaPlayerEngine> m_sndPlayer;
    std::unique_ptr<MediaPlayerEngine> m_vidPlayer;
    // The viewing copies the video panel plays in place of its files once they are made.
    std::unique_ptr<ProxyMaker> m_proxyMaker;
    std::unique_ptr<ProxyCache> m_proxies;
    std::unique_ptr<ProxyPlayer> m_vidProxyPlayer;
    std::unique_ptr<MediaPlayerEngine> m_beepPlayer;
    std::unique_ptr<MediaPlayerEngine> m_vidCopyPlayer;
    std::unique_ptr<SoundPanel> m_sound;
    std::unique_ptr<VideoPanel> m_video;
    // The shots of the movies the video panel loads (see ConnectShotAnalysis).
    std::unique_ptr<ShotWorker> m_shots;
    std::unique_ptr<ProjectFile> m_project;
    std::unique_ptr<ClipImport> m_import;
    std::unique_ptr<VideoClipboard> m_clipboard;
    std::unique_ptr<OutputDriver> m_output;
    std::unique_ptr<ExportCommand> m_exports;
    std::unique_ptr<KadroAdaptor> m_kadro;
    std::unique_ptr<BeatAssist> m_beats;
    WindowHook m_hook;
    QTimer m_returnMemory;
    // The windows, deleted (in this order) before everything above.
    QPointer<frmVid> m_frmVid;
    QPointer<frmEffect> m_frmEffect;
    QPointer<AboutDialog> m_about;
    QPointer<Autosave> m_autosave;
    std::unique_ptr<frmMain> m_window;
    bool m_started = false;
    bool m_beepOpened = false;
};

} // namespace vk
