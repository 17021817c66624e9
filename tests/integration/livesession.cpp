#include "tests/integration/livesession.h"

#include "app/application.h"
#include "app/frmmain.h"
#include "app/frmvid.h"
#include "app/rowtabletext.h"
#include "media/mpv/mpvengine.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "render/outputdriver.h"
#include "tests/app/privatebus.h"
#include "tests/support/dialoganswers.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDevice>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <malloc.h>
#include <mutex>
#include <thread>

namespace vk::test {

using testsupport::Pump;
using testsupport::PumpUntil;
using Clock = std::chrono::steady_clock;

std::unique_ptr<PrivateBus> StartPrivateSessionBus()
{
    testsupport::HeadlessDefaults(true);
    // The renderer's preview plays its sound through SDL: no device here.
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    auto bus = std::make_unique<PrivateBus>();
    if (bus->ok())
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
    return bus;
}

ProcessFigures ReadProcessFigures()
{
    ProcessFigures f;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                f.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
            else if (line.startsWith("Threads:"))
                f.threads = line.mid(8).trimmed().toInt();
        }
    }
    const struct mallinfo2 heap = mallinfo2();
    f.heapInUseKb = long((heap.uordblks + heap.hblkhd) / 1024);
    // The listing itself holds one descriptor open while it reads.
    f.fds = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size()) - 1;
    return f;
}

SessionMedia MakeSessionMedia(const QString& folder, int seconds)
{
    SessionMedia m;
    const QString d = QString::number(seconds);
    // A tone with a click every half second, so the beat analysis has beats to find.
    const QString sound = QStringLiteral("aevalsrc=0.3*sin(2*PI*220*t)+0.6*sin(2*PI*1000*t)*lt(mod(t\\,0.5)\\,0.02):"
                                         "s=44100:d=%1")
                              .arg(d);
    const QString wav = folder + QStringLiteral("/song one.wav");
    const QString mp3 = folder + QStringLiteral("/song two.mp3");
    const QString v25 = folder + QStringLiteral("/video 25.mp4");
    const QString v30 = folder + QStringLiteral("/video 30.mp4");
    bool ok = testmedia::Generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), sound,
                                   QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                   QStringLiteral("pcm_s16le")},
                                  wav) &&
              testmedia::Generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), sound,
                                   QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                   QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("128k")},
                                  mp3);
    for (const auto& [path, rate] : {std::pair{v25, 25}, std::pair{v30, 30}}) {
        ok = ok &&
             testmedia::Generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                  QStringLiteral("testsrc2=size=320x240:rate=%1:duration=%2").arg(rate).arg(d),
                                  QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                  QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")},
                                 path);
    }
    if (!ok) {
        m.error = QStringLiteral("ffmpeg could not make the session's media");
        return m;
    }
    m.songs = {wav, mp3};
    m.videos = {v25, v30};
    return m;
}

double FloodOutcome::slowestKeyMs() const
{
    return keyResponseMs.empty() ? 0.0 : *std::max_element(keyResponseMs.begin(), keyResponseMs.end());
}

int FloodOutcome::replies() const
{
    return int(
        std::count_if(answers.begin(), answers.end(), [](const RawAnswer& a) { return a.kind == RawAnswer::Reply; }));
}

int FloodOutcome::errors() const
{
    return int(
        std::count_if(answers.begin(), answers.end(), [](const RawAnswer& a) { return a.kind == RawAnswer::Error; }));
}

std::vector<RawCall> MixedCalls(int count, const std::string& song, const std::string& dest)
{
    std::vector<RawCall> calls;
    calls.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        switch (i % 8) {
        case 0:
            calls.push_back(KadroSetOptions("get_audio_duration", "", -1));
            break;
        case 1:
            calls.push_back(KadroSetOptions("get_audio_src", "", 7, "in"));
            break;
        case 2:
            calls.push_back(KadroSetOptions("set_video_dest", dest));
            break;
        case 3:
            calls.push_back(KadroSetOptions("get_video_dest", ""));
            break;
        case 4:
            calls.push_back(KadroSetOptions("get_audio_pos", "", -1));
            break;
        case 5:
            calls.push_back(KadroSetOptions("no_such_action_" + std::to_string(i), song, i, "kept"));
            break;
        case 6:
            calls.push_back(KadroSetOptions("set_audio_src", song));
            break;
        default:
            calls.push_back(RawCall{"TlmVideoKadro.Kadro", "/Kadro", "TlmVideoKadro.Kadro", "getVersion", "", ""});
            break;
        }
    }
    return calls;
}

