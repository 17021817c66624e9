// The automation object, the help menu's pages and the version dialog, in process:
// the adaptor's actions on the editor state and the panels, the same object on a
// private session bus, and Quit through the main window.
#include "app/application.h"
#include "app/frmmain.h"
#include "app/kadroadaptor.h"
#include "base/version.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "tests/app/privatebus.h"
#include "tests/support/fakeapp.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "timeline/editor.h"
#include "web/aboutdialog.h"
#include "web/makerpage.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace vk;

namespace {

// The bus of this test process, started by main() before anything touches the session
// bus, so that the adaptor's registration goes there and never to the user's bus.
test::PrivateBus* g_bus = nullptr;

// ---- the actions, called directly ------------------------------------------------------

struct KadroTest : ::testing::Test {
    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine sndPlayer;
    FakeEngine vidPlayer;
    SoundPanel sound{editor, sndPlayer, nullptr};
    VideoPanel video{editor, vidPlayer};
    int quits = 0;
    KadroAdaptor kadro{editor, sound, video, [this] { ++quits; }};

    struct Out {
        int retVal;
        QString retValueStr;
    };
    Out call(const QString& action, const QString& valueStr = QString(), int retVal = -7,
             const QString& retValueStr = QStringLiteral("unchanged"), int value = 0)
    {
        Out out{12345, QStringLiteral("garbage")};
        kadro.SetOptions(action, value, valueStr, retVal, retValueStr, out.retVal, out.retValueStr);
        return out;
    }
    // A video file the fake player knows: 10 s, 640x480, 25 fps.
    void knowVideo()
    {
        vidPlayer.info.durationMsec = 10000;
        vidPlayer.info.width = 640;
        vidPlayer.info.height = 480;
        vidPlayer.info.secondsPerFrame = 0.04;
    }
    void loadSound(int length)
    {
        sndPlayer.info.durationMsec = length;
        sndPlayer.info.secondsPerFrame = 0.04;
        sound.SndFileLoad(QStringLiteral("/music/loaded.wav"));
        ASSERT_EQ(editor.sndLength(), length);
    }
};

TEST_F(KadroTest, AudioSourceRoundTripDoesNotLoadTheClip)
{
    loadSound(8000);
    sndPlayer.clearCalls();
    const QString path = QStringLiteral("/home/user/曲 1.wav");

    const Out set = call(QStringLiteral("set_audio_src"), path, 3, QStringLiteral("keep"));
    EXPECT_EQ(set.retVal, 3);
    EXPECT_EQ(set.retValueStr, QStringLiteral("keep"));
    EXPECT_EQ(editor.sndFile(), path);

    const Out get = call(QStringLiteral("get_audio_src"), QString(), 41);
    EXPECT_EQ(get.retValueStr, path);
    EXPECT_EQ(get.retVal, 41) << "RetVal is in/out and this action leaves it";

    // Not loaded: the player was not asked, the clip length and the table stay.
    EXPECT_TRUE(sndPlayer.callsStartingWith(QStringLiteral("Open")).isEmpty())
        << sndPlayer.calls.join(u' ').toStdString();
    EXPECT_EQ(editor.sndLength(), 8000);
    EXPECT_FALSE(editor.modified());
}

TEST_F(KadroTest, VideoDestinationRoundTrip)
{
    const QString path = QStringLiteral("/out/作品 a&b.avi");
    call(QStringLiteral("set_video_dest"), path);
    EXPECT_EQ(editor.outputPath(), path);
    EXPECT_EQ(call(QStringLiteral("get_video_dest")).retValueStr, path);

    call(QStringLiteral("set_video_dest"), QString());
    EXPECT_EQ(call(QStringLiteral("get_video_dest")).retValueStr, QString()) << "an empty destination is a value too";
}

TEST_F(KadroTest, VideoSourceLoadsTheFileIntoThePanel)
{
    knowVideo();
    const QString path = QStringLiteral("/clips/a b.mp4");
    call(QStringLiteral("set_video_src"), path);
    EXPECT_EQ(video.fileText(), path);
    EXPECT_EQ(vidPlayer.openedPath, path);
    EXPECT_EQ(video.videoLength(), 10000);
    EXPECT_TRUE(video.controls().regEnabled);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(call(QStringLiteral("get_video_src")).retValueStr, path);
}

TEST_F(KadroTest, VideoSourceThatCannotLoadKeepsTheTextAndShowsThePanelsMessage)
{
    vidPlayer.openResult = -1;
    const QString path = QStringLiteral("/clips/broken.mp4");
    const Out out = call(QStringLiteral("set_video_src"), path, 5, QStringLiteral("s"));
    EXPECT_EQ(out.retVal, 5);
    EXPECT_EQ(out.retValueStr, QStringLiteral("s"));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.front().text, path + QStringLiteral("\nファイルが見つかりません。"));
    EXPECT_FALSE(video.controls().regEnabled);
    EXPECT_EQ(call(QStringLiteral("get_video_src")).retValueStr, path);
}

