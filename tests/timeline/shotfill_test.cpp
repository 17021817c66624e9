// Filling sections with shots: the plan's rules (one shot per section, shot starts, no
// overlaps, turns, energy order, rows left empty) and its application as one undo step
// that writes the rows as a registration does.

#include "tests/timeline/edits_support.h"

#include "timeline/shotfill.h"

#include <QHash>

#include <gtest/gtest.h>

namespace vk {
namespace {

ShotSource source(const QString& file, const std::vector<std::pair<double, double>>& shots, float motion = 0.1f)
{
    ShotSource s;
    s.file = file;
    s.frameIntervalMs = 33;
    s.width = 640;
    s.height = 480;
    for (const auto& [a, b] : shots)
        s.shots.push_back({a, b, motion});
    return s;
}

std::vector<FillSection> sections(int n, double length, int firstRow = 1)
{
    std::vector<FillSection> out;
    for (int i = 0; i < n; ++i)
        out.push_back({firstRow + i, length, -1.0});
    return out;
}

TEST(ShotFillPlan, OneShotPerSectionShotStartsNoOverlapTurns)
{
    // Shots of 3 s; sections of 1 s: each shot serves up to three sections.
    std::vector<ShotSource> src = {
        source(QStringLiteral("/v/a.mp4"), {{0, 3000}, {3000, 6000}, {6000, 9000}}),
        source(QStringLiteral("/v/b.mp4"), {{0, 3000}, {3033.3333, 6000}}),
        source(QStringLiteral("/v/c.mp4"), {{500, 3500}}),
    };
    // The project already uses b from 5000 to 5500.
    const std::vector<UsedSpan> used = {{QStringLiteral("/v/b.mp4"), 5000, 5500}};
    FillOptions options;
    options.seed = 3;
    const auto secs = sections(8, 1000);
    const FillPlan plan = planFill(secs, src, used, options);
    EXPECT_EQ(plan.spans.size(), 8u);
    QHash<int, std::vector<std::pair<int, int>>> byFile;
    byFile[1].push_back({5000, 5500});
    int starts = 0;
    for (size_t i = 0; i < plan.spans.size(); ++i) {
        const FillSpan& s = plan.spans[i];
        // Inside one shot.
        const ShotSource& so = src[size_t(s.source)];
        bool inOne = false;
        bool atStart = false;
        for (const ShotSpan& sh : so.shots) {
            inOne = inOne || (s.inMs >= sh.startMs && s.outMs <= sh.endMs);
            atStart = atStart || (s.inMs >= sh.startMs && s.inMs < sh.startMs + 33);
        }
        EXPECT_TRUE(inOne) << "span " << i;
        starts += atStart ? 1 : 0;
        // At 等速: as long as the section, up to the next frame.
        EXPECT_GE(s.outMs - s.inMs, 1000);
        EXPECT_LT(s.outMs - s.inMs, 1033);
        // No overlap with any span of the same file.
        for (const auto& [a, b] : byFile[s.source])
            EXPECT_TRUE(s.outMs <= a || s.inMs >= b) << "span " << i << " overlaps";
        byFile[s.source].push_back({s.inMs, s.outMs});
        // Turns: never the same file twice in a row while the others have room.
        if (i > 0)
            EXPECT_NE(plan.spans[i - 1].source, s.source) << "span " << i;
    }
    // Each of the six shots is first used from its first frame.
    EXPECT_EQ(starts, 6);
    // The shot at 3033.3 starts on the grid's first point in its first frame.
    bool gridStart = false;
    for (const FillSpan& s : plan.spans)
        gridStart = gridStart || (s.source == 1 && s.inMs == 3066);
    EXPECT_TRUE(gridStart);
}

TEST(ShotFillPlan, SeedsGiveDraftsAndSameSeedSamePlan)
{
    std::vector<ShotSource> src;
    for (int f = 0; f < 4; ++f)
        src.push_back(source(QStringLiteral("/v/%1.mp4").arg(f), {{0, 2000}, {2000, 4000}, {4000, 6000}}));
    FillOptions a;
    a.seed = 1;
    FillOptions b;
    b.seed = 2;
    const auto secs = sections(8, 900);
    const FillPlan p1 = planFill(secs, src, {}, a);
    const FillPlan p1again = planFill(secs, src, {}, a);
    const FillPlan p2 = planFill(secs, src, {}, b);
    ASSERT_EQ(p1.spans.size(), p1again.spans.size());
    bool differs = false;
    for (size_t i = 0; i < p1.spans.size(); ++i) {
        EXPECT_EQ(p1.spans[i].source, p1again.spans[i].source);
        EXPECT_EQ(p1.spans[i].inMs, p1again.spans[i].inMs);
        differs = differs || p1.spans[i].source != p2.spans[i].source || p1.spans[i].inMs != p2.spans[i].inMs;
    }
    EXPECT_TRUE(differs);
}

TEST(ShotFillPlan, MoreEnergyGetsMoreMotion)
{
    // Two files, one calm and one lively, each with many shots.
    std::vector<ShotSource> src;
    std::vector<std::pair<double, double>> shots;
    for (int k = 0; k < 10; ++k)
        shots.push_back({k * 2000.0, k * 2000.0 + 2000.0});
    src.push_back(source(QStringLiteral("/v/calm.mp4"), shots, 0.01f));
    src.push_back(source(QStringLiteral("/v/lively.mp4"), shots, 0.3f));
    src.push_back(source(QStringLiteral("/v/middle.mp4"), shots, 0.1f));
    auto secs = sections(9, 1000);
    for (size_t i = 0; i < secs.size(); ++i)
        secs[i].energy = (i % 3 == 0) ? 10.0 : (i % 3 == 1 ? 0.5 : 3.0);
    FillOptions options;
    options.seed = 5;
    const FillPlan plan = planFill(secs, src, {}, options);
    ASSERT_EQ(plan.spans.size(), 9u);
    for (const FillSpan& s : plan.spans) {
        const double e = secs[size_t(s.row - 1)].energy;
        const QString file = src[size_t(s.source)].file;
        if (e == 10.0)
            EXPECT_EQ(file, QStringLiteral("/v/lively.mp4")) << "row " << s.row;
        if (e == 0.5)
            EXPECT_EQ(file, QStringLiteral("/v/calm.mp4")) << "row " << s.row;
    }
}

TEST(ShotFillPlan, TooFewShotsLeaveRowsEmptyAndCounted)
{
    // One 2.5 s shot: two 1 s sections fit, the rest do not; 3 s sections never fit.
    std::vector<ShotSource> src = {source(QStringLiteral("/v/a.mp4"), {{0, 2500}})};
    auto secs = sections(4, 1000);
    secs.push_back({5, 3000, -1.0});
    const FillPlan plan = planFill(secs, src, {}, FillOptions{});
    EXPECT_EQ(plan.spans.size(), 2u);
    EXPECT_EQ(plan.unfilled, 3);
    EXPECT_EQ(plan.emptyRows, (std::vector<int>{3, 4, 5}));
    // With 0.5 to 2 times, a 3 s section fits into the shot at twice the speed.
    FillOptions vary;
    vary.varySpeed = true;
    const FillPlan fast = planFill({{1, 3000, -1.0}}, src, {}, vary);
    ASSERT_EQ(fast.spans.size(), 1u);
    EXPECT_GE(fast.spans[0].outMs - fast.spans[0].inMs, 1490);
}

// Two files with known cuts, sections of mixed lengths: a span starts inside a shot
// already used only where no unused shot of the files whose turn it may be would fit, at
// any of the speeds the options allow. Many seeds, at 等速 and at 0.5 to 2 times.
TEST(ShotFillPlan, UnusedShotsComeBeforeTheRestOfUsedOnes)
{
    const std::vector<ShotSource> src = {
        source(QStringLiteral("/v/a.mp4"), {{0, 3000}, {3000, 9800}, {9800, 15400}, {15400, 19000}, {19000, 31000}}),
        source(QStringLiteral("/v/b.mp4"), {{0, 4200}, {4200, 6400}, {6400, 12000}, {12000, 26000}}),
    };
    const double lengths[] = {1640, 3000, 2210, 1480, 3000, 2500, 1760, 3000, 1200, 2000};
    std::vector<FillSection> secs;
    for (int i = 0; i < 10; ++i)
        secs.push_back({i + 1, lengths[i], -1.0});
    int usedStarts = 0;
    for (const bool vary : {false, true}) {
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            FillOptions options;
            options.varySpeed = vary;
            options.seed = seed;
            const FillPlan plan = planFill(secs, src, {}, options);
            // Whether each shot has been used, replayed span by span.
            std::vector<std::vector<bool>> used(src.size());
            for (size_t f = 0; f < src.size(); ++f)
                used[f].assign(src[f].shots.size(), false);
            int previous = -1;
            for (const FillSpan& s : plan.spans) {
                const double length = secs[size_t(s.row - 1)].lengthMs;
                const auto& shots = src[size_t(s.source)].shots;
                size_t shot = 0;
                while (shot < shots.size() && !(s.inMs >= shots[shot].startMs && s.outMs <= shots[shot].endMs))
                    ++shot;
                ASSERT_LT(shot, shots.size()) << "a span across a cut";
                if (s.inMs >= shots[shot].startMs + 33) {
                    ++usedStarts;
                    // The shortest span any allowed speed needs, with room for the in
                    // and the out point to move to the next frame.
                    const double needed = (vary ? 0.5 * length : length) + 66;
                    for (size_t f = 0; f < src.size(); ++f) {
                        if (int(f) == previous && int(f) != s.source)
                            continue; // not its turn
                        for (size_t k = 0; k < src[f].shots.size(); ++k) {
                            const ShotSpan& sh = src[f].shots[k];
                            EXPECT_FALSE(!used[f][k] && sh.endMs - sh.startMs >= needed)
                                << "seed " << seed << (vary ? " varied" : " 等速") << ", row " << s.row
                                << ": the rest of a used shot while shot " << k << " of file " << f << " fits";
                        }
                    }
                }
                used[size_t(s.source)][shot] = true;
                previous = s.source;
            }
        }
    }
    // The rests of used shots do come in, once the unused shots run out.
    EXPECT_GT(usedStarts, 0);
}

// At 等速 a span plays at the footage's own speed: it starts on the frame grid and its
// out point is the grid point at or after the section's end, inside the shot; the rows
// written are marked 等速, so the picture plays exactly as long as the section.
TEST(ShotFillPlan, NormalSpeedSpansCoverTheirSectionsAtOneTimes)
{
    const std::vector<ShotSource> src = {
        source(QStringLiteral("/v/a.mp4"), {{0, 2000}, {2000, 4990}, {4990, 9000}}),
        source(QStringLiteral("/v/b.mp4"), {{500, 3517}, {3517, 8000}, {8000, 12000}}),
    };
    const std::vector<FillSection> secs = {{1, 1010, -1}, {2, 1987.5, -1}, {3, 2990, -1}, {4, 3001, -1}, {5, 1499, -1}};
    const FillPlan plan = planFill(secs, src, {}, FillOptions{});
    ASSERT_EQ(plan.spans.size(), secs.size());
    for (const FillSpan& s : plan.spans) {
        const double length = secs[size_t(s.row - 1)].lengthMs;
        EXPECT_TRUE(s.normalSpeed) << "row " << s.row;
        EXPECT_GE(s.outMs, s.inMs + length) << "row " << s.row;
        EXPECT_LT(s.outMs, s.inMs + length + 33) << "row " << s.row;
        EXPECT_EQ(FramePoint(s.outMs, 33), s.outMs) << "row " << s.row;
        bool inOne = false;
        for (const ShotSpan& sh : src[size_t(s.source)].shots)
            inOne = inOne || (s.inMs >= sh.startMs && s.outMs <= sh.endMs);
        EXPECT_TRUE(inOne) << "row " << s.row;
    }
    // With 0.5 to 2 times, the spans of the drawn speeds are stretched, not 等速.
    FillOptions vary;
    vary.varySpeed = true;
    int stretched = 0;
    for (const FillSpan& s : planFill(secs, src, {}, vary).spans)
        stretched += s.normalSpeed ? 0 : 1;
    EXPECT_GT(stretched, 0);
}

class ShotFillApply : public EditsTest {};

TEST_F(ShotFillApply, RowsAsARegistrationAndOneUndoStep)
{
    makeTable(4, 1000, 1000);
    // Rows 2 and 3 without video.
    for (int r : {2, 3})
        editor.Grid().clearRegistration(r);
    editor.setModified(false);
    const RowTable before = grid();
    std::vector<ShotSource> src = {source(QStringLiteral("/v/new.mp4"), {{0, 3000}, {3000, 6000}})};
    FillPlan plan;
    plan.spans = {{2, 0, 0, 990}, {3, 0, 3000, 4000, true}};
    EXPECT_EQ(applyFill(editor, plan, src), 2);
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(cell(2, Col::VideoFile), QStringLiteral("/v/new.mp4"));
    EXPECT_EQ(cell(2, Col::InPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:00:30"));
    EXPECT_EQ(cell(3, Col::InPoint), QStringLiteral("00:00:03:00"));
    EXPECT_EQ(cell(3, Col::OutPoint), QStringLiteral("00:00:04:00"));
    EXPECT_EQ(cell(2, Col::VideoInterval), QStringLiteral("33"));
    EXPECT_EQ(cell(2, Col::Width), QStringLiteral("640"));
    EXPECT_EQ(cell(2, Col::Height), QStringLiteral("480"));
    EXPECT_EQ(cell(2, Col::Speed), QStringLiteral("0.99x"));
    EXPECT_EQ(cell(3, Col::Speed), QStringLiteral("等速"));
    // Rows 1 and 4 untouched.
    EXPECT_EQ(registration(grid(), 1), registration(before, 1));
    EXPECT_EQ(registration(grid(), 4), registration(before, 4));
    const RowTable after = grid();
    expectUndoRedo(before, after);
    // One step: a single undo brings back the table before the fill.
    editor.history().Undo();
    EXPECT_TRUE(SameTable(grid(), before));
}

} // namespace
} // namespace vk
