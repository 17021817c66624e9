// The transition "vk_blend": the two effects the engine has no service for.
//  - burn: a hot fade; the old picture flares up towards white-orange while
//    the new one shows through, then cools down to the new picture;
//  - pixelate: the old picture breaks into ever bigger blocks up to the middle,
//    then the new picture comes back from big blocks to full detail.
// Registered with the engine at start-up, so the XML timeline can name it.

#include "writer/mltengine.h"

#include <framework/mlt.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vk {

namespace {

void burn(uint8_t* a, const uint8_t* b, int pixels, double p)
{
    const double heat = std::sin(p * M_PI); // 0 at the ends, 1 in the middle
    const double glow[3] = {255, 170, 60};
    for (int i = 0; i < pixels * 3; i += 3) {
        for (int c = 0; c < 3; ++c) {
            const double mixed = a[i + c] * (1 - p) + b[i + c] * p;
            const double hot = mixed + (glow[c] - mixed * 0.3) * heat * 0.9;
            a[i + c] = uint8_t(std::clamp(hot, 0.0, 255.0));
        }
    }
}

void pixelate(uint8_t* a, const uint8_t* b, int w, int h, double p)
{
    // Block size grows to a fortieth of the width at the middle, then shrinks.
    const double k = 1 - std::fabs(2 * p - 1);
    const int block = std::max(1, int(std::lround(1 + k * (std::max(w, h) / 16.0))));
    const uint8_t* src = p < 0.5 ? a : b;
    std::vector<uint8_t> out(size_t(w) * h * 3);
    for (int by = 0; by < h; by += block) {
        for (int bx = 0; bx < w; bx += block) {
            const int ex = std::min(w, bx + block), ey = std::min(h, by + block);
            long sum[3] = {0, 0, 0};
            long n = 0;
            for (int y = by; y < ey; ++y)
                for (int x = bx; x < ex; ++x, ++n)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += src[(size_t(y) * w + x) * 3 + c];
            for (int y = by; y < ey; ++y)
                for (int x = bx; x < ex; ++x)
                    for (int c = 0; c < 3; ++c)
                        out[(size_t(y) * w + x) * 3 + c] = uint8_t(sum[c] / n);
        }
    }
    std::memcpy(a, out.data(), out.size());
}

int getImage(mlt_frame aFrame, uint8_t** image, mlt_image_format* format, int* width, int* height, int)
{
    mlt_frame bFrame = mlt_frame_pop_frame(aFrame);
    auto transition = static_cast<mlt_transition>(mlt_frame_pop_service(aFrame));
    const double progress = mlt_transition_get_progress(transition, aFrame);
    const char* style = mlt_properties_get(MLT_TRANSITION_PROPERTIES(transition), "vk_style");
    *format = mlt_image_rgb;
    int error = mlt_frame_get_image(aFrame, image, format, width, height, 1);
    if (error)
        return error;
    uint8_t* bImage = nullptr;
    mlt_image_format bFormat = mlt_image_rgb;
    int bw = *width, bh = *height;
    if (mlt_frame_get_image(bFrame, &bImage, &bFormat, &bw, &bh, 0) || !bImage || bw != *width || bh != *height ||
        bFormat != mlt_image_rgb)
        return 0; // nothing to blend with: keep the old picture
    if (style && std::strcmp(style, "pixelate") == 0)
        pixelate(*image, bImage, *width, *height, progress);
    else
        burn(*image, bImage, *width * *height, progress);
    return 0;
}

mlt_frame process(mlt_transition transition, mlt_frame aFrame, mlt_frame bFrame)
{
    mlt_frame_push_service(aFrame, transition);
    mlt_frame_push_frame(aFrame, bFrame);
    mlt_frame_push_get_image(aFrame, getImage);
    return aFrame;
}

void* createBlend(mlt_profile, mlt_service_type, const char*, const void*)
{
    mlt_transition transition = mlt_transition_new();
    if (!transition)
        return nullptr;
    transition->process = process;
    // The engine runs a transition only for the kinds of data it names here
    // (1 pictures, 2 sound). Without it the transition is never applied: the
    // new picture cuts in at once and the engine complains on every frame.
    mlt_properties_set_int(MLT_TRANSITION_PROPERTIES(transition), "_transition_type", 1);
    return transition;
}

} // namespace

void registerWriterServices()
{
    mlt_repository repository = mlt_factory_repository();
    if (repository)
        mlt_repository_register(repository, mlt_service_transition_type, "vk_blend", createBlend);
}

} // namespace vk
