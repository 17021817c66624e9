#include "app/application.h"

#include "app/autosavesetup.h"
#include "app/beatassist.h"
#include "app/commandline.h"
#include "app/exportprogress.h"
#include "app/frmeffect.h"
#include "app/frmmain.h"
#include "app/frmvid.h"
#include "app/kadroadaptor.h"
#include "app/qsettingsstore.h"
#include "app/qtdialogs.h"
#include "app/rowtableview.h"
#include "app/shotanalysissetup.h"
#include "base/logging.h"
#include "base/memory.h"
#include "base/paths.h"
#include "media/analysis/shotworker.h"
#include "media/mediaplayerengine.h"
#include "media/mpv/ffmpegproxymaker.h"
#include "media/mpv/mediainfo.h"
#include "media/proxycache.h"
#include "media/proxyplayer.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "project/autosave.h"
#include "project/clipimport.h"
#include "render/exportcommand.h"
#include "render/outputdriver.h"
#include "timeline/clipboard.h"
#include "timeline/editor.h"
#include "web/aboutdialog.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace vk {

Application::Application(EngineFactory engines, std::function<int()> probe, const QStringList& arguments)
    : m_engineFactory(std::move(engines)), m_probe(std::move(probe)), m_arguments(arguments)
{
    m_ui = std::make_unique<QtDialogs>();
    m_settings = std::make_unique<QSettingsStore>();
    m_editor = std::make_unique<Editor>(*m_ui);
    Editor& ed = *m_editor;

    // Players first, so the panels that drive them exist before anything refers to them.
    m_sndPlayer = m_engineFactory();
    m_vidPlayer = m_engineFactory();
    m_beepPlayer = m_engineFactory();
    // The video panel's second player opens each viewing copy beside the original.
    m_vidCopyPlayer = m_engineFactory();
    m_sound = std::make_unique<SoundPanel>(ed, *m_sndPlayer, m_beepPlayer.get());
    // The video panel plays the viewing copy of each file once it is made; the copies
    // wait while the sound clip plays, and one that cannot be made is said in the status
    // line (the panel keeps the original).
    m_proxyMaker = std::make_unique<FfmpegProxyMaker>();
    const int limitMb =
        m_settings->readInt(ProxyCache::limitSettingName(), int(ProxyCache::kDefaultLimitBytes / (1024 * 1024)));
    m_proxies = std::make_unique<ProxyCache>(ProxyCache::defaultFolder(), qint64(std::max(0, limitMb)) * 1024 * 1024,
                                             *m_proxyMaker);
    m_vidProxyPlayer = std::make_unique<ProxyPlayer>(*m_vidPlayer, *m_vidCopyPlayer, *m_proxies);
    m_video = std::make_unique<VideoPanel>(ed, *m_vidProxyPlayer);
    connect(m_proxies.get(), &ProxyCache::copyFailed, this,
            [this](const QString&, const QString& note) { m_editor->setMsg(note); });
    connect(m_sound.get(), &SoundPanel::changed, this, [this] {
        if (m_sound && m_proxies)
            m_proxies->setPaused(m_sound->timerActive());
    });
    ed.setPanels(m_sound.get(), m_video.get());
    // Reopened and imported projects get their media sizes back from the files themselves.
    m_sizeProbe = [](const QString& path, int& width, int& height) {
        MediaInfo info;
        if (!ProbeMediaInfo(path, info))
            return false;
        width = info.width;
        height = info.height;
        return true;
    };
    m_project = std::make_unique<ProjectFile>(ed, m_sizeProbe);
    ConnectProjectCommands(ed, *m_project);
    m_import = std::make_unique<ClipImport>(ed, m_sizeProbe);
    m_clipboard = std::make_unique<VideoClipboard>(ed);
    ConnectClipboardCommands(ed, *m_clipboard);
    m_output = std::make_unique<OutputDriver>(ed);
    m_exports = std::make_unique<ExportCommand>(ed, [this] { return m_output->writerProgram(); });
    m_ui->setEffectDialogOpener([this](int row) { openEffectDialog(row); });

    m_window = std::make_unique<frmMain>(frmMain::Parts{ed, *m_sound, *m_project, *m_import, *m_clipboard, *m_output,
                                                        *m_exports, *m_ui, *m_settings, m_urlOpener});
    // An export's writer runs on beside the window, its progress in a window of its own.
    new ExportProgress(*m_exports, m_window.get());
    m_ui->setWindow(m_window.get());
    m_sound->setVideoWindow(m_window->soundPicture());
    connect(m_window.get(), &frmMain::unloadStarted, this, &Application::releaseViews);
    connect(m_window.get(), &frmMain::unloadFinished, this, &Application::releasePlayers);
    connect(m_window.get(), &frmMain::aboutRequested, this, &Application::openAbout);

    // Loading a clip, analysing it and making its viewing copy free most of what the
    // players' and the analysis' threads allocated, but the allocator keeps those pages;
    // over a long session of loads they add up. They go back once the burst is over.
    m_returnMemory.setSingleShot(true);
    m_returnMemory.setInterval(1000);
    connect(&m_returnMemory, &QTimer::timeout, this, [] { ReturnFreedMemory(); });
    connect(m_sound.get(), &SoundPanel::loaded, this, &Application::returnMemorySoon);
    connect(m_video.get(), &VideoPanel::movieLoaded, this, &Application::returnMemorySoon);
    connect(m_proxies.get(), &ProxyCache::copyReady, this, &Application::returnMemorySoon);
}