TEST_F(KadroTest, AudioPositionFollowsTheSliderAndTheTimer)
{
    loadSound(20000);
    EXPECT_EQ(call(QStringLiteral("get_audio_pos"), QString(), 99).retVal, 0);

    sound.scrollTo(4321);
    Out out = call(QStringLiteral("get_audio_pos"), QString(), 99, QStringLiteral("text"));
    EXPECT_EQ(out.retVal, 4321);
    EXPECT_EQ(out.retValueStr, QStringLiteral("text"));

    // While playing, the timer's last reading counts, not the player's current one.
    sndPlayer.state = MediaPlayerEngine::Running;
    sndPlayer.position = 6000;
    sound.tick();
    sndPlayer.position = 6500;
    EXPECT_EQ(call(QStringLiteral("get_audio_pos")).retVal, 6000);
}

TEST_F(KadroTest, AudioDurationIsTheClipLength)
{
    EXPECT_EQ(call(QStringLiteral("get_audio_duration"), QString(), 77).retVal, editor.sndLength());
    loadSound(123456);
    EXPECT_EQ(call(QStringLiteral("get_audio_duration"), QString(), 77).retVal, 123456);
}

TEST_F(KadroTest, UnknownActionsAndOtherCasesChangeNothing)
{
    knowVideo();
    editor.setSndFile(QStringLiteral("/a.wav"));
    editor.setOutputPath(QStringLiteral("/o.avi"));
    for (const QString& action :
         {QStringLiteral("Set_Audio_Src"), QStringLiteral("SET_VIDEO_DEST"), QStringLiteral("set_video_src "),
          QStringLiteral(""), QStringLiteral("quit"), QStringLiteral("set_audio_srcx")}) {
        const Out out = call(action, QStringLiteral("/changed"), 11, QStringLiteral("in"));
        EXPECT_EQ(out.retVal, 11) << action.toStdString();
        EXPECT_EQ(out.retValueStr, QStringLiteral("in")) << action.toStdString();
    }
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/a.wav"));
    EXPECT_EQ(editor.outputPath(), QStringLiteral("/o.avi"));
    EXPECT_TRUE(vidPlayer.calls.isEmpty());
    EXPECT_EQ(quits, 0);
}

TEST_F(KadroTest, SetOptionsExDoesNothing)
{
    editor.setSndFile(QStringLiteral("/a.wav"));
    for (const QString& action :
         {QStringLiteral("set_audio_src"), QStringLiteral("get_audio_src"), QStringLiteral("set_video_dest")}) {
        int retVal = 0;
        QString retValueStr;
        kadro.SetOptionsEx(action, 1, 2, QStringLiteral("/x.wav"), QStringLiteral("/y.avi"), 42, QStringLiteral("in"),
                           retVal, retValueStr);
        EXPECT_EQ(retVal, 42);
        EXPECT_EQ(retValueStr, QStringLiteral("in"));
    }
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/a.wav"));
    EXPECT_EQ(editor.outputPath(), QString());
}

