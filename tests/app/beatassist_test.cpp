// The beat assist of the main window: analysis of every loaded clip, taps adjusted by
// latency and snapped to the beats at the level of the user's taps, the settings kept,
// the beat split command, the latency calibration on a scripted player.

#include "app/beatassist.h"
#include "app/tapcalibration.h"
#include "app/waveformstrip.h"
#include "base/settingsstore.h"
#include "media/analysis/analysisworker.h"
#include "media/soundpanel.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/beatsnap.h"
#include "timeline/editor.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vk {
namespace {

void ensureApp()
{
    static int argc = 1;
    static char name[] = "beats_assist_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QApplication(argc, argv);
}

bool waitUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

class MemoryStore final : public SettingsStore {
public:
    using SettingsStore::RegValueWrite;
    QMap<QString, QString> values;
    bool RegValueRead(const QString& name, QString& text) override
    {
        text = values.value(name);
        return values.contains(name);
    }
    bool RegValueWrite(const QString& name, const QString& value) override
    {
        values[name] = value;
        return true;
    }
    void RegKeyCreate() override {}
    void sync() override {}
};

std::vector<int> starts(const Editor& editor)
{
    std::vector<int> out;
    for (int r = 1; r <= editor.lastRow(); ++r)
        out.push_back(editor.Grid().text(r, Col::SectionMsec).toInt());
    return out;
}

AudioAnalysis beatsEvery(double spacing, double lengthMs, std::vector<double> onsets = {})
{
    AudioAnalysis a;
    a.sampleRate = 44100;
    a.durationMs = lengthMs;
    for (double t = 0; t < lengthMs; t += spacing)
        a.beatsMs.push_back(t);
    for (size_t i = 0; i < a.beatsMs.size(); i += 4)
        a.downbeatsMs.push_back(a.beatsMs[i]);
    a.bpm = 60000.0 / spacing;
    a.onsetsMs = std::move(onsets);
    return a;
}

class BeatAssistTest : public ::testing::Test {
protected:
    BeatAssistTest()
    {
        ensureApp();
        editor.setPanels(&sound, nullptr);
        editor.setSndFile(QStringLiteral("/music/song.wav"));
    }

    std::unique_ptr<BeatAssist> makeAssist()
    {
        return std::make_unique<BeatAssist>(editor, sound, store, nullptr, nullptr,
                                            [] { return std::make_unique<FakeEngine>(); });
    }

    void tapAt(int ms)
    {
        engine.position = ms;
        editor.sections().SndRegister();
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine engine;
    FakeEngine beep;
    SoundPanel sound{editor, engine, &beep};
    MemoryStore store;
};

TEST_F(BeatAssistTest, LatencyAndSnappingApplyToTapsAndAreKeptInTheSettings)
{
    MakeSections(editor, {0}, 20000);
    auto assist = makeAssist();
    EXPECT_EQ(editor.sections().tapAdjuster(), assist.get());
    assist->setAnalysis(beatsEvery(500.0, 20000.0, {1230.0}));

    // Everything off: the tap is used as read.
    EXPECT_FALSE(assist->snapOn());
    tapAt(1040);
    assist->setLatencyMs(30.0);
    tapAt(2045); // latency only: 2015
    assist->setSnapOn(true);
    tapAt(3070); // 3040 after latency: the beat at 3000
    tapAt(1270); // 1240: no beat within 60 ms, the onset at 1230
    tapAt(3780); // 3750: 250 ms from every beat, stays
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1040, 1230, 2015, 3000, 3750}));
    EXPECT_TRUE(TableInvariants(editor));

    EXPECT_EQ(store.values.value(QStringLiteral("beat_snap")), QStringLiteral("1"));
    EXPECT_EQ(store.values.value(QStringLiteral("tap_latency")), QStringLiteral("30"));
    // A second assist (the next start of the editor) reads them back.
    assist.reset();
    EXPECT_EQ(editor.sections().tapAdjuster(), nullptr);
    store.values[QStringLiteral("beat_snap_window")] = QStringLiteral("100");
    auto again = makeAssist();
    EXPECT_TRUE(again->snapOn());
    EXPECT_EQ(again->latencyMs(), 30.0);
    EXPECT_EQ(again->snapWindowMs(), 100.0);
}

TEST_F(BeatAssistTest, BeatsFollowTheLevelOfTheUsersTaps)
{
    MakeSections(editor, {0}, 20000);
    auto assist = makeAssist();
    assist->setSnapOn(true);
    // Beats at 240 BPM; the user taps every other beat, on the even ones.
    assist->setAnalysis(beatsEvery(250.0, 20000.0));
    for (int t : {1010, 1505, 2000, 2495})
        tapAt(t);
    EXPECT_NEAR(medianSpacing(assist->beats()), 500.0, 1e-9);
    EXPECT_TRUE(std::binary_search(assist->beats().begin(), assist->beats().end(), 3000.0));
    // 2760 is 10 ms from a beat of the detected level, but 240 ms from the tapped level.
    tapAt(2760);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1000, 1500, 2000, 2500, 2760}));
}