void Application::returnMemorySoon()
{
    // Started once per burst, not pushed back by each load: a session that loads without
    // pause still gives its memory back every second.
    if (!m_returnMemory.isActive())
        m_returnMemory.start();
}

Application::~Application()
{
    // The autosave watches the editor state: it ends (and, on this normal end, removes
    // its file) before that state goes.
    delete m_autosave;
    // Also when the program ends without the closing steps.
    releaseBeatAssist();
    if (!m_window->unloaded())
        m_window->Form_Unload();
    m_hook.UnhookWindow(m_window.get());
    // The windows go before the editor state, the panels and the commands they show.
    delete m_frmVid;
    delete m_frmEffect;
    delete m_about;
    m_window.reset();
}

// ---- start-up ------------------------------------------------------------------------

void Application::start()
{
    Editor& ed = *m_editor;
    m_started = true;
    ed.setMsg(QStringLiteral("ﾚﾃﾞｨ"));
    ed.setLastEffectName(QStringLiteral("ﾌｪｰﾄﾞ"));
    ed.args() = EditorArguments(m_arguments);
    ed.setModified(false);

    m_ui->setTable(&m_window->grid());
    m_ui->setSoundSlider(m_window->soundRangeSlider());
    // The beat assist's strip goes under the sound slider and its items into the edit
    // menu before the window lays itself out.
    m_beats = std::make_unique<BeatAssist>(ed, *m_sound, *m_settings, m_window->soundRangeSlider(),
                                           m_window->editMenu(), m_engineFactory);
    m_window->setBeatAssist(m_beats.get());
    connect(m_beats.get(), &BeatAssist::analysed, this, &Application::returnMemorySoon);
    m_window->Form_Load();

    // The confirmation sound sounds only while a sound clip plays: its file is opened
    // when the first clip has loaded, so that no player starts before there is
    // something to play.
    connect(m_sound.get(), &SoundPanel::loaded, this, &Application::openBeep);

    const int version = m_probe ? m_probe() : 0;
    if (version < 0x800) {
        const QString text =
            QStringLiteral("インストールされているDirectXが古いため、正常に動作しない可能性があります。\r\n") +
            QStringLiteral("DirectX8以上にアップデートしてください。 (バージョン検出結果=") +
            QString::number(version, 16).toUpper() + QStringLiteral(")\r\n\r\n") +
            QStringLiteral("最新のDirectXは https://www.debian.org/distrib/packages からダウンロードできます");
        m_ui->message(text, UserDialogs::Icon::Critical);
    }

    m_window->show();
    m_frmVid = new frmVid(ed, *m_video, *m_settings, m_window.get());
    m_shots = std::make_unique<ShotWorker>();
    ConnectShotAnalysis(*m_video, *m_frmVid, *m_shots);
    // Closing the panel (after its own question) ends the program like the main window.
    connect(m_frmVid, &frmVid::quitRequested, m_window.get(), [this] {
        m_editor->setModified(false);
        m_window->close();
    });
    // The viewing copy's making shows in the panel while its file is there.
    connect(m_proxies.get(), &ProxyCache::progress, m_frmVid, &frmVid::showCopyProgress);
    connect(m_proxies.get(), &ProxyCache::copyReady, m_frmVid, &frmVid::copyFinished);
    connect(m_proxies.get(), &ProxyCache::copyFailed, m_frmVid,
            [this](const QString& original, const QString&) { m_frmVid->copyFinished(original); });
    m_frmVid->show();
    m_window->refresh();

    // Other programs drive the editor over the session bus; without a bus it simply
    // runs on its own. The object answers from here on, also while a message of the
    // project opening below waits for the user.
    m_kadro = std::make_unique<KadroAdaptor>(ed, *m_sound, *m_video, [this] { quitNow(); });
    m_kadro->registerOnSessionBus();

    // From here on the project is kept in the autosave folder as it changes; what a run
    // that ended abnormally left there is offered back first.
    m_autosave = StartAutosave(
        ed, *m_project, *m_settings, [this] { return m_sound->timerActive() || m_video->timerActive(); }, this);

    if (ed.args().size() > 1 && !ed.args().at(1).isEmpty())
        m_project->OpenCommand();

    m_hook.HookWindow(m_window.get(), &m_window->grid());
}