TEST_F(KadroTest, VersionAndQuit)
{
    EXPECT_EQ(kadro.getVersion(), QStringLiteral("2_0_1"));
    EXPECT_EQ(kadro.getVersion(), VersionText());
    EXPECT_EQ(quits, 0);
    kadro.Quit();
    EXPECT_EQ(quits, 1);
}

TEST(KadroReleasedPanelsTest, CallsAfterTheWindowReleasedItsPanelsDoNothing)
{
    ScriptedUi ui;
    auto editor = std::make_unique<Editor>(ui);
    FakeEngine snd, vid;
    auto sound = std::make_unique<SoundPanel>(*editor, snd, nullptr);
    auto video = std::make_unique<VideoPanel>(*editor, vid);
    KadroAdaptor kadro(*editor, *sound, *video, [] {});
    editor->setOutputPath(QStringLiteral("/o.avi"));

    video.reset();
    sound.reset();
    int retVal = 0;
    QString retValueStr;
    kadro.SetOptions(QStringLiteral("set_video_src"), 0, QStringLiteral("/v.mp4"), 1, QStringLiteral("a"), retVal,
                     retValueStr);
    EXPECT_EQ(retVal, 1);
    EXPECT_EQ(retValueStr, QStringLiteral("a"));
    kadro.SetOptions(QStringLiteral("get_audio_pos"), 0, QString(), 2, QString(), retVal, retValueStr);
    EXPECT_EQ(retVal, 2);
    EXPECT_TRUE(vid.calls.isEmpty());
    kadro.SetOptions(QStringLiteral("get_video_dest"), 0, QString(), 0, QString(), retVal, retValueStr);
    EXPECT_EQ(retValueStr, QStringLiteral("/o.avi")) << "the editor state is still there";

    editor.reset();
    kadro.SetOptions(QStringLiteral("get_video_dest"), 0, QString(), 3, QStringLiteral("b"), retVal, retValueStr);
    EXPECT_EQ(retVal, 3);
    EXPECT_EQ(retValueStr, QStringLiteral("b"));
}

// ---- the same object on a private session bus ---------------------------------------------

// Calls the bus from a second connection and lets the event loop serve the call.
QDBusMessage CallOverBus(QDBusConnection& client, const QString& service, const QString& interface,
                         const QString& method, const QVariantList& args)
{
    QDBusMessage msg = QDBusMessage::createMethodCall(service, KadroAdaptor::objectPath(), interface, method);
    msg.setArguments(args);
    QDBusPendingCall pending = client.asyncCall(msg, 10000);
    QDeadlineTimer deadline(15000);
    while (!pending.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pending.reply();
}

struct KadroBusTest : KadroTest {
    QDBusConnection client{QStringLiteral("none")};

    void SetUp() override
    {
        ASSERT_NE(g_bus, nullptr);
        ASSERT_TRUE(g_bus->ok()) << g_bus->error().toStdString();
        client = QDBusConnection::connectToBus(g_bus->address(), QStringLiteral("kadro-test-client"));
        ASSERT_TRUE(client.isConnected());
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("kadro-test-client")); }

    QDBusMessage kadroCall(const QString& method, const QVariantList& args = {})
    {
        return CallOverBus(client, KadroAdaptor::serviceName(), KadroAdaptor::interfaceName(), method, args);
    }
};

