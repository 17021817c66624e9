// The beat assist of the main window: analysis of every loaded clip, taps adjusted by
// latency and snapped to the beats at the level of the user's taps, the settings kept,
// the beat split command, the latency calibration on a scripted player.

#include "app/beatassist.h"
#include "app/tapcalibration.h"
#include "app/waveformstrip.h"
#include "base/settingsstore.h"
#include "media/analysis/analysiscache.h"
#include "media/analysis/analysisworker.h"
#include "media/analysis/beatlevel.h"
#include "media/soundpanel.h"
#include "project/projectfile.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/beatsnap.h"
#include "timeline/editor.h"
#include "timeline/undohistory.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QMenu>
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
        out.push_back(editor.Grid().row(r).start.value_or(0));
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
    // The starts are the bar lines the strip shows (the click track's high clicks, every
    // fourth beat from 0), 2 s apart, not every fourth beat from the first one found.
    const std::vector<int> got = starts(editor);
    ASSERT_GE(got.size(), 5u);
    const std::vector<double>& bars = assist->bars();
    ASSERT_GE(bars.size(), 4u);
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_TRUE(std::any_of(bars.begin(), bars.end(), [&](double p) { return std::lround(p) == got[i]; }))
            << got[i];
        EXPECT_NEAR(std::remainder(got[i], 2000.0), 0.0, 60.0) << got[i];
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

// ---- the grid corrected by hand in the strip ----------------------------------------------

class GridStripTest : public BeatAssistTest {
protected:
    GridStripTest()
    {
        slider = new QSlider(Qt::Horizontal, &window);
        slider->setGeometry(0, 0, 1000, 20);
        window.resize(1000, 200);
    }
    void makeWithStrip()
    {
        if (editor.sndLength() <= 0)
            editor.setSoundClip(10000, 33);
        editor.sections().SndClear(); // one section from 0, nothing to undo
        assist = std::make_unique<BeatAssist>(editor, sound, store, slider, nullptr,
                                              [] { return std::make_unique<FakeEngine>(); });
        assist->setAnalysis(beatsEvery(500, 10000)); // beats 0, 500, ... 9500; bars every 4 from 0
        strip()->resize(1000, BeatAssist::kStripHeight);
        strip()->setView(0, 10000); // 10 px per 100 ms
    }
    WaveformStrip* strip() { return assist->strip(); }
    // Drags the tick of the beat at `beatMs` to `toMs` in the beat lane.
    void drag(double beatMs, double toMs, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const int y = strip()->height() - 4;
        const QPoint from(int(std::lround(strip()->xAt(beatMs, strip()->width()))) + 2, y);
        const QPoint to(int(std::lround(strip()->xAt(toMs, strip()->width()))) + 2, y);
        QTest::mousePress(strip(), Qt::LeftButton, modifiers, from);
        QMouseEvent move(QEvent::MouseMove, to, strip()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, modifiers);
        QApplication::sendEvent(strip(), &move);
        QTest::mouseRelease(strip(), Qt::LeftButton, modifiers, to);
    }
    // Runs the strip's context menu item `name` at time ms.
    void menu(const char* name, double ms)
    {
        QMenu m;
        strip()->fillContextMenu(m, ms);
        QAction* a = m.findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_TRUE(a) << name;
        a->trigger();
    }

    QWidget window;
    QSlider* slider = nullptr;
    std::unique_ptr<BeatAssist> assist;
};

std::vector<double> every(double first, double spacing, double to)
{
    std::vector<double> out;
    for (double t = first; t <= to; t += spacing)
        out.push_back(t);
    return out;
}

