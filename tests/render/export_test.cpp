// The OpenTimelineIO and CMX 3600 exports: parsed back and checked against the rows
// they come from (record in/out, source in, speed, transitions, markers), for the whole
// project and for a range, with golden files of the sample project.

#include "render/exportcommand.h"
#include "render/timelinedocument.h"
#include "render/timelineexport.h"
#include "tests/render/render_support.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace vk {
namespace {

const QString kSound = QStringLiteral("/music/曲 & song.wav");
const QString kClipA = QStringLiteral("/media/a b&c.mp4");
const QString kClipB = QStringLiteral("/media/映像 2.mkv");
const QString kStill = QStringLiteral("/media/静止画 & 1.png");
constexpr double kFps = 30000.0 / 1001.0;

// What a row asks for: its section (ms), its media span (ms), its file and how long it
// is held on under the next row's transition (its media span covers that time too).
struct RowSpan {
    int row;
    QString src;
    int start, end, mIn, mOut, held;
    double speed() const { return double(mOut - mIn) / double(end + held - start); }
};

long long frameOf(double ms)
{
    return std::llround(ms / 1000.0 * kFps);
}

class ExportTest : public ::testing::Test {
public:
    ScriptedUi ui;
    Editor editor{ui};
    RowTable& grid = editor.Grid();
    // Five sections over 10 s: normal speed, 3x with a fade in, a still with a burn in
    // (no counterpart: a dissolve), no video (a gap), half speed with a wipe in from the
    // gap.
    std::vector<RowSpan> rows = {{1, kClipA, 0, 2000, 1000, 3000, 500},
                                 {2, kClipB, 2000, 4000, 0, 6000, 400},
                                 {3, kStill, 4000, 6000, 0, 0, 0},
                                 {5, kClipA, 7000, 10000, 2000, 3440, 0}};

