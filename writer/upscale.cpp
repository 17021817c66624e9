#include "writer/upscale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VK_UPSCALE_X86 1
#endif

namespace vk {

namespace {

// Where output sample `d` of `dn` falls between input samples `i0` and
// `i0 + 1` of `sn`: the weight of `i0 + 1` in 64ths.
struct Tap {
    int i0 = 0;
    int weight = 0;
};

std::vector<Tap> taps(int sn, int dn)
{
    std::vector<Tap> t(static_cast<size_t>(dn));
    for (int d = 0; d < dn; ++d) {
        const double pos = (d + 0.5) * sn / dn - 0.5;
        int i0 = int(std::floor(pos));
        int weight = int(std::lround((pos - i0) * 64));
        if (i0 < 0) {
            i0 = 0;
            weight = 0;
        }
        if (weight == 64) {
            ++i0;
            weight = 0;
        }
        if (i0 >= sn - 1) {
            i0 = sn - 1;
            weight = 0;
        }
        t[size_t(d)] = {i0, weight};
    }
    return t;
}

#if defined(VK_UPSCALE_X86)

// One row across: output pixels in blocks of eight, each block's two input
// samples per pixel gathered from one 16-byte load with a byte shuffle and
// weighted in one multiply-add.
struct Block {
    alignas(16) int8_t shuffle[16]; // the input byte pair of each of its pixels
    alignas(16) int8_t weights[16]; // (64 - w, w) for each of its pixels
    int base = 0;                   // where its load starts
};

struct RowPlan {
    int sw = 0, dw = 0;
    std::vector<Tap> taps;
    std::vector<Block> blocks; // eight output pixels each
};

RowPlan planRow(int sw, int dw)
{
    RowPlan p;
    p.sw = sw;
    p.dw = dw;
    p.taps = taps(sw, dw);
    for (int b = 0; b + 8 <= dw; b += 8) {
        Block block;
        block.base = p.taps[size_t(b)].i0;
        for (int k = 0; k < 8; ++k) {
            const Tap& t = p.taps[size_t(b + k)];
            const int next = std::min(t.i0 + 1, sw - 1);
            block.shuffle[2 * k] = int8_t(t.i0 - block.base);
            block.shuffle[2 * k + 1] = int8_t(next - block.base);
            block.weights[2 * k] = int8_t(64 - t.weight);
            block.weights[2 * k + 1] = int8_t(t.weight);
        }
        p.blocks.push_back(block);
    }
    return p;
}

// The eight pixels of one block as 16-bit values.
__attribute__((target("ssse3"))) inline __m128i scaleBlock(const Block& k, const uint8_t* in)
{
    const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k.base));
    const __m128i pairs = _mm_shuffle_epi8(input, _mm_load_si128(reinterpret_cast<const __m128i*>(k.shuffle)));
    const __m128i sums = _mm_maddubs_epi16(pairs, _mm_load_si128(reinterpret_cast<const __m128i*>(k.weights)));
    return _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(32)), 6);
}

__attribute__((target("ssse3"))) void scaleRow(const RowPlan& p, const uint8_t* in, uint8_t* out)
{
    const size_t blocks = p.blocks.size();
    size_t b = 0;
    for (; b + 2 <= blocks; b += 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * b),
                         _mm_packus_epi16(scaleBlock(p.blocks[b], in), scaleBlock(p.blocks[b + 1], in)));
    for (; b < blocks; ++b) {
        const __m128i lo = scaleBlock(p.blocks[b], in);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 8 * b), _mm_packus_epi16(lo, lo));
    }
    for (int d = int(blocks) * 8; d < p.dw; ++d) {
        const Tap& t = p.taps[size_t(d)];
        const int next = std::min(t.i0 + 1, p.sw - 1);
        out[d] = uint8_t((in[t.i0] * (64 - t.weight) + in[next] * t.weight + 32) >> 6);
    }
}

// Two rows down: (a * (64 - w) + b * w + 32) / 64, sixteen pixels at a time,
// each pair of rows' bytes interleaved and weighted in one multiply-add.
__attribute__((target("ssse3"))) void blendRows(const uint8_t* a, const uint8_t* b, int weight, int n, uint8_t* out)
{
    if (weight == 0) {
        std::memcpy(out, a, size_t(n));
        return;
    }
    const __m128i weights = _mm_set1_epi16(int16_t((weight << 8) | (64 - weight)));
    const __m128i half = _mm_set1_epi16(32);
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        const __m128i lo =
            _mm_srli_epi16(_mm_add_epi16(_mm_maddubs_epi16(_mm_unpacklo_epi8(va, vb), weights), half), 6);
        const __m128i hi =
            _mm_srli_epi16(_mm_add_epi16(_mm_maddubs_epi16(_mm_unpackhi_epi8(va, vb), weights), half), 6);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
    for (; x < n; ++x)
        out[x] = uint8_t((a[x] * (64 - weight) + b[x] * weight + 32) >> 6);
}

#endif

} // namespace

bool fastUpscaleAvailable()
{
#if defined(VK_UPSCALE_X86)
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
#else
    return false;
#endif
}

bool upscalePlane(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride)
{
#if defined(VK_UPSCALE_X86)
    if (!fastUpscaleAvailable() || sw < 1 || sh < 1 || dw < sw || dh < sh)
        return false;
    // The plans and rows per render thread, made again only for new sizes.
    struct Cache {
        RowPlan row;
        std::vector<Tap> down;
        int sh = 0, dh = 0;
        std::vector<uint8_t> padded;    // one input row with room for the last loads
        std::vector<uint8_t> across[2]; // the last two input rows made wide
        int held[2] = {-1, -1};
    };
    thread_local Cache cache;
    if (cache.row.sw != sw || cache.row.dw != dw)
        cache.row = planRow(sw, dw);
    if (cache.sh != sh || cache.dh != dh) {
        cache.down = taps(sh, dh);
        cache.sh = sh;
        cache.dh = dh;
    }
    cache.padded.resize(size_t(sw) + 32);
    for (auto& r : cache.across)
        r.resize(size_t(dw));
    cache.held[0] = cache.held[1] = -1;
    // Input row `y` made wide, from the two kept (rows are wanted in order).
    auto wide = [&](int y) -> const uint8_t* {
        for (int k = 0; k < 2; ++k)
            if (cache.held[k] == y)
                return cache.across[k].data();
        const int k = cache.held[0] < cache.held[1] ? 0 : 1; // the older one
        std::memcpy(cache.padded.data(), src + size_t(y) * sstride, size_t(sw));
        std::memset(cache.padded.data() + sw, cache.padded[size_t(sw) - 1], 32);
        scaleRow(cache.row, cache.padded.data(), cache.across[k].data());
        cache.held[k] = y;
        return cache.across[k].data();
    };
    for (int y = 0; y < dh; ++y) {
        const Tap& t = cache.down[size_t(y)];
        // The second row replaces the older of the two kept, never the first.
        const uint8_t* a = wide(t.i0);
        const uint8_t* b = t.weight ? wide(std::min(t.i0 + 1, sh - 1)) : a;
        blendRows(a, b, t.weight, dw, dst + size_t(y) * dstride);
    }
    return true;
#else
    (void)src, (void)sw, (void)sh, (void)sstride, (void)dst, (void)dw, (void)dh, (void)dstride;
    return false;
#endif
}

} // namespace vk