TEST_F(GridStripTest, DraggingATickMovesTheGridInOneUndoStep)
{
    makeWithStrip();
    const std::vector<double> before = assist->beats();
    ASSERT_EQ(before, every(0, 500, 9500));
    drag(2000, 2200); // the whole grid 200 ms later
    std::vector<double> moved = every(200, 500, 9700);
    EXPECT_EQ(assist->beats(), moved);
    EXPECT_EQ(assist->bars(), every(200, 2000, 9700));
    EXPECT_TRUE(editor.modified());
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), before);
    editor.history().Redo();
    EXPECT_EQ(assist->beats(), moved);

    // With Shift only from the dragged beat on (and the beat before it, passed, goes).
    drag(4700, 4100, Qt::ShiftModifier);
    const std::vector<double>& b = assist->beats();
    EXPECT_EQ(std::count(b.begin(), b.end(), 3700.0), 1);
    EXPECT_EQ(std::count(b.begin(), b.end(), 4200.0), 0);
    EXPECT_EQ(std::count(b.begin(), b.end(), 4100.0), 1);
    EXPECT_EQ(b.back(), 9100.0);
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), moved);

    // A press on a tick that does not move seeks and corrects nothing; so does a press
    // above the beat lane.
    drag(2200, 2200);
    QTest::mouseClick(strip(), Qt::LeftButton, Qt::NoModifier, QPoint(int(strip()->xAt(2200, 1000)), 5));
    EXPECT_EQ(assist->beats(), moved);
    // The one step left to take back is the first drag.
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), before);
    EXPECT_FALSE(editor.history().canUndo());
}

TEST_F(GridStripTest, ContextMenuCommandsEachOneUndoStep)
{
    makeWithStrip();
    const std::vector<double> beats = every(0, 500, 9500);
    QMenu m;
    strip()->fillContextMenu(m, 1000);
    QStringList texts;
    for (QAction* a : m.actions())
        if (!a->isSeparator())
            texts << a->text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("ここを小節の頭に"), QStringLiteral("テンポを2倍"),
                                  QStringLiteral("テンポを半分"), QStringLiteral("ここからテンポ変更"),
                                  QStringLiteral("グリッドをリセット")}));

    menu("gridBarStart", 1480); // the beat at 1500 starts a bar
    std::vector<double> bars{}; // 1500 and every fourth beat both ways: 1500, 3500, ...
    for (double t : beats)
        if (std::fmod(t - 1500 + 20000, 2000) == 0)
            bars.push_back(t);
    EXPECT_EQ(assist->bars(), bars);

    menu("gridDouble", 3000);
    EXPECT_EQ(assist->beats(), every(0, 250, 9500));
    menu("gridHalf", 3000);
    EXPECT_EQ(assist->beats(), beats);
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), every(0, 250, 9500));
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), beats);
    EXPECT_EQ(assist->bars(), bars);
    editor.history().Undo();
    EXPECT_EQ(assist->bars(), every(0, 2000, 9500));
    EXPECT_TRUE(assist->corrections().empty());

    // A tempo change from 4000: its tempo from the next beat dragged (5000 to 4800: two
    // beats of 400 ms), and the two are one step (taken back below).
    menu("gridTempoFrom", 4000);
    ASSERT_TRUE(assist->pendingTempo());
    EXPECT_EQ(*assist->pendingTempo(), 4000.0);
    drag(5000, 4800);
    EXPECT_FALSE(assist->pendingTempo());
    ASSERT_EQ(assist->segments().size(), 2u);
    EXPECT_NEAR(assist->segments()[0].bpm, 120.0, 1e-6);
    EXPECT_EQ(assist->segments()[1].fromMs, 4000.0);
    EXPECT_NEAR(assist->segments()[1].bpm, 150.0, 1e-6);
    EXPECT_EQ(strip()->tempo() > 0, true);
    const std::vector<double> changed = assist->beats();
    EXPECT_EQ(changed.back(), 10000.0);

    menu("gridReset", 0);
    EXPECT_EQ(assist->beats(), beats);
    EXPECT_TRUE(assist->segments().size() <= 1);
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), changed);
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), beats);
}

TEST_F(GridStripTest, TheBeatSplitCutsAtTheCorrectedBarLines)
{
    makeWithStrip();
    menu("gridBarStart", 1500);
    editor.Grid().currentRow = 1;
    editor.setDraggedRange(1, 1);
    ui.inputs.push_back(QStringLiteral("4"));
    assist->beatSplitCommand();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1500, 3500, 5500, 7500, 9500}));
    // The strip shows the same beats and bars that were cut at.
    EXPECT_EQ(assist->bars(), (std::vector<double>{1500, 3500, 5500, 7500, 9500}));
}