    void SetUp() override
    {
        // The writer's end reaches the command through the event loop.
        testsupport::EnsureCoreApp("render_tests");
        MakeSections(editor, {0, 2000, 4000, 6000, 7000}, 10000, 40);
        for (const RowSpan& r : rows)
            Register(editor, r.row, r.src, r.mIn, r.mOut, 40, r.src == kStill ? 300 : 640, r.src == kStill ? 200 : 480);
        setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"), 500);
        setEffect(3, QStringLiteral("ﾊﾞｰﾝ"), 400);
        setEffect(5, QStringLiteral("ﾜｲﾌﾟ"), 300);
        ASSERT_TRUE(TableInvariants(editor));
    }
    void setEffect(int row, const QString& name, std::optional<double> msec)
    {
        grid.setEffect(row, name);
        grid.setEffectLength(row, msec);
    }
    QString document() const
    {
        OutputFormat format;
        Mp4ProfileGet(kDefaultMp4Index, format);
        return TimelineDocumentText(TimelineInputs{editor.Grid(), kSound, editor.sndLength()}, format, 2, 1.0);
    }
    ExportSettings settings(long long startMs = 0, long long endMs = 0) const
    {
        ExportSettings s;
        s.rateNum = 30000;
        s.rateDen = 1001;
        s.startMs = startMs;
        s.endMs = endMs;
        s.title = QStringLiteral("曲 & サンプル");
        return s;
    }
    std::vector<ExportMarker> markers() const
    {
        std::vector<ExportMarker> m;
        for (const RowSpan& r : rows)
            m.push_back({ExportMarker::Kind::Section, double(r.start), QStringLiteral("行 %1").arg(r.row)});
        m.push_back({ExportMarker::Kind::Section, 6000, QStringLiteral("行 4")});
        for (int beat = 0; beat < 20; ++beat)
            m.push_back({beat % 4 == 0 ? ExportMarker::Kind::Bar : ExportMarker::Kind::Beat, 500.0 * beat,
                         beat % 4 == 0 ? QStringLiteral("小節 %1").arg(beat / 4 + 1) : QStringLiteral("拍")});
        return m;
    }
    const RowSpan& rowOf(const QString& src, long long recordIn, long long rangeIn) const
    {
        for (const RowSpan& r : rows)
            if (r.src == src && frameOf(r.start) <= recordIn + rangeIn && recordIn + rangeIn < frameOf(r.end) + 1)
                return r;
        ADD_FAILURE() << "no row for " << src.toStdString() << " at " << recordIn;
        return rows.front();
    }
};

// One clip read back from either format.
struct ReadClip {
    QString src;
    long long recIn = 0, recOut = 0;
    double srcIn = 0;
    double speed = 1;
    long long transition = 0; // frames of the transition that brings it in
};

std::vector<ReadClip> readOtioVideo(const QJsonObject& timeline, int& gaps)
{
    std::vector<ReadClip> clips;
    gaps = 0;
    const QJsonObject stack = timeline[QLatin1String("tracks")].toObject();
    EXPECT_EQ(stack[QLatin1String("OTIO_SCHEMA")].toString(), QStringLiteral("Stack.1"));
    const QJsonObject video = stack[QLatin1String("children")].toArray().at(0).toObject();
    EXPECT_EQ(video[QLatin1String("kind")].toString(), QStringLiteral("Video"));
    long long at = 0, pendingTransition = 0;
    for (const QJsonValue& v : video[QLatin1String("children")].toArray()) {
        const QJsonObject item = v.toObject();
        const QString schema = item[QLatin1String("OTIO_SCHEMA")].toString();
        if (schema == QLatin1String("Transition.1")) {
            EXPECT_EQ(item[QLatin1String("transition_type")].toString(), QStringLiteral("SMPTE_Dissolve"));
            EXPECT_EQ(item[QLatin1String("in_offset")].toObject()[QLatin1String("value")].toDouble(), 0);
            pendingTransition =
                std::llround(item[QLatin1String("out_offset")].toObject()[QLatin1String("value")].toDouble());
            continue;
        }
        const QJsonObject range = item[QLatin1String("source_range")].toObject();
        EXPECT_DOUBLE_EQ(range[QLatin1String("duration")].toObject()[QLatin1String("rate")].toDouble(), kFps);
        const long long length =
            std::llround(range[QLatin1String("duration")].toObject()[QLatin1String("value")].toDouble());
        if (schema == QLatin1String("Gap.1")) {
            ++gaps;
        } else {
            EXPECT_EQ(schema, QStringLiteral("Clip.2"));
            ReadClip c;
            const QJsonObject ref =
                item[QLatin1String("media_references")].toObject()[QLatin1String("DEFAULT_MEDIA")].toObject();
            EXPECT_EQ(ref[QLatin1String("OTIO_SCHEMA")].toString(), QStringLiteral("ExternalReference.1"));
            c.src = QUrl(ref[QLatin1String("target_url")].toString()).toLocalFile();
            c.recIn = at;
            c.recOut = at + length;
            c.srcIn = range[QLatin1String("start_time")].toObject()[QLatin1String("value")].toDouble();
            for (const QJsonValue& e : item[QLatin1String("effects")].toArray())
                c.speed = e.toObject()[QLatin1String("time_scalar")].toDouble();
            c.transition = pendingTransition;
            clips.push_back(c);
        }
        pendingTransition = 0;
        at += length;
    }
    return clips;
}

// Checks clips read back against the rows: record in at the section start, record out
// at the next clip's start (or the section's end), source in at the row's in point
// within half an output frame of source, the row's speed.
void checkAgainstRows(const ExportTest& t, const std::vector<ReadClip>& clips, long long rangeIn,
                      const std::vector<int>& expectRows)
{
    ASSERT_EQ(clips.size(), expectRows.size());
    for (size_t i = 0; i < clips.size(); ++i) {
        const ReadClip& c = clips[i];
        const RowSpan& r = t.rowOf(c.src, c.recIn, rangeIn);
        EXPECT_EQ(r.row, expectRows[i]);
        SCOPED_TRACE("row " + std::to_string(r.row));
        EXPECT_EQ(c.recIn, std::max(0LL, frameOf(r.start) - rangeIn));
        EXPECT_EQ(c.recOut, frameOf(r.end) - rangeIn);
        if (r.src == kStill)
            continue;
        const double skipped = double(std::max(0LL, rangeIn - frameOf(r.start))) / kFps * 1000.0;
        const double wantIn = (r.mIn + skipped * r.speed()) / 1000.0 * kFps;
        EXPECT_NEAR(c.srcIn, wantIn, std::max(0.5, r.speed() / 2) + 1e-9);
        // The EDL's M2 speed has one decimal of frames per second.
        EXPECT_NEAR(c.speed, r.speed(), 0.05 / 30 + 1e-9);
    }
}

TEST_F(ExportTest, OtioClipsGapsTransitionsAndMarkersFollowTheRows)
{
    const ExportResult result = OtioExport(document(), settings(), markers());
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(result.text, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject timeline = json.object();
    EXPECT_EQ(timeline[QLatin1String("OTIO_SCHEMA")].toString(), QStringLiteral("Timeline.1"));
    EXPECT_EQ(timeline[QLatin1String("name")].toString(), QStringLiteral("曲 & サンプル"));

    int gaps = 0;
    const std::vector<ReadClip> clips = readOtioVideo(timeline, gaps);
    checkAgainstRows(*this, clips, 0, {1, 2, 3, 5});
    EXPECT_EQ(gaps, 1); // row 4
    ASSERT_EQ(clips.size(), 4u);
    EXPECT_EQ(clips[0].transition, 0);
    EXPECT_EQ(clips[1].transition, frameOf(2500) - frameOf(2000));
    EXPECT_EQ(clips[2].transition, frameOf(4400) - frameOf(4000));
    EXPECT_EQ(clips[3].transition, frameOf(7300) - frameOf(7000));
    // The burn has no counterpart; the wipe has none in OTIO either.
    EXPECT_EQ(result.replaced, QStringList({TransitionClsid(true, QStringLiteral("ﾊﾞｰﾝ")),
                                            TransitionClsid(true, QStringLiteral("ﾜｲﾌﾟ"))}));

    // The sound clip on its own track, whole.
    const QJsonArray tracks = timeline[QLatin1String("tracks")].toObject()[QLatin1String("children")].toArray();
    ASSERT_EQ(tracks.size(), 2);
    const QJsonArray sound = tracks.at(1).toObject()[QLatin1String("children")].toArray();
    ASSERT_EQ(sound.size(), 1);
    const QJsonObject song = sound.at(0).toObject();
    EXPECT_EQ(QUrl(song[QLatin1String("media_references")]
                       .toObject()[QLatin1String("DEFAULT_MEDIA")]
                       .toObject()[QLatin1String("target_url")]
                       .toString())
                  .toLocalFile(),
              kSound);
    EXPECT_EQ(song[QLatin1String("source_range")]
                  .toObject()[QLatin1String("duration")]
                  .toObject()[QLatin1String("value")]
                  .toDouble(),
              double(frameOf(10000)));

    // Markers: five section starts and twenty beats, at their frames.
    const QJsonArray marks = timeline[QLatin1String("tracks")].toObject()[QLatin1String("markers")].toArray();
    ASSERT_EQ(marks.size(), 25);
    std::map<QString, long long> at;
    for (const QJsonValue& m : marks)
        at[m.toObject()[QLatin1String("name")].toString()] = std::llround(m.toObject()[QLatin1String("marked_range")]
                                                                              .toObject()[QLatin1String("start_time")]
                                                                              .toObject()[QLatin1String("value")]
                                                                              .toDouble());
    EXPECT_EQ(at[QStringLiteral("行 5")], frameOf(7000));
    EXPECT_EQ(at[QStringLiteral("小節 5")], frameOf(8000));

    EXPECT_EQ(QString::fromUtf8(result.text),
              rendertest::ReadText(QStringLiteral(VK_RENDER_DATA "/export_sample.otio")));
}

TEST_F(ExportTest, OtioOfARangeStartsAtItsFirstFrame)
{
    // Rows 2 .. 3 dragged: 2000 .. 6000 ms; the fade of row 2 starts with the range and
    // has nothing before it, so the clip starts cleanly.
    const ExportResult result = OtioExport(document(), settings(2000, 6000), markers());
    const QJsonObject timeline = QJsonDocument::fromJson(result.text).object();
    int gaps = 0;
    const std::vector<ReadClip> clips = readOtioVideo(timeline, gaps);
    checkAgainstRows(*this, clips, frameOf(2000), {2, 3});
    EXPECT_EQ(gaps, 0);
    const QJsonArray marks = timeline[QLatin1String("tracks")].toObject()[QLatin1String("markers")].toArray();
    EXPECT_EQ(marks.size(), 2 + 8); // rows 2 and 3, beats 4 .. 11
}

struct EdlEvent {
    int number = 0;
    QString reel, channel, transition;
    long long srcIn = 0, srcOut = 0, recIn = 0, recOut = 0;
    double m2Fps = -1;
    QStringList comments;
};

long long framesOf(const QString& tc, int base)
{
    const QStringList p = tc.split(QLatin1Char(':'));
    return ((p[0].toLongLong() * 60 + p[1].toLongLong()) * 60 + p[2].toLongLong()) * base + p[3].toLongLong();
}

std::vector<EdlEvent> readEdl(const QByteArray& bytes, int base)
{
    std::vector<EdlEvent> events;
    const QRegularExpression event(
        QStringLiteral("^(\\d{3})  (\\S{1,8}) +(V|A) +(C|D|W\\d{3}) *(\\d{3})? +(\\S+) (\\S+) (\\S+) (\\S+)$"));
    const QRegularExpression m2(QStringLiteral("^M2   (\\S{1,8}) +(-?\\d{3}\\.\\d) +(\\S+)$"));
    for (const QString& line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        EXPECT_FALSE(line.contains(QLatin1Char('\n'))) << line.toStdString();
        if (const auto m = event.match(line); m.hasMatch()) {
            EdlEvent e;
            e.number = m.captured(1).toInt();
            e.reel = m.captured(2);
            e.channel = m.captured(3);
            e.transition = m.captured(4) + (m.captured(5).isEmpty() ? QString() : QStringLiteral(" ") + m.captured(5));
            e.srcIn = framesOf(m.captured(6), base);
            e.srcOut = framesOf(m.captured(7), base);
            e.recIn = framesOf(m.captured(8), base);
            e.recOut = framesOf(m.captured(9), base);
            events.push_back(e);
        } else if (const auto s = m2.match(line); s.hasMatch()) {
            EXPECT_FALSE(events.empty());
            EXPECT_EQ(s.captured(1), events.back().reel);
            events.back().m2Fps = s.captured(2).toDouble();
        } else if (line.startsWith(QLatin1String("* "))) {
            if (!events.empty())
                events.back().comments << line;
        } else {
            EXPECT_TRUE(line.startsWith(QLatin1String("TITLE: ")) || line.startsWith(QLatin1String("FCM: ")))
                << line.toStdString();
        }
    }
    return events;
}

TEST_F(ExportTest, EdlEventsFollowTheRowsWithinTheFormatsLimits)
{
    const ExportResult result = EdlExport(document(), settings());
    const std::vector<EdlEvent> events = readEdl(result.text, 30);
    // Video: 1 cut, 2 dissolve (two lines), 3 dissolve for the burn, 5 wipe from black;
    // then the sound.
    std::vector<ReadClip> clips;
    std::map<QString, QString> reelOfFile;
    std::map<int, int> linesOfEvent;
    for (const EdlEvent& e : events)
        ++linesOfEvent[e.number];
    for (size_t i = 0; i < events.size(); ++i) {
        const EdlEvent& e = events[i];
        EXPECT_LE(e.reel.size(), 8);
        if (e.channel != QLatin1String("V") || (linesOfEvent[e.number] == 2 && e.transition == QLatin1String("C")))
            continue; // the sound, and the outgoing side of a transition
        ReadClip c;
        ASSERT_GE(e.comments.size(), 2);
        c.src = e.comments[1].mid(QStringLiteral("* SOURCE FILE: ").size());
        EXPECT_EQ(e.comments[0], QStringLiteral("* FROM CLIP NAME: ") + c.src.section(QLatin1Char('/'), -1));
        if (reelOfFile.count(c.src))
            EXPECT_EQ(reelOfFile[c.src], e.reel);
        reelOfFile[c.src] = e.reel;
        c.recIn = e.recIn;
        c.recOut = e.recOut;
        c.srcIn = double(e.srcIn);
        c.speed = e.m2Fps < 0 ? 1.0 : e.m2Fps / 30.0;
        if (e.transition != QLatin1String("C"))
            c.transition = e.transition.section(QLatin1Char(' '), 1).toLongLong();
        if (c.src != kStill)
            EXPECT_EQ(e.srcOut - e.srcIn, std::llround(double(e.recOut - e.recIn) * c.speed));
        clips.push_back(c);
    }
    checkAgainstRows(*this, clips, 0, {1, 2, 3, 5});
    EXPECT_EQ(reelOfFile.size(), 3u);
    ASSERT_EQ(clips.size(), 4u);
    EXPECT_EQ(clips[1].transition, frameOf(2500) - frameOf(2000));
    EXPECT_EQ(clips[3].transition, frameOf(7300) - frameOf(7000));

    // Each transition's outgoing line: zero length at the cut, the reel before it
    // (black before row 5).
    std::vector<const EdlEvent*> outgoing;
    for (const EdlEvent& e : events)
        if (linesOfEvent[e.number] == 2 && e.transition == QLatin1String("C"))
            outgoing.push_back(&e);
    ASSERT_EQ(outgoing.size(), 3u);
    EXPECT_EQ(outgoing[2]->reel, QStringLiteral("BL"));
    for (const EdlEvent* e : outgoing) {
        EXPECT_EQ(e->recIn, e->recOut);
        EXPECT_EQ(e->srcIn, e->srcOut);
    }
    const EdlEvent* wipe = nullptr;
    for (const EdlEvent& e : events)
        if (e.transition.startsWith(QLatin1String("W001")))
            wipe = &e;
    ASSERT_NE(wipe, nullptr);
    EXPECT_EQ(result.replaced, QStringList({TransitionClsid(true, QStringLiteral("ﾊﾞｰﾝ"))}));

    // The sound: one event over the whole clip.
    std::vector<EdlEvent> sound;
    for (const EdlEvent& e : events)
        if (e.channel == QLatin1String("A"))
            sound.push_back(e);
    ASSERT_EQ(sound.size(), 1u);
    EXPECT_EQ(sound[0].recOut, frameOf(10000));
    EXPECT_EQ(sound[0].comments.value(1), QStringLiteral("* SOURCE FILE: ") + kSound);

    EXPECT_EQ(QString::fromUtf8(result.text),
              rendertest::ReadText(QStringLiteral(VK_RENDER_DATA "/export_sample.edl")));
}

TEST_F(ExportTest, EdlOfARangeAndATitleThatBreaksTheLine)
{
    ExportSettings s = settings(2000, 6000);
    s.title = QStringLiteral("line\none ") + QString(80, QLatin1Char('x'));
    const ExportResult result = EdlExport(document(), s);
    const QString text = QString::fromUtf8(result.text);
    const QString title = text.section(QStringLiteral("\r\n"), 0, 0);
    EXPECT_EQ(title.size(), 7 + 70);
    EXPECT_TRUE(title.startsWith(QStringLiteral("TITLE: line one x")));
    const std::vector<EdlEvent> events = readEdl(result.text, 30);
    std::vector<ReadClip> clips;
    for (const EdlEvent& e : events)
        if (e.channel == QLatin1String("V")) {
            ReadClip c;
            c.src = e.comments.value(1).mid(QStringLiteral("* SOURCE FILE: ").size());
            c.recIn = e.recIn;
            c.recOut = e.recOut;
            c.srcIn = double(e.srcIn);
            c.speed = e.m2Fps < 0 ? 1.0 : e.m2Fps / 30.0;
            clips.push_back(c);
        }
    ASSERT_GE(clips.size(), 2u);
    // Row 3's burn: outgoing line first, then the still.
    clips.erase(clips.begin() + 1);
    checkAgainstRows(*this, clips, frameOf(2000), {2, 3});
}

// The EDL's event numbers and transition lengths have three digits. A project of 1,200
// rows (1,201 events with the sound) goes on in a second file, each numbered from 001,
// with the record times of the whole timeline, and the menu command writes both and
// names them; a transition longer than 999 frames is written as one of 999.
TEST_F(ExportTest, EdlPast999EventsGoesOnInAFileNumberedFrom001)
{
    constexpr int kRows = 1200;
    std::vector<int> starts;
    for (int r = 0; r < kRows; ++r)
        starts.push_back(r * 500);
    MakeSections(editor, starts, kRows * 500, 40);
    for (int r = 1; r <= kRows; ++r)
        Register(editor, r, r % 2 ? kClipA : kClipB, 0, 500, 40, 640, 480);
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("長い.edl"));
    const QString second = dir.filePath(QStringLiteral("長い_2.edl"));
    ui.saveNames.push_back(target);
    ExportCommand command(editor, QStringLiteral("/nonexistent/T-VideoWrite"));
    command.Export(ExportKind::Edl, BeatMarks{});

    ASSERT_TRUE(QFileInfo::exists(second)) << dir.path().toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    std::vector<EdlEvent> all;
    for (const QString& path : {target, second}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const std::vector<EdlEvent> events = readEdl(bytes, 30);
        ASSERT_FALSE(events.empty());
        // Numbered 001, 002 ... in each file.
        int expected = 0;
        for (const EdlEvent& e : events) {
            if (e.number != expected)
                ++expected;
            ASSERT_EQ(e.number, expected) << path.toStdString();
        }
        EXPECT_LE(expected, 999);
        EXPECT_TRUE(bytes.startsWith("TITLE: 長い\r\n"));
        all.insert(all.end(), events.begin(), events.end());
    }
    // Every row once, in order, at its own record time, then the sound.
    std::vector<const EdlEvent*> video;
    for (const EdlEvent& e : all)
        if (e.channel == QLatin1String("V"))
            video.push_back(&e);
    ASSERT_EQ(video.size(), size_t(kRows));
    for (int r = 0; r < kRows; ++r) {
        EXPECT_EQ(video[size_t(r)]->recIn, frameOf(r * 500.0)) << "row " << r + 1;
        EXPECT_EQ(video[size_t(r)]->recOut, frameOf((r + 1) * 500.0)) << "row " << r + 1;
    }
    EXPECT_EQ(all.back().channel, QStringLiteral("A"));
    EXPECT_EQ(all.size(), size_t(kRows) + 1);

    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Information);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("2 個のファイルに分けました")))
        << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(target + QStringLiteral("\r\n") + second));

    // The second file is asked about like the first: No keeps both old files.
    QFile(target).open(QIODevice::WriteOnly);
    QFile old(second);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ui.saveNames.push_back(target);
    ui.yesNo.push_back(true);
    ui.yesNo.push_back(false);
    command.Export(ExportKind::Edl, BeatMarks{});
    EXPECT_EQ(ui.questions.size(), 2);
    EXPECT_TRUE(ui.questions.value(1).text.contains(second));
    EXPECT_EQ(rendertest::ReadText(second), QStringLiteral("old"));
    EXPECT_EQ(QFileInfo(target).size(), 0);
}

