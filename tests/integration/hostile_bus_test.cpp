// The automation interface under a flood: the whole editor in this process (real
// players, windows offscreen) on a private session bus, and clients of the test's own
// that send as fast as the socket takes it, strings of ten megabytes, bytes that are not
// UTF-8 or hold a NUL, unknown actions with huge names, and calls while a message box
// waits. Every call is answered or refused with an error reply, the editor never
// crashes, keeps its state, and handles key presses while the calls pour in.
//
// How fast the keys are handled is a figure, printed by soakbench, not asserted here.
#include "app/application.h"
#include "app/frmmain.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "tests/app/privatebus.h"
#include "tests/integration/livesession.h"
#include "tests/support/pump.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace vk {
namespace {

using test::KadroSetOptions;
using test::RawAnswer;
using test::RawBusClient;
using test::RawCall;
using testsupport::PumpUntil;

test::PrivateBus* g_bus = nullptr;

struct Media {
    QTemporaryDir dir;
    test::SessionMedia files;
};
Media* g_media = nullptr;

// The values of the editor the flood must leave as they were.
struct EditorState {
    QString sndFile;
    int sndLength = 0;
    QString outputPath;
    QString videoFile;
    QStringList cells;
    bool operator==(const EditorState& o) const
    {
        return sndFile == o.sndFile && sndLength == o.sndLength && outputPath == o.outputPath &&
               videoFile == o.videoFile && cells == o.cells;
    }
};

class BusFlood : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_media = new Media;
        g_media->files = test::MakeSessionMedia(g_media->dir.path(), 4);
    }
    static void TearDownTestSuite()
    {
        delete g_media;
        g_media = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(g_bus && g_bus->ok()) << (g_bus ? g_bus->error().toStdString() : "no bus");
        ASSERT_TRUE(g_media->files.error.isEmpty()) << g_media->files.error.toStdString();
        ASSERT_TRUE(work.isValid());
        editor = std::make_unique<test::LiveEditor>(work.path(), QStringLiteral(VK_WRITER_FOLDER));
        QString error;
        ASSERT_TRUE(editor->start(&error)) << error.toStdString();
        song = g_media->files.songs.front();
        editor->app().soundPanel().SndFileOpen(song);
        ASSERT_TRUE(PumpUntil([this] { return ed().sndLength() > 0; }, 30000));
        for (int ms : {1000, 2000, 3000})
            ed().sections().SndSectionAdd(ms);
        ed().setOutputPath(work.filePath(QStringLiteral("out.avi")));
        ed().setModified(false);
    }

    void TearDown() override { editor.reset(); }

    Editor& ed() { return editor->app().editor(); }

    EditorState state()
    {
        EditorState s{ed().sndFile(), ed().sndLength(), ed().outputPath(), editor->app().videoPanel().fileText(), {}};
        for (int r = 1; r < ed().Grid().Rows(); ++r)
            for (int c = 0; c < ed().Grid().Cols(); ++c)
                s.cells << CellText(ed().Grid(), r, c, ed().sndFrameInterval(), ed().sndLength());
        return s;
    }

    // The calls of one client on a thread of its own, while this thread serves them.
    std::vector<RawAnswer> callAll(const std::vector<RawCall>& calls, bool* dropped = nullptr, int timeoutMs = 60000)
    {
        std::vector<RawAnswer> answers;
        std::atomic<bool> done{false};
        bool closed = false;
        const std::string address = editor->busAddress();
        std::thread client([&] {
            RawBusClient c;
            if (c.connect(address)) {
                answers = c.callAll(calls, std::chrono::milliseconds(timeoutMs));
                closed = c.closedByBus();
            }
            done = true;
        });
        PumpUntil([&] { return done.load(); }, timeoutMs + 30000);
        client.join();
        if (dropped)
            *dropped = closed;
        return answers;
    }

    // The editor still answers a plain call with its real values.
    void expectStillAnswers()
    {
        const RawAnswer a = editor->callOverBus(KadroSetOptions("get_audio_duration", "", -1));
        EXPECT_EQ(a.kind, RawAnswer::Reply) << a.errorName;
        EXPECT_EQ(a.retVal, ed().sndLength());
        const RawAnswer b = editor->callOverBus(KadroSetOptions("get_audio_src", ""));
        EXPECT_EQ(QString::fromStdString(b.retValueStr), ed().sndFile());
    }

    QTemporaryDir work;
    std::unique_ptr<test::LiveEditor> editor;
    QString song;
};

