// Corrections of the beat grid by hand, applied on top of the beats in use, and the beat
// split on the bars the grid shows.

#include "timeline/beatsnap.h"
#include "timeline/gridcorrections.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vk {
namespace {

// Beats every `period` ms from `first`, `count` of them.
std::vector<double> steadyBeats(double first, double period, int count)
{
    std::vector<double> out;
    for (int i = 0; i < count; ++i)
        out.push_back(first + i * period);
    return out;
}

// Every n-th of the beats, from index `from`.
std::vector<double> everyNth(const std::vector<double>& beats, size_t from, size_t n)
{
    std::vector<double> out;
    for (size_t i = from; i < beats.size(); i += n)
        out.push_back(beats[i]);
    return out;
}

GridCorrections one(GridEdit::Kind kind, double at, double value)
{
    GridCorrections c;
    c.edits.push_back({kind, at, value});
    return c;
}

TEST(GridCorrections, TextRoundTripAndDamagedTextIsRefused)
{
    GridCorrections c;
    c.edits = {{GridEdit::Kind::Shift, 0.0, -12.25},    {GridEdit::Kind::ShiftFrom, 1000.1, 30.0},
               {GridEdit::Kind::BarStart, 2000.0, 0.0}, {GridEdit::Kind::Double, 1.0 / 3.0, 0.0},
               {GridEdit::Kind::Half, 500.0, 0.0},      {GridEdit::Kind::TempoFrom, 8000.0, 428.5714285714}};
    const QByteArray bytes = c.toBytes();
    const std::optional<GridCorrections> back = GridCorrections::fromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, c);
    EXPECT_EQ(back->toBytes(), bytes);
    EXPECT_TRUE(GridCorrections().toBytes().isEmpty());
    ASSERT_TRUE(GridCorrections::fromBytes(QByteArray()));
    EXPECT_TRUE(GridCorrections::fromBytes(QByteArray())->empty());

    EXPECT_FALSE(GridCorrections::fromBytes("stretch 100 2\n"));
    EXPECT_FALSE(GridCorrections::fromBytes("shift 100\n"));
    EXPECT_FALSE(GridCorrections::fromBytes("shift abc 2\n"));
    EXPECT_FALSE(GridCorrections::fromBytes("shift nan 2\n"));
    EXPECT_FALSE(GridCorrections::fromBytes(bytes + "tempo 1 2 3\n"));
}

TEST(GridCorrections, ShiftMovesTheWholeGridOrOnlyFromABeatOn)
{
    const std::vector<double> beats = steadyBeats(100, 500, 16);
    const std::vector<double> bars = everyNth(beats, 0, 4);

    const CorrectedGrid all = correctGrid(beats, bars, one(GridEdit::Kind::Shift, 1600, 40), 8000);
    ASSERT_EQ(all.beats.size(), beats.size());
    for (size_t i = 0; i < beats.size(); ++i)
        EXPECT_DOUBLE_EQ(all.beats[i], beats[i] + 40);
    EXPECT_EQ(all.bars, everyNth(all.beats, 0, 4));

    // From the beat nearest 1620 (1600, index 3) on; a move back past the beat before it
    // drops that beat.
    const CorrectedGrid from = correctGrid(beats, bars, one(GridEdit::Kind::ShiftFrom, 1620, 120), 8000);
    ASSERT_EQ(from.beats.size(), beats.size());
    EXPECT_DOUBLE_EQ(from.beats[2], 1100);
    EXPECT_DOUBLE_EQ(from.beats[3], 1720);
    EXPECT_DOUBLE_EQ(from.beats[15], beats[15] + 120);
    const CorrectedGrid back = correctGrid(beats, bars, one(GridEdit::Kind::ShiftFrom, 1600, -600), 8000);
    EXPECT_EQ(back.beats.size(), beats.size() - 1);
    EXPECT_DOUBLE_EQ(back.beats[1], 600);
    EXPECT_DOUBLE_EQ(back.beats[2], 1000);
    EXPECT_TRUE(std::is_sorted(back.beats.begin(), back.beats.end()));
}