TEST_F(KadroBusTest, RegistersTheNameAndAnswersWithOutArguments)
{
    ASSERT_TRUE(kadro.registerOnSessionBus());
    ASSERT_TRUE(client.interface()->isServiceRegistered(KadroAdaptor::serviceName()).value());

    QDBusMessage reply = kadroCall(QStringLiteral("getVersion"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("s"));
    EXPECT_EQ(reply.arguments().value(0).toString(), QStringLiteral("2_0_1"));

    const QString path = QStringLiteral("/music/ﾃｽﾄ.wav");
    reply =
        kadroCall(QStringLiteral("SetOptions"), {QStringLiteral("set_audio_src"), 0, path, 9, QStringLiteral("in")});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("is")) << "only the in/out values come back";
    EXPECT_EQ(reply.arguments().value(0).toInt(), 9);
    EXPECT_EQ(reply.arguments().value(1).toString(), QStringLiteral("in"));
    EXPECT_EQ(editor.sndFile(), path);

    reply = kadroCall(QStringLiteral("SetOptions"), {QStringLiteral("get_audio_src"), 0, QString(), 9, QString()});
    EXPECT_EQ(reply.arguments().value(1).toString(), path);

    reply =
        kadroCall(QStringLiteral("SetOptionsEx"), {QStringLiteral("set_audio_src"), 1, 2, QStringLiteral("/other.wav"),
                                                   QString(), 8, QStringLiteral("x")});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("is"));
    EXPECT_EQ(reply.arguments().value(0).toInt(), 8);
    EXPECT_EQ(reply.arguments().value(1).toString(), QStringLiteral("x"));
    EXPECT_EQ(editor.sndFile(), path);

    reply = kadroCall(QStringLiteral("Quit"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(reply.arguments().isEmpty());
    EXPECT_EQ(quits, 1);
}

TEST_F(KadroBusTest, ExportsOnlyTheFourMethods)
{
    ASSERT_TRUE(kadro.registerOnSessionBus());
    QDBusMessage reply =
        CallOverBus(client, KadroAdaptor::serviceName(), QStringLiteral("org.freedesktop.DBus.Introspectable"),
                    QStringLiteral("Introspect"), {});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QString xml = reply.arguments().value(0).toString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<interface name=\"TlmVideoKadro.Kadro\">"))) << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<arg name=\"RetValueStr\" type=\"s\" direction=\"out\"/>")));
    const int begin = xml.indexOf(QStringLiteral("<interface name=\"TlmVideoKadro.Kadro\">"));
    const int end = xml.indexOf(QStringLiteral("</interface>"), begin);
    ASSERT_TRUE(begin >= 0 && end > begin);
    const QString ours = xml.mid(begin, end - begin);
    EXPECT_EQ(ours.count(QStringLiteral("<method name=")), 4) << ours.toStdString();
    for (const char* name : {"Quit", "getVersion", "SetOptions", "SetOptionsEx"})
        EXPECT_TRUE(ours.contains(QStringLiteral("<method name=\"%1\"").arg(QLatin1String(name)))) << name;

    for (const QString& method :
         {QStringLiteral("registerOnSessionBus"), QStringLiteral("deleteLater"), QStringLiteral("runAction")}) {
        reply = kadroCall(method);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << method.toStdString();
    }
    // Wrong argument types are refused by the bus layer, not half-run.
    reply = kadroCall(QStringLiteral("SetOptions"),
                      {QStringLiteral("set_audio_src"), QStringLiteral("0"), QStringLiteral("/x.wav"), 0, QString()});
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(editor.sndFile(), QString());
}

TEST_F(KadroBusTest, NameOwnedElsewhereIsRefusedQuietly)
{
    // Another editor already owns the name: this one runs without automation and
    // publishes nothing.
    ASSERT_TRUE(client.registerService(KadroAdaptor::serviceName()));
    EXPECT_FALSE(kadro.registerOnSessionBus());
    EXPECT_EQ(QDBusConnection::sessionBus().objectRegisteredAt(KadroAdaptor::objectPath()), nullptr);
    ASSERT_TRUE(client.unregisterService(KadroAdaptor::serviceName()));

    // Once the name is free, the editor can take it and answers.
    ASSERT_TRUE(kadro.registerOnSessionBus());
    EXPECT_TRUE(kadro.registerOnSessionBus()) << "registering again is harmless";
    EXPECT_EQ(kadroCall(QStringLiteral("getVersion")).arguments().value(0).toString(), QStringLiteral("2_0_1"));
}