TEST_F(BusFlood, TenThousandCallsSentBackToBackAreAllAnsweredAndKeysAreHandledMeanwhile)
{
    const EditorState before = state();
    const std::string dest = before.outputPath.toStdString();
    const int count = 10000;
    const test::FloodOutcome out = editor->flood(test::MixedCalls(count, song.toStdString(), dest));
    ASSERT_EQ(out.clientError, "");
    ASSERT_EQ(int(out.answers.size()), count);
    EXPECT_EQ(out.replies(), count) << out.errors() << " error replies";

    // Each answer is the right one for its call (MixedCalls' order).
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        const RawAnswer& a = out.answers[size_t(i)];
        bool ok = a.kind == RawAnswer::Reply;
        switch (i % 8) {
        case 0:
            ok = ok && a.retVal == before.sndLength;
            break;
        case 1:
            ok = ok && a.retVal == 7 && a.retValueStr == song.toStdString();
            break;
        case 3:
            ok = ok && a.retValueStr == dest;
            break;
        case 5:
            ok = ok && a.retVal == i && a.retValueStr == "kept";
            break;
        default:
            break;
        }
        if (!ok && wrong++ < 5)
            ADD_FAILURE() << "call " << i << " answered wrongly: " << a.errorName << " " << a.retVal << " '"
                          << a.retValueStr << "'";
    }
    EXPECT_EQ(wrong, 0);

    // Every key pressed during the flood is handled. Whether some were handled while the
    // calls were still being served depends on how the two threads interleave; the next
    // case checks that, alone on the machine.
    EXPECT_GT(out.keysPosted, 0);
    EXPECT_EQ(out.keysHandled, out.keysPosted);
    std::printf("flood of %d calls: %.2f s, %d keys, slowest key response %.1f ms\n", count, out.seconds,
                out.keysHandled, out.slowestKeyMs());

    EXPECT_TRUE(state() == before) << "the flood changed the editor's state";
    expectStillAnswers();
}

// The window keeps handling keys while the calls are being served, not only after the
// last one. Which key lands between two calls depends on the scheduler: this case runs
// alone, with the label "timing".
TEST_F(BusFlood, KeysAreHandledWhileTheCallsAreBeingServed)
{
    const int count = 10000;
    const test::FloodOutcome out =
        editor->flood(test::MixedCalls(count, song.toStdString(), ed().outputPath().toStdString()));
    ASSERT_EQ(out.clientError, "");
    ASSERT_EQ(int(out.answers.size()), count);
    EXPECT_EQ(out.keysHandled, out.keysPosted);
    EXPECT_GT(out.keysHandledDuringFlood, 0)
        << "no key press was handled between the first and the last call; " << out.keysPosted
        << " posted, the first handled after " << out.callsServedBeforeFirstKeyHandled << " calls";
}

TEST_F(BusFlood, TenMegabyteArgumentsAreAnsweredOrRefusedAndChangeNothingThatCannotBeAFile)
{
    const EditorState before = state();
    const std::string huge(10 * 1024 * 1024, 'a');
    const std::string hugePath = "/" + huge;
    const std::vector<RawCall> calls = {
        KadroSetOptions("set_audio_src", hugePath),  KadroSetOptions("set_video_src", hugePath),
        KadroSetOptions("set_video_dest", hugePath), KadroSetOptions("get_audio_src", huge, 3, huge),
        KadroSetOptions(huge, hugePath, 4, "kept"),  KadroSetOptions("get_audio_duration", "", 0, huge),
    };
    const std::vector<RawAnswer> answers = callAll(calls);
    ASSERT_EQ(answers.size(), calls.size());
    for (size_t i = 0; i < answers.size(); ++i)
        EXPECT_NE(answers[i].kind, RawAnswer::None) << "call " << i << " got no answer";
    // A path longer than any file path is refused, and the editor keeps its own.
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(answers[i].kind, RawAnswer::Error) << "call " << i;
        EXPECT_EQ(answers[i].errorName, "org.freedesktop.DBus.Error.InvalidArgs") << "call " << i;
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no message box for a refused call";
    // Reads and unknown actions are answered, the in/out values coming back whole.
    EXPECT_EQ(answers[3].kind, RawAnswer::Reply);
    EXPECT_EQ(answers[3].retValueStr, song.toStdString());
    EXPECT_EQ(answers[4].kind, RawAnswer::Reply);
    EXPECT_EQ(answers[4].retVal, 4);
    EXPECT_EQ(answers[4].retValueStr, "kept");
    EXPECT_EQ(answers[5].kind, RawAnswer::Reply);
    EXPECT_EQ(answers[5].retVal, before.sndLength);
    EXPECT_EQ(answers[5].retValueStr.size(), huge.size());

    EXPECT_TRUE(state() == before) << "a refused call changed the editor's state";
    expectStillAnswers();
}