TEST_F(ExportTest, EdlTransitionLongerThan999FramesIsWrittenAs999)
{
    // 40 s of fade (1,199 frames) into a 60 s section.
    MakeSections(editor, {0, 60000}, 120000, 40);
    Register(editor, 1, kClipA, 0, 100000, 40, 640, 480);
    Register(editor, 2, kClipB, 0, 60000, 40, 640, 480);
    setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"), 40000);
    const ExportResult result = EdlExport(document(), settings());
    EXPECT_TRUE(result.continued.empty());
    const std::vector<EdlEvent> events = readEdl(result.text, 30);
    const EdlEvent* dissolve = nullptr;
    for (const EdlEvent& e : events)
        if (e.transition.startsWith(QLatin1String("D")))
            dissolve = &e;
    ASSERT_NE(dissolve, nullptr) << result.text.toStdString();
    EXPECT_EQ(dissolve->transition, QStringLiteral("D 999"));
    EXPECT_EQ(dissolve->recIn, frameOf(60000));
    EXPECT_EQ(dissolve->recOut, frameOf(120000));
}

// The menu command: the dragged range, the save dialog's answer, the message naming the
// file and the transitions written as dissolves, by row.
TEST_F(ExportTest, OtioCommandExportsTheDraggedRangeAndNamesTheReplacedTransitions)
{
    QTemporaryDir dir;
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    editor.setPartOnly(true);
    editor.setDraggedRange(2, 3);
    const QString target = dir.filePath(QStringLiteral("書き出し & test.otio"));
    ui.saveNames.push_back(target);
    ExportCommand command(editor, QStringLiteral("/nonexistent/T-VideoWrite"));
    command.Export(ExportKind::Otio, BeatMarks{{0, 500, 1000, 1500, 2000, 2500}, {0, 2000}});

    ASSERT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_EQ(ui.saveDialogs[0].defaultSuffix, QStringLiteral("otio"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject timeline = QJsonDocument::fromJson(file.readAll()).object();
    int gaps = 0;
    checkAgainstRows(*this, readOtioVideo(timeline, gaps), frameOf(2000), {2, 3});
    QStringList names;
    for (const QJsonValue& m : timeline[QLatin1String("tracks")].toObject()[QLatin1String("markers")].toArray())
        names << m.toObject()[QLatin1String("name")].toString();
    EXPECT_EQ(names, QStringList({QStringLiteral("行 2"), QStringLiteral("行 3"), QStringLiteral("小節 2"),
                                  QStringLiteral("拍")}));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.startsWith(QStringLiteral("書き出しました。\r\n") + target));
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("行 3: ﾊﾞｰﾝ")));
    EXPECT_FALSE(ui.messages[0].text.contains(QStringLiteral("行 2:")));
}