// ---- the help menu's pages ------------------------------------------------------------

struct MakerPageTest : ::testing::Test {
    ScriptedUi ui;
    QList<QUrl> opened;
    UrlOpener opener = [this](const QUrl& url) {
        opened << url;
        return true;
    };
};

TEST_F(MakerPageTest, AddressIsBasePathAndQuery)
{
    const QString base = QLatin1String(kMakerSiteBase);
    const QUrl site(base);
    EXPECT_TRUE(site.isValid());
    EXPECT_TRUE(site.path().isEmpty()) << "the base address ends before the path";
    EXPECT_FALSE(base.endsWith(QLatin1Char('/')));
    EXPECT_EQ(MakerPageUrl(QStringLiteral("/service/servlet/update")),
              base + QStringLiteral("/service/servlet/update?app=videokadro&ver=2_0_1&lang=japanese"));
    EXPECT_EQ(MakerPageUrl(QStringLiteral("/service/servlet/support")),
              base + QStringLiteral("/service/servlet/support?app=videokadro&ver=2_0_1&lang=japanese"));
    EXPECT_EQ(MakerPageUrl(QStringLiteral("/youtube/ranking.php")),
              base + QStringLiteral("/youtube/ranking.php?app=videokadro&ver=2_0_1&lang=japanese"));
    const QUrl url(MakerPageUrl(QStringLiteral("/x")));
    EXPECT_TRUE(url.query().contains(QStringLiteral("ver=") + VersionText()));
}

TEST_F(MakerPageTest, OpensThePageWithoutAMessage)
{
    OpenMakerPage(ui, opener, QStringLiteral("/service/servlet/support"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front().toString(), MakerPageUrl(QStringLiteral("/service/servlet/support")));
    EXPECT_EQ(opened.front().scheme(), QUrl(QLatin1String(kMakerSiteBase)).scheme());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(MakerPageTest, FailureShowsTheMessageWithoutIcon)
{
    const QString text = QStringLiteral("アプリケーション上からサポートWebサイトにアクセスできません。\r\n"
                                        "ネットワークの状態を確認して下さい。");
    opener = [this](const QUrl& url) {
        opened << url;
        return false;
    };
    OpenMakerPage(ui, opener, QStringLiteral("/youtube/ranking.php"));
    EXPECT_EQ(opened.size(), 1);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.front().text, text);
    EXPECT_EQ(ui.messages.front().icon, UserDialogs::Icon::None);

    // An opener that throws is a failure like any other.
    opener = [](const QUrl&) -> bool { throw std::runtime_error("no browser"); };
    OpenMakerPage(ui, opener, QStringLiteral("/service/servlet/update"));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.back().text, text);
}

TEST_F(MakerPageTest, AGivenOpenerIsKeptAndAnEmptyOneIsTheDesktops)
{
    int calls = 0;
    UrlOpener mine = UrlOpenerOrDesktop([&calls](const QUrl&) {
        ++calls;
        return true;
    });
    ASSERT_TRUE(bool(mine));
    EXPECT_TRUE(mine(QUrl(QStringLiteral("https://example.org"))));
    EXPECT_EQ(calls, 1);
    UrlOpener fallback = UrlOpenerOrDesktop(UrlOpener());
    EXPECT_TRUE(bool(fallback)) << "an empty opener brings back the desktop's";
    EXPECT_EQ(calls, 1);
}

// ---- the version dialog ------------------------------------------------------------------

