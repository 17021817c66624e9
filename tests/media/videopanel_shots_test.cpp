// Shots in the video registration panel: Z and X snap to a shot boundary within three
// frames when "ショットに吸着" is on, and only then; D and F jump between boundaries; a new
// file clears the boundaries.

#include "tests/media/videopanel_fixture.h"

namespace vk {
namespace {

TEST_F(VideoPanelTest, ZAndXSnapToShotBoundariesWithinThreeFrames)
{
    // 25 fps: frames of 40 ms; shots start at 2000 and at 3033.3 ms.
    ASSERT_TRUE(loadMovie(QStringLiteral("/v/shots.mp4")));
    panel.setShotBoundaries({3033.3, 2000.0});
    const auto& s = panel.slider();

    // Off: Z marks where the slider is.
    panel.scrollTo(2080);
    panel.keyCommand(Key::Z, 0);
    EXPECT_EQ(s.selStart, 2080);

    panel.setShotSnap(true);
    // Two frames after a boundary: Z marks the boundary's first frame.
    panel.scrollTo(2080);
    panel.keyCommand(Key::Z, 0);
    EXPECT_EQ(s.selStart, 2000);
    // Three frames before the next one: X ends the range on that boundary's first frame
    // (the first whole ms inside it).
    panel.scrollTo(2914);
    panel.keyCommand(Key::X, 0);
    EXPECT_EQ(s.selEnd(), 3034);
    // Four frames away: no snap.
    panel.scrollTo(2160);
    panel.keyCommand(Key::Z, 0);
    EXPECT_EQ(s.selStart, 2160);
    // The target on its own: a boundary within reach, or none.
    EXPECT_EQ(panel.shots().snapTarget(2060, panel.frameInterval()), 2000);
    EXPECT_FALSE(panel.shots().snapTarget(2500, panel.frameInterval()).has_value());
}

TEST_F(VideoPanelTest, DAndFJumpBetweenShotBoundaries)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/v/shots.mp4")));
    panel.setShotBoundaries({2000.0, 3033.3, 7000.0});
    const auto& s = panel.slider();
    panel.scrollTo(2500);
    panel.keyCommand(Key::F, 0);
    EXPECT_EQ(s.value, 3034);
    panel.keyCommand(Key::F, 0);
    EXPECT_EQ(s.value, 7000);
    // Past the last boundary F stays.
    panel.keyCommand(Key::F, 0);
    EXPECT_EQ(s.value, 7000);
    panel.keyCommand(Key::D, 0);
    EXPECT_EQ(s.value, 3034);
    panel.keyCommand(Key::D, 0);
    EXPECT_EQ(s.value, 2000);
    // Before the first boundary D goes to the start.
    panel.keyCommand(Key::D, 0);
    EXPECT_EQ(s.value, 0);

    // Another file: its shots are not known yet.
    ASSERT_TRUE(loadMovie(QStringLiteral("/v/other.mp4")));
    EXPECT_TRUE(panel.shots().boundaries().empty());
    panel.scrollTo(2500);
    panel.keyCommand(Key::F, 0);
    EXPECT_EQ(s.value, 2500);
}

} // namespace
} // namespace vk