namespace {

// Counts the calls the automation object has been handed (each arrives as one event).
class CallCounter final : public QObject {
public:
    std::atomic<int> served{0};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            served.fetch_add(1);
        return QObject::eventFilter(watched, event);
    }
};

// Notes when each of the flood's key presses has been handled by the slider: the event
// goes through the slider's own handling first, then the time is taken.
class KeyTimer final : public QObject {
public:
    explicit KeyTimer(const CallCounter& calls) : m_calls(calls) {}
    std::vector<Clock::time_point> handled;
    std::vector<int> servedAtHandle;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_inside || event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() != Qt::Key_Period && k->key() != Qt::Key_Comma)
            return QObject::eventFilter(watched, event);
        m_inside = true;
        QCoreApplication::sendEvent(watched, event);
        m_inside = false;
        handled.push_back(Clock::now());
        servedAtHandle.push_back(m_calls.served.load());
        return true;
    }

private:
    const CallCounter& m_calls;
    bool m_inside = false;
};

} // namespace

LiveEditor::LiveEditor(const QString& work, const QString& writerFolder) : m_work(work), m_writerFolder(writerFolder) {}

LiveEditor::~LiveEditor()
{
    if (m_app) {
        m_app->editor().setModified(false);
        m_app->mainWindow().close();
        m_app.reset();
    }
}

frmMain& LiveEditor::window()
{
    return m_app->mainWindow();
}

QWidget* LiveEditor::soundSlider()
{
    return window().findChild<QWidget*>(QStringLiteral("sliderSnd"));
}

QWidget* LiveEditor::videoSlider()
{
    frmVid* vid = m_app->videoWindow();
    return vid ? vid->findChild<QWidget*>(QStringLiteral("sliderVid")) : nullptr;
}

std::string LiveEditor::busAddress() const
{
    return qgetenv("DBUS_SESSION_BUS_ADDRESS").toStdString();
}

bool LiveEditor::start(QString* error)
{
    // The output documents go to a folder of this session's own: the output command
    // writes them under fixed names in TEMP, and a test or a render of another program
    // running at the same time must not read or overwrite them.
    const QString temp = m_work + QStringLiteral("/temp");
    QDir().mkpath(temp);
    qputenv("TEMP", QFile::encodeName(temp));
    m_app = std::make_unique<Application>([] { return std::make_unique<MpvEngine>(); }, [] { return 0x900; },
                                          QStringList());
    m_app->start();
    m_app->outputDriver().setApplicationFolder(m_writerFolder);
    QApplication::processEvents();
    const RawAnswer version = callOverBus(
        RawCall{"TlmVideoKadro.Kadro", "/Kadro", "TlmVideoKadro.Kadro", "getVersion", std::string(), std::string()});
    if (version.kind != RawAnswer::Reply) {
        *error = QStringLiteral("the editor does not answer on the bus");
        return false;
    }
    return true;
}

RawAnswer LiveEditor::callOverBus(const RawCall& call, int timeoutMs)
{
    RawAnswer answer;
    std::atomic<bool> done{false};
    const std::string address = busAddress();
    std::thread client([&] {
        RawBusClient c;
        if (c.connect(address))
            answer = c.call(call, std::chrono::milliseconds(timeoutMs));
        done = true;
    });
    PumpUntil([&] { return done.load(); }, timeoutMs + 10000);
    client.join();
    return answer;
}