// ---- corrections kept with the file -------------------------------------------------------

class GridFileTest : public GridStripTest {
protected:
    GridFileTest()
    {
        project = std::make_unique<ProjectFile>(editor);
        ConnectProjectCommands(editor, *project);
        song = dir.filePath(QStringLiteral("song.wav"));
        writeSong(120.0);
        // The cache is the process's: no corrections an earlier test made for the same song.
        AnalysisCache().storeCorrections(AnalysisCache::contentKey(song), QByteArray());
        engine.info.durationMsec = 10000;
        engine.info.secondsPerFrame = 1.0 / 30.0;
    }
    void writeSong(double bpm)
    {
        const ClickTrack track = makeClickTrack(bpm, 20);
        ASSERT_TRUE(WriteWavFile(song, track.pcm, track.sampleRate));
    }
    // Loads the project and gives the analysis the worker would (without waiting for it).
    void open(const QString& path)
    {
        ASSERT_TRUE(project->ProjectLoad(path));
        assist->worker().cancel();
        assist->setAnalysis(beatsEvery(500, 10000));
    }

    QTemporaryDir dir;
    QString song;
    std::unique_ptr<ProjectFile> project;
};

TEST_F(GridFileTest, CorrectionsSurviveSaveAndOpenAndTheCache)
{
    editor.setSndFile(song);
    makeWithStrip();
    drag(2000, 2100);
    menu("gridBarStart", 2600);
    const GridCorrections made = assist->corrections();
    const std::vector<double> beats = assist->beats();
    const std::vector<double> bars = assist->bars();
    ASSERT_EQ(made.edits.size(), 2u);
    const QString path = dir.filePath(QStringLiteral("p.rem"));
    ASSERT_TRUE(project->ProjectSave(path))
        << (ui.messages.isEmpty() ? std::string() : ui.messages.back().text.toStdString());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("<beatgrid soundkey=\""));

    // Another sound clip, then the project again: its corrections come back.
    const QString other = dir.filePath(QStringLiteral("other.wav"));
    const ClickTrack track = makeClickTrack(90.0, 8);
    ASSERT_TRUE(WriteWavFile(other, track.pcm, track.sampleRate));
    editor.setSndFile(other);
    sound.SndFileLoad(other);
    assist->worker().cancel();
    EXPECT_TRUE(assist->corrections().empty());
    // The cache is emptied, so they can only come from the project file.
    AnalysisCache().storeCorrections(AnalysisCache::contentKey(song), QByteArray());
    open(path);
    EXPECT_EQ(assist->corrections(), made);
    EXPECT_EQ(assist->beats(), beats);
    EXPECT_EQ(assist->bars(), bars);

    // The cache keeps them too: the same file loaded without the project.
    editor.setSndFile(song);
    sound.SndFileLoad(song);
    assist->worker().cancel();
    EXPECT_TRUE(assist->corrections().empty());
    assist->setAnalysis(beatsEvery(500, 10000));
    EXPECT_EQ(assist->corrections(), made);
}

TEST_F(GridFileTest, CorrectionsFromTheCacheAreNoUndoStep)
{
    editor.setSndFile(song);
    makeWithStrip();
    drag(2000, 2100);
    const GridCorrections made = assist->corrections();
    ASSERT_EQ(made.edits.size(), 1u);
    const QByteArray key = AnalysisCache::contentKey(song);

    // The song again; its analysis arrives while the taps of a play are one open step.
    sound.SndFileLoad(song);
    assist->worker().cancel();
    ASSERT_TRUE(assist->corrections().empty());
    editor.sections().beginTapRun();
    tapAt(3000);
    assist->setAnalysis(beatsEvery(500, 10000));
    EXPECT_EQ(assist->corrections(), made);
    editor.sections().endTapRun();

    // Undo takes back the tap alone: the cache's corrections were where the document
    // started, and their file stays.
    editor.history().Undo();
    EXPECT_EQ(starts(editor), (std::vector<int>{0}));
    EXPECT_EQ(assist->corrections(), made);
    EXPECT_EQ(GridCorrections::fromBytes(AnalysisCache().loadCorrections(key)), made);
    EXPECT_FALSE(editor.history().canUndo());
    editor.history().Redo();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 3000}));
    EXPECT_EQ(assist->corrections(), made);

    // A project's corrections are where it starts, too: a correction after the open is the
    // one step back.
    const QString path = dir.filePath(QStringLiteral("p.rem"));
    ASSERT_TRUE(project->ProjectSave(path));
    AnalysisCache().storeCorrections(key, QByteArray());
    open(path);
    EXPECT_EQ(assist->corrections(), made);
    menu("gridDouble", 3000);
    editor.history().Undo();
    EXPECT_EQ(assist->corrections(), made);
    EXPECT_FALSE(editor.history().canUndo());
    EXPECT_EQ(GridCorrections::fromBytes(AnalysisCache().loadCorrections(key)), made);
}