TEST(AboutDialogTest, TakesTheMainWindowsCaptionAndIconAndClosesWithOk)
{
    QMainWindow main;
    main.setWindowTitle(QStringLiteral("videokadro - 作品.rem"));
    QPixmap red(16, 16);
    red.fill(Qt::red);
    main.setWindowIcon(QIcon(red));
    main.show();

    QPointer<AboutDialog> dialog = new AboutDialog(&main);
    EXPECT_EQ(dialog->windowTitle(), main.windowTitle());
    EXPECT_EQ(dialog->windowIcon().pixmap(16, 16).toImage(), red.toImage());
    EXPECT_FALSE(dialog->isModal());
    dialog->show();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    const QString all = texts.join(u'\n');
    EXPECT_TRUE(all.contains(QStringLiteral("videokadro"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("2.0.1"))) << all.toStdString();
    EXPECT_TRUE(all.contains(VersionText())) << all.toStdString();

    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("OKButton"));
    ASSERT_NE(ok, nullptr);
    ok->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull()) << "OK unloads the dialog";
}

// ---- the main window: help entries and Quit ---------------------------------------------

struct MainWindowKadroTest : ::testing::Test, testsupport::FakeApp {
    void SetUp() override { startApp(); }
    void TearDown() override
    {
        if (window) {
            window->editor().setModified(false);
            window->close();
        }
        app.reset();
        window = nullptr;
    }
};

TEST_F(MainWindowKadroTest, HelpEntriesOpenTheirPagesAndOneVersionDialog)
{
    QList<QUrl> opened;
    app->setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    const struct {
        const char* entry;
        const char* path;
    } pages[] = {{"mnuUpdate", "/service/servlet/update"},
                 {"mnuSupport", "/service/servlet/support"},
                 {"mnuRanking", "/youtube/ranking.php"}};
    for (const auto& page : pages) {
        auto* action = window->findChild<QAction*>(QLatin1String(page.entry));
        ASSERT_NE(action, nullptr) << page.entry;
        action->trigger();
        ASSERT_FALSE(opened.isEmpty()) << page.entry;
        EXPECT_EQ(opened.back().toString(), MakerPageUrl(QLatin1String(page.path))) << page.entry;
    }
    app->setUrlOpener({});
    EXPECT_EQ(opened.size(), 3);

    auto* version = window->findChild<QAction*>(QStringLiteral("mnuVersion"));
    ASSERT_NE(version, nullptr);
    version->trigger();
    version->trigger();
    const auto dialogs = window->findChildren<AboutDialog*>();
    ASSERT_EQ(dialogs.size(), 1) << "a second click shows the same dialog";
    EXPECT_TRUE(dialogs.front()->isVisible());
    EXPECT_EQ(dialogs.front()->windowTitle(), window->windowTitle());
}

TEST_F(MainWindowKadroTest, QuitEndsAtOnceWithoutTheSaveQuestionOrTheClosingSteps)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"),
                       QStringLiteral("videokadro"));
    const QString settingsFile = settings.fileName();
    QFile::remove(settingsFile);

    KadroAdaptor* kadro = new KadroAdaptor(
        window->editor(), window->soundPanel(), app->videoPanel(), [w = window] { w->quitNow(); }, window);
    window->editor().setModified(true);

    QStringList modals;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&modals] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modals << QLatin1String(modal->metaObject()->className());
            modal->close();
        }
    });
    watch.start();
    bool timedOut = false;
    QTimer::singleShot(5000, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(99);
    });
    QTimer::singleShot(0, kadro, &KadroAdaptor::Quit);
    const int rc = QApplication::exec();
    watch.stop();

    EXPECT_FALSE(timedOut);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(modals.isEmpty()) << modals.join(u',').toStdString();
    EXPECT_TRUE(window->editor().modified()) << "nothing was saved";
    app.reset();
    window = nullptr;
    EXPECT_FALSE(QFile::exists(settingsFile)) << "the closing steps (settings) did not run";
}

} // namespace

int main(int argc, char** argv)
{
    // The private bus first: QtDBus reads the session bus address once.
    test::PrivateBus bus;
    if (bus.ok())
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    g_bus = &bus;
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    g_bus = nullptr;
    return rc;
}
