// The writer's own bilinear enlargement against swscale's, which it stands in
// for: the same picture within a level, at the sizes the MP4 profiles need
// (widths whose rows do not come in whole blocks of eight or sixteen
// included), the picture kept as it is at the same size, and no answer where
// it would have to shrink.

#include "writer/upscale.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A plane with smooth gradients, fine detail and hard edges.
std::vector<uint8_t> testPlane(int w, int h)
{
    std::vector<uint8_t> p(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double smooth = 100 * std::sin(x * 0.05) * std::cos(y * 0.07);
            const int edge = (x / 17 + y / 11) % 2 ? 60 : -60;
            p[size_t(y) * w + x] = uint8_t(std::clamp(128 + smooth * 0.5 + edge, 0.0, 255.0));
        }
    return p;
}

std::vector<uint8_t> swscaleBilinear(const std::vector<uint8_t>& in, int w, int h, int dw, int dh)
{
    std::vector<uint8_t> out(size_t(dw) * dh);
    SwsContext* c =
        sws_getContext(w, h, AV_PIX_FMT_GRAY8, dw, dh, AV_PIX_FMT_GRAY8, SWS_BILINEAR, nullptr, nullptr, nullptr);
    const uint8_t* src[4] = {in.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {w, 0, 0, 0};
    uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {dw, 0, 0, 0};
    sws_scale(c, src, srcStride, 0, h, dst, dstStride);
    sws_freeContext(c);
    return out;
}

} // namespace

TEST(WriterUpscale, EnlargesLikeSwscalesBilinearWithinALevel)
{
    if (!vk::fastUpscaleAvailable())
        GTEST_SKIP() << "no SSSE3 on this processor: the writer uses swscale";
    struct Case {
        int w, h, dw, dh;
    };
    // Luma and chroma of the 1080p, 720p and 480-line profiles from 640x480
    // and 320x240 sources; a width of 427 leaves three pixels after the last
    // block of eight.
    for (const Case& c :
         {Case{640, 480, 1920, 1080}, Case{320, 240, 960, 540}, Case{320, 240, 1280, 720}, Case{160, 120, 640, 360},
          Case{320, 240, 854, 480}, Case{160, 120, 427, 240}, Case{17, 9, 101, 33}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " to " + std::to_string(c.dw) + "x" +
                     std::to_string(c.dh));
        const std::vector<uint8_t> in = testPlane(c.w, c.h);
        // Rows further apart than the picture is wide, as in a padded plane.
        const int stride = c.dw + 24;
        std::vector<uint8_t> mine(size_t(stride) * c.dh, 7);
        ASSERT_TRUE(vk::upscalePlane(in.data(), c.w, c.h, c.w, mine.data(), c.dw, c.dh, stride));
        const std::vector<uint8_t> theirs = swscaleBilinear(in, c.w, c.h, c.dw, c.dh);
        double sum = 0;
        int largest = 0;
        for (int y = 0; y < c.dh; ++y) {
            for (int x = 0; x < c.dw; ++x) {
                const int d = std::abs(int(mine[size_t(y) * stride + x]) - int(theirs[size_t(y) * c.dw + x]));
                sum += d;
                largest = std::max(largest, d);
            }
            // The bytes between the rows are left alone.
            for (int x = c.dw; x < stride; ++x)
                ASSERT_EQ(mine[size_t(y) * stride + x], 7) << x << "," << y;
        }
        EXPECT_LT(sum / (double(c.dw) * c.dh), 0.6);
        EXPECT_LE(largest, 6); // hard edges: 64ths against swscale's finer weights
    }
}

TEST(WriterUpscale, KeepsThePictureAtTheSameSizeAndRefusesToShrink)
{
    if (!vk::fastUpscaleAvailable())
        GTEST_SKIP() << "no SSSE3 on this processor: the writer uses swscale";
    const std::vector<uint8_t> in = testPlane(90, 50);
    std::vector<uint8_t> out(in.size());
    ASSERT_TRUE(vk::upscalePlane(in.data(), 90, 50, 90, out.data(), 90, 50, 90));
    EXPECT_EQ(out, in);
    std::vector<uint8_t> small(size_t(45) * 50, 7);
    EXPECT_FALSE(vk::upscalePlane(in.data(), 90, 50, 90, small.data(), 45, 50, 45));
    EXPECT_FALSE(vk::upscalePlane(in.data(), 90, 50, 90, small.data(), 90, 25, 90));
    EXPECT_EQ(small, std::vector<uint8_t>(small.size(), 7)); // nothing written
}