// A stand-in for T-VideoWrite's export mode, in `dir`: a shell script that keeps its
// arguments ("<name>.args", one a line) and copies of its documents beside itself, then
// runs `body`.
QString fakeWriter(const QTemporaryDir& dir, const QString& name, const QByteArray& body)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray n = name.toUtf8();
    f.write("#!/bin/sh\nhere=\"$(dirname \"$0\")\"\n"
            "printf '%s\\n' \"$@\" > \"$here/" +
            n + ".args\"\ncp \"$4\" \"$here/" + n + ".params\"\ncp \"$5\" \"$here/" + n + ".markers\"\n" + body);
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Waits for the command's writer to end.
bool waitForEnd(ExportCommand& command)
{
    return testsupport::PumpUntil([&] { return !command.running(); }, 30000);
}

// The MLT projects: the writer runs with the export mode's arguments beside the
// editor (the command returns at once, started and progress follow it), its parameters
// document names the target and the MP4 profile, and the markers document carries
// every section; once it has ended, the message names the file and the transitions
// written as dissolves. One export runs at a time, and an existing file is kept when
// the user says No.
TEST_F(ExportTest, ShotcutCommandRunsTheWritersExportModeBesideTheEditor)
{
    QTemporaryDir dir;
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    const QString target = dir.filePath(QStringLiteral("曲 & 1.mlt"));
    const QString go = dir.filePath(QStringLiteral("go"));
    ui.saveNames.push_back(target);
    const QString writer = fakeWriter(dir, QStringLiteral("T-VideoWrite"),
                                      "echo 'progress  40%'\n"
                                      // At most 30 s, so that a command that waits for
                                      // the writer fails here rather than hangs.
                                      "i=0; while [ ! -e \"$here/go\" ] && [ $i -lt 1500 ]; do\n"
                                      "sleep 0.02; i=$((i+1)); done\n"
                                      "echo 'replaced: " +
                                          TransitionClsid(true, QStringLiteral("ﾜｲﾌﾟ")).toUtf8() +
                                          "'\necho \"Exported: $3\"\n: > \"$3\"\n");
    ExportCommand command(editor, writer);
    QSignalSpy started(&command, &ExportCommand::started);
    QSignalSpy progress(&command, &ExportCommand::progress);
    QSignalSpy finished(&command, &ExportCommand::finished);
    command.Export(ExportKind::Shotcut, BeatMarks{});

    // Back at once, the writer still running: nothing said yet.
    ASSERT_TRUE(command.running());
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][0].toString(), target);
    EXPECT_TRUE(ui.messages.isEmpty());
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !progress.isEmpty(); }, 30000));
    EXPECT_DOUBLE_EQ(progress.last()[0].toDouble(), 0.4);

    // A second export meanwhile asks nothing and says why.
    command.Export(ExportKind::Kdenlive, BeatMarks{});
    EXPECT_EQ(ui.saveDialogs.size(), 1);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.startsWith(QStringLiteral("書き出し中です。")))
        << ui.messages[0].text.toStdString();
    ui.messages.clear();

    QFile(go).open(QIODevice::WriteOnly);
    ASSERT_TRUE(waitForEnd(command));
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(rendertest::ReadText(writer + QStringLiteral(".args")).split(QLatin1Char('\n')).mid(0, 3),
              QStringList({QStringLiteral("--export"), QStringLiteral("shotcut"), target}));
    const QString paramsText = rendertest::ReadText(writer + QStringLiteral(".params"));
    const QString markersText = rendertest::ReadText(writer + QStringLiteral(".markers"));
    EXPECT_TRUE(paramsText.contains(QStringLiteral("<AviFileName>") + target.toHtmlEscaped() +
                                    QStringLiteral("</AviFileName>")));
    EXPECT_TRUE(paramsText.contains(QStringLiteral("<FrameWidth>1280</FrameWidth>")));
    EXPECT_EQ(markersText.count(QStringLiteral("kind=\"section\"")), 5);
    EXPECT_TRUE(markersText.contains(QStringLiteral("seconds=\"7\" name=\"行 5\"")));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.startsWith(QStringLiteral("書き出しました。\r\n") + target));
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("行 5: ﾜｲﾌﾟ")));

    // The file now exists: No to the overwrite question runs nothing.
    QFile::remove(writer + QStringLiteral(".args"));
    ui.saveNames.push_back(target);
    ui.yesNo.push_back(false);
    command.Export(ExportKind::Kdenlive, BeatMarks{});
    EXPECT_FALSE(command.running());
    EXPECT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(started.size(), 1);
}