TEST(GridCorrections, BarStartKeepsTheBarLengthAndCountsBothWays)
{
    const std::vector<double> beats = steadyBeats(0, 500, 20);
    // The tracker's bars are in three: the bar start moves, the length stays.
    const CorrectedGrid g = correctGrid(beats, everyNth(beats, 0, 3), one(GridEdit::Kind::BarStart, 3510, 0), 10000);
    EXPECT_EQ(g.bars, everyNth(beats, 1, 3)); // 3500 is index 7: 1, 4, 7, ...
    // No bars from the tracker: four to the bar.
    const CorrectedGrid four = correctGrid(beats, {}, one(GridEdit::Kind::BarStart, 1000, 0), 10000);
    EXPECT_EQ(four.bars, everyNth(beats, 2, 4));
}

TEST(GridCorrections, DoubleAndHalfTheTempo)
{
    const std::vector<double> beats = steadyBeats(0, 1000, 9);
    const CorrectedGrid twice = correctGrid(beats, everyNth(beats, 0, 4), one(GridEdit::Kind::Double, 0, 0), 9000);
    EXPECT_EQ(twice.beats, steadyBeats(0, 500, 17));
    EXPECT_EQ(twice.bars, everyNth(beats, 0, 4)); // the bars keep their times
    ASSERT_EQ(twice.segments.size(), 1u);
    EXPECT_NEAR(twice.segments[0].bpm, 120.0, 1e-9);

    // Half keeps the beat it was asked at (an odd one here).
    const CorrectedGrid half = correctGrid(beats, {}, one(GridEdit::Kind::Half, 3100, 0), 9000);
    EXPECT_EQ(half.beats, steadyBeats(1000, 2000, 4));
}

TEST(GridCorrections, TempoChangeFromABeatLaysANewTempoToTheEnd)
{
    const std::vector<double> beats = steadyBeats(0, 500, 20); // 120 BPM to 9500
    GridCorrections c;
    c.edits = {{GridEdit::Kind::TempoFrom, 4000, 400}}; // 150 BPM from the ninth beat
    const CorrectedGrid g = correctGrid(beats, everyNth(beats, 0, 4), c, 12000);
    const std::vector<double> head(g.beats.begin(), g.beats.begin() + 9);
    EXPECT_EQ(head, steadyBeats(0, 500, 9));
    for (size_t i = 9; i < g.beats.size(); ++i)
        EXPECT_DOUBLE_EQ(g.beats[i], 4000 + 400.0 * double(i - 8));
    EXPECT_DOUBLE_EQ(g.beats.back(), 12000);
    // The bars go on every fourth beat across the change: 4000 is a bar start.
    EXPECT_EQ(g.bars, everyNth(g.beats, 0, 4));
    ASSERT_EQ(g.segments.size(), 2u);
    EXPECT_DOUBLE_EQ(g.segments[0].fromMs, 0);
    EXPECT_NEAR(g.segments[0].bpm, 120.0, 1e-9);
    EXPECT_DOUBLE_EQ(g.segments[1].fromMs, 4000);
    EXPECT_NEAR(g.segments[1].bpm, 150.0, 1e-9);

    // A later whole-grid move carries the change along; a tempo far too fast is ignored.
    c.edits.push_back({GridEdit::Kind::Shift, 0, 20});
    EXPECT_DOUBLE_EQ(correctGrid(beats, {}, c, 12000).segments[1].fromMs, 4020);
    EXPECT_EQ(correctGrid(beats, {}, one(GridEdit::Kind::TempoFrom, 4000, 50), 12000).beats, beats);
}