FloodOutcome LiveEditor::flood(const std::vector<RawCall>& calls, int timeoutMs)
{
    FloodOutcome out;
    QObject* adaptor = QDBusConnection::sessionBus().objectRegisteredAt(QStringLiteral("/Kadro"));
    QWidget* slider = soundSlider();
    if (!adaptor || !slider) {
        out.clientError = "no automation object or no sound slider";
        return out;
    }
    CallCounter counter;
    KeyTimer timer(counter);
    adaptor->installEventFilter(&counter);
    slider->installEventFilter(&timer);

    std::atomic<bool> clientDone{false};
    std::vector<RawAnswer> answers;
    std::string clientError;
    double seconds = 0;
    const std::string address = busAddress();
    std::thread client([&] {
        RawBusClient c;
        if (!c.connect(address)) {
            clientError = c.error();
        } else {
            answers = c.callAll(calls, std::chrono::milliseconds(timeoutMs));
            seconds = c.lastDuration();
        }
        clientDone = true;
    });

    // The keyboard device the key events name, made here on this thread, not on the
    // thread that posts them.
    QInputDevice::primaryKeyboard();
    std::mutex postedMutex;
    std::vector<Clock::time_point> posted;
    std::vector<int> servedAtPost;
    std::thread keys([&] {
        int n = 0;
        while (!clientDone.load()) {
            // Forward and back in turn, so the position stays put over the flood.
            const int k = (n++ % 2) ? Qt::Key_Comma : Qt::Key_Period;
            {
                std::lock_guard<std::mutex> lock(postedMutex);
                posted.push_back(Clock::now());
                servedAtPost.push_back(counter.served.load());
            }
            QCoreApplication::postEvent(slider, new QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier));
            QCoreApplication::postEvent(slider, new QKeyEvent(QEvent::KeyRelease, k, Qt::NoModifier));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    PumpUntil([&] { return clientDone.load(); }, timeoutMs + 30000);
    client.join();
    keys.join();
    const int servedAtEnd = counter.served.load();
    // Every posted key is handled before the flood counts as over.
    PumpUntil([&] { return timer.handled.size() >= posted.size(); }, 30000);
    slider->removeEventFilter(&timer);
    adaptor->removeEventFilter(&counter);

    out.answers = std::move(answers);
    out.clientError = clientError;
    out.seconds = seconds;
    out.keysPosted = int(posted.size());
    out.keysHandled = int(timer.handled.size());
    for (size_t i = 0; i < timer.handled.size() && i < posted.size(); ++i) {
        out.keyResponseMs.push_back(std::chrono::duration<double, std::milli>(timer.handled[i] - posted[i]).count());
        if (servedAtPost[i] > 0 && servedAtPost[i] < servedAtEnd && timer.servedAtHandle[i] < servedAtEnd)
            ++out.keysHandledDuringFlood;
        if (out.callsServedBeforeFirstKeyHandled < 0)
            out.callsServedBeforeFirstKeyHandled = timer.servedAtHandle[i];
    }
    return out;
}

void LiveEditor::key(QWidget* w, int qtKey, int modifiers)
{
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(modifiers));
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::KeyboardModifiers(modifiers));
    QCoreApplication::sendEvent(w, &release);
}

void LiveEditor::shortcut(int qtKey, int modifiers)
{
    frmMain& w = window();
    PumpUntil(
        [&w] {
            w.activateWindow();
            return QApplication::activeWindow() == &w;
        },
        5000);
    soundSlider()->setFocus();
    QTest::keyClick(soundSlider(), Qt::Key(qtKey), Qt::KeyboardModifiers(modifiers));
}