void Application::openBeep()
{
    if (m_beepOpened || !m_beepPlayer)
        return;
    m_beepOpened = true;
    // The confirmation sound from the program's own folder, at full volume.
    try {
        QString folder = QCoreApplication::applicationDirPath();
        m_beepPlayer->Open(AddTrailingSeparator(folder) + QStringLiteral("pi.wav"));
        m_beepPlayer->SetVolume(0);
    } catch (const EngineError& e) {
        // Section starts are then passed silently while scrolling.
        LogPassedOver(lcPlayer, "open the confirmation sound", e);
    }
}

frmVid* Application::videoWindow() const
{
    return m_frmVid;
}

// ---- dialogs -----------------------------------------------------------------------------

void Application::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = UrlOpenerOrDesktop(std::move(opener));
}

void Application::openEffectDialog(int row)
{
    if (!m_frmEffect)
        m_frmEffect = new frmEffect(*m_editor, *m_settings, m_window.get());
    m_frmEffect->openForRow(row);
}

void Application::openAbout()
{
    if (!m_about)
        m_about = new AboutDialog(m_window.get());
    m_about->show();
    m_about->raise();
}

// ---- closing -----------------------------------------------------------------------------

void Application::releaseViews()
{
    m_hook.UnhookWindow(m_window.get());
    for (const QString& path : m_output->temporaryDocuments())
        QFile::remove(path);
    if (m_sound && m_started)
        m_sound->halt();
    if (m_frmVid) {
        m_frmVid->closeForShutdown();
        // The panel's window may be the one whose close brought us here, with its close
        // handling still on the stack: it goes once control is back in the event loop
        // (or with the main window). The player stops drawing into it now, before the
        // panel and the players go below.
        if (m_video)
            m_video->setVideoWindow(nullptr);
        if (m_vidProxyPlayer) {
            try {
                m_vidProxyPlayer->SetVideoWindow(nullptr);
            } catch (const EngineError& e) {
                LogPassedOver(lcPlayer, "release the video box", e);
            }
        }
        m_frmVid->deleteLater();
    }
    if (m_frmEffect)
        delete m_frmEffect;
}

void Application::releaseBeatAssist()
{
    // The beat assist watches the sound slider and works on the sound panel: it goes
    // before the windows and the panel.
    m_window->setBeatAssist(nullptr);
    m_beats.reset();
}

void Application::releasePlayers()
{
    releaseBeatAssist();
    m_editor->setPanels(nullptr, nullptr);
    m_shots.reset();
    m_video.reset();
    m_sound.reset();
    m_beepPlayer.reset();
    m_sndPlayer.reset();
    m_vidProxyPlayer.reset();
    m_vidCopyPlayer.reset();
    m_vidPlayer.reset();
    // Stops the copy being made, if any.
    m_proxies.reset();
    m_proxyMaker.reset();
}

void Application::quitNow()
{
    m_window->quitNow();
}

bool Application::quitRequested() const
{
    return m_window->quitRequested();
}

} // namespace vk