TEST_F(BeatAssistTest, ClipWithoutBeatsGivesANoteAndTapsStayAsTheyWere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notsound.wav"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is no sound at all");
    }
    engine.info.durationMsec = 9000;
    auto assist = makeAssist();
    assist->setSnapOn(true);
    bool analysed = false;
    QObject::connect(assist.get(), &BeatAssist::analysed, [&] { analysed = true; });
    sound.SndFileLoad(path);
    ASSERT_TRUE(waitUntil([&] { return analysed; }));
    EXPECT_FALSE(assist->analysis().hasBeats());
    EXPECT_FALSE(assist->analysis().reason.isEmpty());
    EXPECT_EQ(editor.msg(), assist->analysis().reason);
    tapAt(1234);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1234}));
}

TEST_F(BeatAssistTest, LoadedClipIsAnalysedAndItsBeatsSplitTheSections)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clicks.wav"));
    const ClickTrack track = makeClickTrack(120.0, 24);
    ASSERT_TRUE(WriteWavFile(path, track.pcm, track.sampleRate));
    engine.info.durationMsec = 12000;
    engine.info.secondsPerFrame = 1.0 / 30.0;
    auto assist = makeAssist();
    bool analysed = false;
    QObject::connect(assist.get(), &BeatAssist::analysed, [&] { analysed = true; });
    editor.setSndFile(path);
    sound.SndFileLoad(path);
    ASSERT_TRUE(waitUntil([&] { return analysed; }));
    ASSERT_TRUE(assist->analysis().hasBeats()) << assist->analysis().reason.toStdString();
    EXPECT_NEAR(assist->analysis().bpm, 120.0, 2.0);
    EXPECT_FALSE(assist->analysis().peaks.isEmpty());

    // Every 4 beats (2 s) from row 1 to the end.
    editor.Grid().currentRow = 1;
    editor.setDraggedRange(1, 1);
    ui.inputs.push_back(QStringLiteral("4"));
    assist->beatSplitCommand();
    ASSERT_EQ(ui.inputTitles.size(), 1);
    EXPECT_EQ(ui.inputTitles.front(), QStringLiteral("ビートで区間分割"));
    // The starts are every fourth detected beat, 2 s apart.
    const std::vector<int> got = starts(editor);
    ASSERT_GE(got.size(), 5u);
    const std::vector<double> points = beatSplitPoints(assist->beats(), 0.0, 12000.0, 4);
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_TRUE(std::any_of(points.begin(), points.end(), [&](double p) { return std::lround(p) == got[i]; }))
            << got[i];
        if (i >= 2) {
            EXPECT_NEAR(got[i] - got[i - 1], 2000.0, 60.0);
        }
    }
    EXPECT_TRUE(TableInvariants(editor));
    editor.history().Undo();
    EXPECT_EQ(starts(editor), (std::vector<int>{0}));

    // An answer that is not 1, 2, 4 or 8 changes nothing.
    ui.inputs.push_back(QStringLiteral("3"));
    assist->beatSplitCommand();
    EXPECT_EQ(starts(editor), (std::vector<int>{0}));
}

TEST_F(BeatAssistTest, CalibrationMeasuresTheMedianLatencyFromThePlayersPosition)
{
    auto assist = makeAssist();
    FakeEngine* player = nullptr;
    TapCalibration dialog(
        [&player] {
            auto e = std::make_unique<FakeEngine>();
            player = e.get();
            return e;
        },
        0.0);
    QObject::connect(&dialog, &TapCalibration::latencyChosen, assist.get(),
                     [&](double ms) { assist->setLatencyMs(ms); });
    dialog.start();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->openedPath, dialog.trackPath());
    // A WAV of 16 beats at 120 BPM: 8 s of 16-bit mono after the 44-byte header.
    EXPECT_EQ(QFile(dialog.trackPath()).size(), qint64(44 + makeClickTrack(120.0, 16).pcm.size() * 2));
    ASSERT_EQ(dialog.clicksMs().size(), size_t(TapCalibration::kBeats));
    for (int i = 0; i < TapCalibration::kBeats; ++i) {
        // Mostly 40 ms late, a few taps off by more: the median ignores them.
        const double late = i % 5 == 0 ? 90.0 : (i % 7 == 0 ? -20.0 : 40.0);
        player->position = int(dialog.clicksMs()[size_t(i)] + late);
        QTest::keyClick(&dialog, Qt::Key_A);
    }
    EXPECT_EQ(dialog.tapCount(), TapCalibration::kBeats);
    EXPECT_EQ(assist->latencyMs(), 40.0);
    EXPECT_EQ(store.values.value(QStringLiteral("tap_latency")), QStringLiteral("40"));

    // The reset sets it back to 0.
    auto* reset = dialog.findChild<QPushButton*>(QStringLiteral("cmdReset"));
    ASSERT_NE(reset, nullptr);
    reset->click();
    EXPECT_EQ(assist->latencyMs(), 0.0);
}

} // namespace
} // namespace vk