// Cancel stops the writer: no file, no part file, the old target as it was, and the
// status line says so. A command that goes while its writer runs stops it the same way.
TEST_F(ExportTest, CancelledExportLeavesNoFile)
{
    QTemporaryDir dir;
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    const QString target = dir.filePath(QStringLiteral("a.kdenlive"));
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the previous export");
    }
    // As the writer does: the part file is written, and a stop signal removes it.
    const QString writer = fakeWriter(dir, QStringLiteral("T-VideoWrite"),
                                      "trap 'rm -f \"$3.part\"; exit 2' TERM\n"
                                      ": > \"$3.part\"\necho 'progress  95%'\n"
                                      "while :; do sleep 0.02; done\n");
    ExportCommand command(editor, writer);
    QSignalSpy progress(&command, &ExportCommand::progress);
    QSignalSpy finished(&command, &ExportCommand::finished);
    ui.saveNames.push_back(target);
    ui.yesNo.push_back(true);
    command.Export(ExportKind::Kdenlive, BeatMarks{});
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !progress.isEmpty(); }, 30000));
    ASSERT_TRUE(QFileInfo::exists(target + QStringLiteral(".part")));
    command.cancel();
    ASSERT_TRUE(waitForEnd(command));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !finished.isEmpty(); }, 30000));
    EXPECT_EQ(rendertest::ReadText(target), QStringLiteral("the previous export"));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("a.*")}, QDir::Files),
              QStringList{QStringLiteral("a.kdenlive")});
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(editor.msg(), QStringLiteral("書き出しをキャンセルしました。ファイルは作成されていません。"));

    const QString other = dir.filePath(QStringLiteral("b.kdenlive"));
    {
        ExportCommand leaving(editor, writer);
        QSignalSpy leavingProgress(&leaving, &ExportCommand::progress);
        ui.saveNames.push_back(other);
        leaving.Export(ExportKind::Kdenlive, BeatMarks{});
        ASSERT_TRUE(testsupport::PumpUntil([&] { return !leavingProgress.isEmpty(); }, 30000));
    }
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("b.*")}, QDir::Files), QStringList());
    EXPECT_TRUE(ui.messages.isEmpty());
}