TEST_F(BusFlood, BytesThatAreNotUtf8OrHoldANulDropOnlyTheirSender)
{
    const EditorState before = state();
    const std::vector<RawCall> bad = {
        KadroSetOptions("set_audio_src", "/music/\xff\xfe\xc3(.wav"),
        KadroSetOptions("set_video_dest", std::string("/out/a\0b.avi", 12)),
        KadroSetOptions(std::string("set_audio_src\0x", 15), "/music/x.wav"),
    };
    RawCall badPath = KadroSetOptions("get_audio_src", "");
    badPath.path = std::string("/Ka\0dro", 7);
    for (const RawCall& call : {bad[0], bad[1], bad[2], badPath}) {
        bool dropped = false;
        const std::vector<RawAnswer> answers = callAll({call, KadroSetOptions("get_audio_src", "")}, &dropped, 10000);
        // The bus refuses such a message: it drops the sender, or answers with an error.
        ASSERT_EQ(answers.size(), 2u);
        EXPECT_TRUE(dropped || answers[0].kind == RawAnswer::Error);
        EXPECT_NE(answers[0].kind, RawAnswer::Reply);
        // Other clients are answered as before.
        expectStillAnswers();
    }
    EXPECT_TRUE(state() == before);
}

TEST_F(BusFlood, UnknownActionsWithHugeNamesGiveTheirValuesBack)
{
    const EditorState before = state();
    std::vector<RawCall> calls;
    for (size_t length : {size_t(1000), size_t(100000), size_t(1000000)})
        calls.push_back(KadroSetOptions(std::string(length, 'x') + "_set_audio_src", "/music/other.wav", 9, "in"));
    // Names that differ from a known action only far out.
    calls.push_back(KadroSetOptions("set_audio_src" + std::string(500000, ' '), "/music/other.wav", 9, "in"));
    const std::vector<RawAnswer> answers = callAll(calls);
    ASSERT_EQ(answers.size(), calls.size());
    for (const RawAnswer& a : answers) {
        EXPECT_EQ(a.kind, RawAnswer::Reply) << a.errorName;
        EXPECT_EQ(a.retVal, 9);
        EXPECT_EQ(a.retValueStr, "in");
    }
    EXPECT_TRUE(state() == before);
    expectStillAnswers();
}

TEST_F(BusFlood, CallsWhileTheVideoPanelsMessageWaitsAreAnswered)
{
    const std::string missing = work.filePath(QStringLiteral("not there.mp4")).toStdString();
    const EditorState before = state();

    // set_video_src with a file that is not there shows the panel's message inside the
    // call: that caller waits until the message is closed.
    std::atomic<bool> firstDone{false};
    RawAnswer first;
    const std::string address = editor->busAddress();
    std::thread waiting([&] {
        RawBusClient c;
        if (c.connect(address))
            first = c.call(KadroSetOptions("set_video_src", missing, 5, "s"), std::chrono::seconds(120));
        firstDone = true;
    });
    // The message runs its own event loop inside the call, so what happens while it is
    // up happens from a timer that fires in that loop: another client's calls, then OK.
    QString boxText;
    int replies = -1;
    bool firstAnsweredWhileUp = true;
    bool boxStillUp = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch.stop();
        boxText = box->text();
        const std::vector<RawAnswer> answers =
            callAll(test::MixedCalls(1000, song.toStdString(), before.outputPath.toStdString()));
        replies = int(std::count_if(answers.begin(), answers.end(),
                                    [](const RawAnswer& a) { return a.kind == RawAnswer::Reply; }));
        firstAnsweredWhileUp = firstDone.load();
        boxStillUp = QApplication::activeModalWidget() == box;
        box->button(QMessageBox::Ok)->click();
    });
    watch.start();
    EXPECT_TRUE(PumpUntil([&] { return firstDone.load(); }, 120000));
    watch.stop();
    waiting.join();
    EXPECT_TRUE(boxText.contains(QString::fromStdString(missing))) << boxText.toStdString();
    EXPECT_EQ(replies, 1000) << "another client's calls while the message was up";
    EXPECT_FALSE(firstAnsweredWhileUp) << "the first caller is answered only when the message closes";
    EXPECT_TRUE(boxStillUp);
    EXPECT_EQ(first.kind, RawAnswer::Reply);
    EXPECT_EQ(first.retVal, 5);
    EXPECT_EQ(first.retValueStr, "s");
    EXPECT_EQ(editor->app().videoPanel().fileText().toStdString(), missing) << "the panel shows the name it was given";

    EditorState after = state();
    after.videoFile = before.videoFile;
    EXPECT_TRUE(after == before);
    expectStillAnswers();
}

} // namespace
} // namespace vk

int main(int argc, char** argv)
{
    // The bus first: QtDBus reads the session bus address once.
    std::unique_ptr<vk::test::PrivateBus> bus = vk::test::StartPrivateSessionBus();
    vk::g_bus = bus.get();
    QApplication::setOrganizationName(QStringLiteral("TALMOR"));
    QApplication::setApplicationName(QStringLiteral("videokadro"));
    vk::testsupport::EnsureGuiApp("integration_hostile_bus_test");
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    vk::g_bus = nullptr;
    return rc;
}