TEST(GridCorrections, ALongListIsCutAndTheBeatsStayApartAndBounded)
{
    // A file of 5,000 doublings keeps the first 1,000 and says how many more there were.
    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text += "double 0 0\n";
    size_t dropped = 0;
    const std::optional<GridCorrections> read = GridCorrections::fromBytes(text, &dropped);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->edits.size(), GridCorrections::kMaxEdits);
    EXPECT_EQ(dropped, 5000u - GridCorrections::kMaxEdits);
    size_t none = 7;
    ASSERT_TRUE(GridCorrections::fromBytes("double 0 0\n", &none));
    EXPECT_EQ(none, 0u);

    // Doubling a 500 ms grid stops where the beats would come closer than 40 ms: three
    // doublings give 62.5 ms, a fourth would give 31.25 ms and adds nothing.
    const std::vector<double> beats = steadyBeats(0, 500, 21); // to 10 s
    GridCorrections c = one(GridEdit::Kind::Double, 0, 0);
    for (int i = 0; i < 3; ++i)
        c.edits.push_back(c.edits.front());
    const CorrectedGrid g = correctGrid(beats, {}, c, 10000);
    EXPECT_EQ(g.beats, steadyBeats(0, 62.5, 161));
    EXPECT_EQ(g.heldBack, 1);
    c.edits.pop_back();
    EXPECT_EQ(correctGrid(beats, {}, c, 10000).heldBack, 0);

    // All the list's doublings, with beats moved far off and tempo changes laid out to
    // there: no more beats than 10 s has room for at 40 ms, none closer.
    GridCorrections worst = *read;
    worst.edits[10] = {GridEdit::Kind::ShiftFrom, 5000, 1e12};
    worst.edits[20] = {GridEdit::Kind::TempoFrom, 3000, 200};
    worst.edits[30] = {GridEdit::Kind::ShiftFrom, 9000, 1e300};
    worst.edits[40] = {GridEdit::Kind::TempoFrom, 9000, 200};
    const CorrectedGrid w = correctGrid(beats, {}, worst, 10000);
    EXPECT_LE(w.beats.size(), size_t(10000 / kMinCorrectedBeatMs) + 2);
    EXPECT_GT(w.heldBack, 0);
    for (size_t i = 1; i < w.beats.size(); ++i)
        ASSERT_GE(w.beats[i] - w.beats[i - 1], kMinCorrectedBeatMs) << i;
}

TEST(BarSplit, CutsOnTheBarLinesNotCountedFromTheRangeStart)
{
    // Beats every 500 ms; the bars start at the second beat (500, 2500, 4500, ...).
    const std::vector<double> beats = steadyBeats(0, 500, 33);
    const std::vector<double> bars = everyNth(beats, 1, 4);

    // Every 4 beats: the bar lines, even for a range that starts between them.
    EXPECT_EQ(barSplitPoints(beats, bars, 0, 16000, 4), everyNth(beats, 1, 4));
    EXPECT_EQ(barSplitPoints(beats, bars, 1200, 9000, 4), (std::vector<double>{2500, 4500, 6500, 8500}));
    // Counting from the range start would have cut at 2000, 4000, ...
    EXPECT_EQ(beatSplitPoints(beats, 0, 16000, 4).front(), 2000);

    // Every 2: the bar lines and the bars' middles.
    EXPECT_EQ(barSplitPoints(beats, bars, 1200, 5000, 2), (std::vector<double>{1500, 2500, 3500, 4500}));
    // Every 8: every other bar line, counted from the song's first bar whatever the range.
    EXPECT_EQ(barSplitPoints(beats, bars, 0, 16000, 8), everyNth(beats, 1, 8));
    EXPECT_EQ(barSplitPoints(beats, bars, 3000, 16000, 8), (std::vector<double>{4500, 8500, 12500}));
    // Every beat and no bars: as before.
    EXPECT_EQ(barSplitPoints(beats, bars, 0, 3000, 1), beatSplitPoints(beats, 0, 3000, 1));
    EXPECT_EQ(barSplitPoints(beats, {}, 0, 16000, 4), beatSplitPoints(beats, 0, 16000, 4));
}

TEST(BarSplit, FollowsABarStartByHandAndBarsOfThree)
{
    const std::vector<double> beats = steadyBeats(0, 500, 25);
    const CorrectedGrid g = correctGrid(beats, everyNth(beats, 0, 3), one(GridEdit::Kind::BarStart, 1000, 0), 12000);
    // Bars of three from 1000: every 2 cuts at each bar line and the bar's third beat
    // (and so before the first bar, counted back from it); every 4, more than a bar, at
    // each bar line.
    EXPECT_EQ(barSplitPoints(g.beats, g.bars, 0, 6000, 2),
              (std::vector<double>{500, 1000, 2000, 2500, 3500, 4000, 5000, 5500}));
    EXPECT_EQ(barSplitPoints(g.beats, g.bars, 0, 6000, 4), (std::vector<double>{1000, 2500, 4000, 5500}));
}

} // namespace
} // namespace vk
