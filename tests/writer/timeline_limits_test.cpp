// The renderer's timeline reader at the ends of the time range: times beyond what the
// editor can write are refused, so that the frame numbers of the engine's timeline
// never overflow.

#include "writer/mltbuilder.h"
#include "writer/outputformat.h"
#include "writer/paramsdocument.h"
#include "writer/timelinereader.h"

#include <gtest/gtest.h>

#include <string>

namespace vk {
namespace {

std::string oneClip(const std::string& attributes)
{
    return "<timeline><group type=\"video\" framerate=\"24\" width=\"320\" height=\"240\"><track><clip " + attributes +
           " src=\"/v/a.avi\"/></track></group></timeline>";
}

TEST(TimelineTimeLimits, TimesBeyondTheEditorsRangeAreRefused)
{
    Timeline t;
    std::string error;
    // A stop of 4.4e17 seconds: read before, it gave a frame range ending at the lowest
    // 64-bit number.
    EXPECT_FALSE(parseTimeline(oneClip("start=\"0\" stop=\"0444444444444444444.615\""), t, error));
    EXPECT_NE(error.find("stop"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(parseTimeline(oneClip("start=\"-1e300\" stop=\"1\""), t, error));
    EXPECT_NE(error.find("start"), std::string::npos) << error;
}

TEST(TimelineTimeLimits, LongestEditorTimesStillRead)
{
    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(oneClip("start=\"0\" stop=\"2147483.647\" mstart=\"1e300\""), t, error)) << error;
    ASSERT_EQ(t.video.tracks.size(), 1u);
    const TimelineClip& c = t.video.tracks[0].clips.at(0);
    EXPECT_DOUBLE_EQ(c.stop, 2147483.647);
    // A media start out of range is read like any malformed one: from 0.
    EXPECT_EQ(c.mstart, 0.0);

    const OutputSettings output = chooseOutput(WriterParams{}, t);
    const FrameRange range = frameRangeFor(0, 0, t, output.rate);
    EXPECT_EQ(range.in, 0);
    EXPECT_EQ(range.out, 2147483647LL * 24 / 1000);
}

} // namespace
} // namespace vk
