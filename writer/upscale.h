#pragma once
// Bilinear enlargement of 8-bit picture planes, for the render's hot path
// (writer/vkscale.cpp): a 640x480 source to 1920x1080 in about a third of
// swscale's time. It only enlarges (or keeps the size); smaller pictures need
// a filter that averages, which is swscale's.

#include <cstdint>

namespace vk {

// Whether this processor runs the fast path (SSSE3, every x86-64 since 2006).
bool fastUpscaleAvailable();

// Enlarges one plane of `sw` x `sh` (rows `sstride` apart) to `dw` x `dh`
// (rows `dstride` apart): sample centres aligned, edges repeated, weights in
// 64ths. False (nothing written) when the size would shrink or the fast path
// is not available.
bool upscalePlane(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride);

} // namespace vk