// A dragged range left beyond the last row is said, and nothing is written.
TEST_F(ExportTest, ADraggedRangeBeyondTheLastRowIsReported)
{
    QTemporaryDir dir;
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    editor.setPartOnly(true);
    editor.setDraggedRange(4, 9);
    const QString target = dir.filePath(QStringLiteral("range.otio"));
    ui.saveNames.push_back(target);
    ExportCommand command(editor, QStringLiteral("/nonexistent/T-VideoWrite"));
    command.Export(ExportKind::Otio, BeatMarks{});
    EXPECT_FALSE(QFileInfo::exists(target));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(
        ui.messages[0].text,
        QStringLiteral("ﾄﾞﾗｯｸﾞ選択範囲が行の範囲を超えています（4～9 行目、最終行 5）。範囲を選択し直してください。"));
}

// A writer that fails is reported with the target and its reason; one that cannot be
// started with its path.
TEST_F(ExportTest, FailedOrMissingWriterIsReported)
{
    QTemporaryDir dir;
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    const QString target = dir.filePath(QStringLiteral("a.mlt"));
    const QString writer = fakeWriter(dir, QStringLiteral("T-VideoWrite"),
                                      "echo 'T-VideoWrite: ファイルを作成できません。' >&2\nexit 1\n");
    ExportCommand command(editor, writer);
    ui.saveNames.push_back(target);
    command.Export(ExportKind::Shotcut, BeatMarks{});
    ASSERT_TRUE(waitForEnd(command));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !ui.messages.isEmpty(); }, 30000));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("書き出しに失敗しました。\r\n") + target +
                                       QStringLiteral("\r\nファイルを作成できません。"));
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);

    ui.messages.clear();
    ExportCommand missing(editor, dir.filePath(QStringLiteral("no-such-writer")));
    QSignalSpy finished(&missing, &ExportCommand::finished);
    ui.saveNames.push_back(target);
    missing.Export(ExportKind::Shotcut, BeatMarks{});
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !finished.isEmpty(); }, 30000));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("T-VideoWrite を起動できません。\r\n") + dir.filePath(QStringLiteral("no-such-writer")));
}