bool LiveEditor::sessionLoop(int round, const SessionMedia& media, int floodCalls, FloodOutcome* flood, QString* error)
{
    frmMain& w = window();
    Editor& ed = m_app->editor();
    auto failed = [error](const QString& step) {
        *error = step;
        return false;
    };

    // The song, typed into the sound file field and entered.
    const QString song = media.songs.at(round % media.songs.size());
    {
        testsupport::DialogAnswers answers(QString(), false);
        auto* field = w.findChild<QLineEdit*>(QStringLiteral("txtSndFile"));
        if (!field)
            return failed(QStringLiteral("no sound file field"));
        field->setFocus();
        field->setText(song);
        key(field, Qt::Key_Return);
        if (!PumpUntil([&] { return ed.sndFile() == song && ed.sndLength() > 0; }, 30000))
            return failed(QStringLiteral("the song did not load: ") + song);
        if (!answers.messages.isEmpty())
            return failed(QStringLiteral("message while loading the song: ") + answers.messages.join(u'\n'));
    }

    // Taps: play, A four times, stop.
    QWidget* slider = soundSlider();
    slider->setFocus();
    const int rowsBefore = ed.lastRow();
    key(slider, Qt::Key_Space);
    Pump(300);
    for (int i = 0; i < 4; ++i) {
        key(slider, Qt::Key_A);
        Pump(250);
    }
    key(slider, Qt::Key_Space);
    if (ed.lastRow() <= rowsBefore)
        return failed(QStringLiteral("the taps made no section"));

    // The video, loaded over the bus.
    const QString video = media.videos.at(round % media.videos.size());
    const RawAnswer loaded = callOverBus(KadroSetOptions("set_video_src", video.toStdString()));
    if (loaded.kind != RawAnswer::Reply)
        return failed(QStringLiteral("set_video_src was not answered"));
    VideoPanel& vp = m_app->videoPanel();
    if (!PumpUntil([&] { return vp.fileText() == video && vp.videoLength() > 0; }, 30000))
        return failed(QStringLiteral("the video did not load"));

    // Registrations: a span of the video into each of the first three rows.
    QWidget* vslider = videoSlider();
    if (!vslider)
        return failed(QStringLiteral("no video slider"));
    int registered = 0;
    for (int row = 1; row <= std::min(3, ed.lastRow()); ++row) {
        ed.selection().SelectRow(row);
        vslider->setFocus();
        key(vslider, Qt::Key_Z);
        for (int i = 0; i < 5; ++i)
            key(vslider, Qt::Key_M);
        key(vslider, Qt::Key_X);
        key(vslider, Qt::Key_S);
        if (ed.Grid().videoFile(row) == video)
            ++registered;
    }
    if (registered == 0)
        return failed(QStringLiteral("no registration"));

    // Undo and redo back to the same table.
    auto table = [&ed] {
        QStringList cells;
        for (int r = 1; r < ed.Grid().Rows(); ++r)
            for (int c = 0; c < ed.Grid().Cols(); ++c)
                cells << RowCellText(ed.Grid(), r, c, ed.sndFrameInterval(), ed.sndLength());
        return cells;
    };
    const QStringList before = table();
    for (int i = 0; i < 3; ++i)
        shortcut(Qt::Key_Z, Qt::ControlModifier);
    if (table() == before)
        return failed(QStringLiteral("undo changed nothing"));
    for (int i = 0; i < 3; ++i)
        shortcut(Qt::Key_Y, Qt::ControlModifier);
    if (table() != before)
        return failed(QStringLiteral("redo did not give the table back"));

    // Save the project. Always under one name, removed first: the save dialog offers the
    // project's own name, and once its folder listing arrives it may put that name back
    // into the name field over the one typed in.
    const QString project = m_work + QStringLiteral("/session.rem");
    QFile::remove(project);
    {
        testsupport::DialogAnswers answers(project, true);
        auto* saveAs = w.findChild<QAction*>(QStringLiteral("mnuProjectSaveAs"));
        if (!saveAs)
            return failed(QStringLiteral("no save-as entry"));
        saveAs->trigger();
        if (!PumpUntil([&] { return !ed.modified() && QFileInfo::exists(project); }, 30000))
            return failed(QStringLiteral("the project was not saved (modified %1, file %2; dialogs %3; messages %4; "
                                         "questions %5)")
                              .arg(ed.modified())
                              .arg(QFileInfo::exists(project))
                              .arg(answers.fileDialogTitles.join(u','), answers.messages.join(u','),
                                   answers.questions.join(u',')));
    }

    // Render: WAV, DV AVI and MP4 in turn, each to a new file.
    static const char* const kinds[] = {"wav", "avi", "mp4"};
    const QString suffix = QLatin1String(kinds[round % 3]);
    const QString target = m_work + QStringLiteral("/render %1.%2").arg(round).arg(suffix);
    QFile::remove(target);
    {
        testsupport::DialogAnswers answers(target, true);
        auto* button = w.findChild<QPushButton*>(suffix == QLatin1String("mp4") ? QStringLiteral("cmdCreateMP4")
                                                                                : QStringLiteral("cmdCreateAVI"));
        if (!button)
            return failed(QStringLiteral("no output button"));
        button->click();
        if (!PumpUntil([&] { return QFileInfo(target).size() > 0; }, 180000))
            return failed(QStringLiteral("the render did not write ") + target);
    }
    // Earlier renders are not needed any more.
    QFile::remove(m_work + QStringLiteral("/render %1.%2").arg(round - 3).arg(suffix));

    // A preview of the whole song (the renderer's window closes by itself at the end).
    if (auto* preview = w.findChild<QPushButton*>(QStringLiteral("cmdPreview")))
        preview->click();

    // And a flood of calls, with key presses during it.
    if (floodCalls > 0) {
        *flood = this->flood(MixedCalls(floodCalls, song.toStdString(), target.toStdString()));
        if (flood->replies() != floodCalls)
            return failed(QStringLiteral("%1 of %2 calls answered").arg(flood->replies()).arg(floodCalls));
    }
    Pump(200);
    return true;
}

} // namespace vk::test