TEST_F(GridFileTest, AnOverlongOrTooDenseCorrectionIsCutWithANote)
{
    editor.setSndFile(song);
    makeWithStrip();
    const QByteArray key = AnalysisCache::contentKey(song);

    // Doublings by hand stop at beats 62.5 ms apart: the next would bring them closer
    // than 40 ms, changes nothing and is no step.
    for (int i = 0; i < 3; ++i)
        menu("gridDouble", 3000);
    EXPECT_EQ(assist->beats(), every(0, 62.5, 9500));
    menu("gridDouble", 3000);
    EXPECT_EQ(assist->corrections().edits.size(), 3u);
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("40ms"))) << editor.msg().toStdString();
    EXPECT_EQ(assist->beats(), every(0, 62.5, 9500));
    editor.history().Undo();
    EXPECT_EQ(assist->beats(), every(0, 125, 9500));

    // The cache holds 1,500 doublings for the song (a file made by hand): the first 1,000
    // are used and stored, the beats stay 40 ms apart, and the status line says so.
    QByteArray text;
    for (int i = 0; i < 1500; ++i)
        text += "double 0 0\n";
    ASSERT_TRUE(AnalysisCache().storeCorrections(key, text));
    sound.SndFileLoad(song);
    assist->worker().cancel();
    editor.setMsg(QString());
    assist->setAnalysis(beatsEvery(500, 10000));
    EXPECT_EQ(assist->corrections().edits.size(), GridCorrections::kMaxEdits);
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("1000"))) << editor.msg().toStdString();
    EXPECT_EQ(assist->beats(), every(0, 62.5, 9500));
    EXPECT_EQ(GridCorrections::fromBytes(AnalysisCache().loadCorrections(key))->edits.size(),
              GridCorrections::kMaxEdits);
    // No more corrections by hand on a full list.
    menu("gridBarStart", 1000);
    EXPECT_EQ(assist->corrections().edits.size(), GridCorrections::kMaxEdits);
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("1000"))) << editor.msg().toStdString();
    EXPECT_FALSE(editor.history().canUndo());

    // Four doublings from the cache: the fourth lays no beats, and the status line says so.
    ASSERT_TRUE(AnalysisCache().storeCorrections(key, text.left(4 * 11)));
    sound.SndFileLoad(song);
    assist->worker().cancel();
    editor.setMsg(QString());
    assist->setAnalysis(beatsEvery(500, 10000));
    EXPECT_EQ(assist->corrections().edits.size(), 4u);
    EXPECT_EQ(assist->beats(), every(0, 62.5, 9500));
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("40ms"))) << editor.msg().toStdString();
}

TEST_F(GridFileTest, CorrectionsForAChangedSoundFileAreDroppedWithANote)
{
    editor.setSndFile(song);
    makeWithStrip();
    drag(2000, 2100);
    const QString path = dir.filePath(QStringLiteral("p.rem"));
    ASSERT_TRUE(project->ProjectSave(path))
        << (ui.messages.isEmpty() ? std::string() : ui.messages.back().text.toStdString());
    writeSong(100.0); // the song's content changes
    open(path);
    EXPECT_TRUE(assist->corrections().empty());
    EXPECT_EQ(assist->beats(), every(0, 500, 9500));
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("ビートグリッドの修正を破棄"))) << editor.msg().toStdString();
}

} // namespace
} // namespace vk