// Two exports at the same moment (two editors, or one exporting while another's writer
// runs): each writer reads documents of its own, and none is left in the temporary
// folder once its writer is done.
TEST_F(ExportTest, EachExportsDocumentsAreItsOwnAndGoOnceTheWriterIsDone)
{
    QTemporaryDir dir, temp;
    const QByteArray oldTemp = qgetenv("TEMP");
    qputenv("TEMP", QFile::encodeName(temp.path()));
    editor.setSndFile(kSound);
    editor.setMp4ProfileIndex(kDefaultMp4Index);
    const QString first = dir.filePath(QStringLiteral("a.mlt"));
    const QString second = dir.filePath(QStringLiteral("b.kdenlive"));
    ui.saveNames.push_back(first);
    ui.saveNames.push_back(second);
    // Both writers run until both have started.
    const QByteArray wait = "while [ ! -e \"$here/one.args\" ] || [ ! -e \"$here/two.args\" ]; do sleep 0.02; done\n";
    ExportCommand command(editor, fakeWriter(dir, QStringLiteral("one"), wait));
    ExportCommand other(editor, fakeWriter(dir, QStringLiteral("two"), wait));
    command.Export(ExportKind::Shotcut, BeatMarks{});
    other.Export(ExportKind::Kdenlive, BeatMarks{});
    EXPECT_TRUE(command.running());
    EXPECT_TRUE(other.running());
    ASSERT_TRUE(waitForEnd(command));
    ASSERT_TRUE(waitForEnd(other));
    const QStringList left = QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    if (oldTemp.isNull())
        qunsetenv("TEMP");
    else
        qputenv("TEMP", oldTemp);

    const QStringList firstArgs =
        rendertest::ReadText(dir.filePath(QStringLiteral("one.args"))).split(QLatin1Char('\n'));
    const QStringList secondArgs =
        rendertest::ReadText(dir.filePath(QStringLiteral("two.args"))).split(QLatin1Char('\n'));
    ASSERT_GE(firstArgs.size(), 5);
    ASSERT_GE(secondArgs.size(), 5);
    EXPECT_NE(firstArgs[3], secondArgs[3]);
    EXPECT_NE(firstArgs[4], secondArgs[4]);
    EXPECT_TRUE(rendertest::ReadText(dir.filePath(QStringLiteral("one.params")))
                    .contains(QStringLiteral("<AviFileName>") + first.toHtmlEscaped()));
    EXPECT_TRUE(rendertest::ReadText(dir.filePath(QStringLiteral("two.params")))
                    .contains(QStringLiteral("<AviFileName>") + second.toHtmlEscaped()));
    EXPECT_EQ(left, QStringList()) << "left in the temporary folder";
    ASSERT_TRUE(testsupport::PumpUntil([&] { return ui.messages.size() == 2; }, 30000));
}

} // namespace
} // namespace vk
