// The filter "vk_scale": one fast pass from the decoded 4:2:0 picture to the
// picture the engine wants, at the size it wants.
//
// Left to itself, the engine converts every decoded 4:2:0 picture to packed
// 4:2:2 at the source size and then scales that packed picture to the output
// size, both with the slow, accurately rounded paths of swscale; a render
// that wants 4:2:0 (MP4) then gets the packed picture converted back. Each
// file producer whose video decodes to plain 4:2:0 gets two instances:
//
// * below all of the engine's filters (right above the producer): the
//   engine's scaler tells the filters below it the size it wants (the
//   frame's "rescale_width/height"); this instance takes the 4:2:0 picture
//   from the producer and makes the packed 4:2:2 picture at that size in one
//   bilinear swscale call, and the filters above it find nothing left to do.
// * above all of them: asked for 4:2:0 at a size the engine would fill
//   without borders (what the instance below saw it ask for), it has the
//   engine's filters hand the decoded picture through untouched and scales it
//   straight to the output size in 4:2:0. Asked for 4:2:0 otherwise
//   (letterboxing, a first or an interlaced picture), it asks for the packed
//   picture and converts that itself, more cheaply than the engine would.
//
// Anything else (other picture formats asked for, sources that do not decode
// to plain 4:2:0, interlaced pictures, which the engine deinterlaces before it
// scales, no scaling wanted) is handed up as the engine would have it.

#include "writer/mltengine.h"
#include "writer/upscale.h"

#include <framework/mlt.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <mutex>
#include <string>
#include <vector>

namespace vk {

namespace {

const char* const kServiceName = "vk_scale";

int swsColorspace(int mltColorspace)
{
    switch (mltColorspace) {
    case 709:
        return SWS_CS_ITU709;
    case 240:
        return SWS_CS_SMPTE240M;
    case 2020:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_ITU601;
    }
}

// Interleaves planar 4:2:2 rows into packed 4:2:2 (Y0 U Y1 V), sixteen
// pixels at a time where the processor has SSE2 (every x86-64 does).
void packRows(const uint8_t* y, const uint8_t* u, const uint8_t* v, int ow, int oh, uint8_t* dst)
{
    const int cw = ow / 2;
    for (int row = 0; row < oh; ++row) {
        const uint8_t* Y = y + size_t(row) * ow;
        const uint8_t* U = u + size_t(row) * cw;
        const uint8_t* V = v + size_t(row) * cw;
        uint8_t* out = dst + size_t(row) * ow * 2;
        int x = 0;
#if defined(__SSE2__)
        for (; x + 8 <= cw; x += 8) {
            const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Y + 2 * x));
            const __m128i chroma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(U + x)),
                                                     _mm_loadl_epi64(reinterpret_cast<const __m128i*>(V + x)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_unpacklo_epi8(luma, chroma));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x + 16), _mm_unpackhi_epi8(luma, chroma));
        }
#endif
        for (; x < cw; ++x) {
            out[4 * x] = Y[2 * x];
            out[4 * x + 1] = U[x];
            out[4 * x + 2] = Y[2 * x + 1];
            out[4 * x + 3] = V[x];
        }
    }
}

// One swscale context, rebuilt only when the sizes, the formats or the
// source's colours change.
struct CachedScaler {
    SwsContext* context = nullptr;
    int w = 0, h = 0, ow = 0, oh = 0, colorspace = -1;
    AVPixelFormat in = AV_PIX_FMT_NONE, out = AV_PIX_FMT_NONE;
    bool fullRange = false;
    ~CachedScaler() { sws_freeContext(context); }

    SwsContext* get(int sw, int sh, AVPixelFormat from, int dw, int dh, AVPixelFormat to, int cs, bool full)
    {
        context = sws_getCachedContext(context, sw, sh, from, dw, dh, to, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!context)
            return nullptr;
        // The colour details once per context and source colours, not for
        // every picture: limited range out, the source's matrix kept.
        if (w != sw || h != sh || ow != dw || oh != dh || in != from || out != to || colorspace != cs ||
            fullRange != full) {
            const int* table = sws_getCoefficients(swsColorspace(cs));
            sws_setColorspaceDetails(context, table, full ? 1 : 0, table, 0, 0, 1 << 16, 1 << 16);
            w = sw, h = sh, ow = dw, oh = dh, in = from, out = to, colorspace = cs, fullRange = full;
        }
        return context;
    }
};

// The engine's 4:2:0 layout: the three planes one after the other, the chroma
// planes at half width and height (rounded up). Not mlt_image_format_planes:
// in this engine version it puts the last plane at the wrong place (a red
// picture comes out green).
void planes420(uint8_t* data, int w, int h, uint8_t* planes[4], int strides[4])
{
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    planes[0] = data;
    planes[1] = data + size_t(w) * h;
    planes[2] = planes[1] + size_t(cw) * ch;
    planes[3] = nullptr;
    strides[0] = w;
    strides[1] = strides[2] = cw;
    strides[3] = 0;
}

// 4:2:0 planar (w x h) -> packed 4:2:2 (ow x oh), limited range out.
bool scale420To422(uint8_t* src, int w, int h, int colorspace, bool fullRange, uint8_t* dst, int ow, int oh)
{
    // One context and one planar picture per render thread, freed when the
    // thread ends.
    thread_local CachedScaler scaler;
    thread_local std::vector<uint8_t> planar;
    // swscale scales into planar 4:2:2 on its vector paths; its own packed
    // 4:2:2 writer is plain C and took more time than the scaling itself.
    // The rows are interleaved afterwards.
    SwsContext* context = scaler.get(w, h, AV_PIX_FMT_YUV420P, ow, oh, AV_PIX_FMT_YUV422P, colorspace, fullRange);
    if (!context)
        return false;
    uint8_t* in[4];
    int inStrides[4];
    planes420(src, w, h, in, inStrides);
    const size_t lumaSize = size_t(ow) * oh, chromaSize = size_t(ow / 2) * oh;
    planar.resize(lumaSize + 2 * chromaSize);
    uint8_t* y = planar.data();
    uint8_t* out[4] = {y, y + lumaSize, y + lumaSize + chromaSize, nullptr};
    int outStrides[4] = {ow, ow / 2, ow / 2, 0};
    if (sws_scale(context, in, inStrides, 0, h, out, outStrides) != oh)
        return false;
    packRows(out[0], out[1], out[2], ow, oh, dst);
    return true;
}

// 4:2:0 planar (w x h) -> 4:2:0 planar (ow x oh), limited range out.
bool scale420To420(uint8_t* src, int w, int h, int colorspace, bool fullRange, uint8_t* dst, int ow, int oh)
{
    // Enlarging a limited-range picture (nearly every source of a music
    // video, at 720p and 1080p): the writer's own bilinear pass, about a third
    // of swscale's time.
    uint8_t *in[4], *out[4];
    int inStrides[4], outStrides[4];
    planes420(src, w, h, in, inStrides);
    planes420(dst, ow, oh, out, outStrides);
    if (!fullRange && ow >= w && oh >= h && fastUpscaleAvailable()) {
        const int cw = (w + 1) / 2, ch = (h + 1) / 2, ocw = (ow + 1) / 2, och = (oh + 1) / 2;
        if (upscalePlane(in[0], w, h, inStrides[0], out[0], ow, oh, outStrides[0]) &&
            upscalePlane(in[1], cw, ch, inStrides[1], out[1], ocw, och, outStrides[1]) &&
            upscalePlane(in[2], cw, ch, inStrides[2], out[2], ocw, och, outStrides[2]))
            return true;
    }
    thread_local CachedScaler scaler;
    SwsContext* context = scaler.get(w, h, AV_PIX_FMT_YUV420P, ow, oh, AV_PIX_FMT_YUV420P, colorspace, fullRange);
    if (!context)
        return false;
    return sws_scale(context, in, inStrides, 0, h, out, outStrides) == oh;
}

// Packed 4:2:2 -> 4:2:0 planar at the same size (the engine's packed pictures
// are limited range already).
bool packed422To420(const uint8_t* src, int w, int h, uint8_t* dst)
{
    thread_local CachedScaler scaler;
    SwsContext* context = scaler.get(w, h, AV_PIX_FMT_YUYV422, w, h, AV_PIX_FMT_YUV420P, 601, false);
    if (!context)
        return false;
    const uint8_t* in[4] = {src, nullptr, nullptr, nullptr};
    const int inStrides[4] = {w * 2, 0, 0, 0};
    uint8_t* out[4];
    int outStrides[4];
    planes420(dst, w, h, out, outStrides);
    return sws_scale(context, in, inStrides, 0, h, out, outStrides) == h;
}

bool scalingWanted(mlt_properties frame)
{
    const char* interp = mlt_properties_get(frame, "consumer.rescale");
    return !interp || (std::strcmp(interp, "none") != 0 && std::strcmp(interp, "nearest") != 0 &&
                       std::strcmp(interp, "neighbor") != 0);
}

void countPicture(mlt_properties filter)
{
    // How many pictures this filter made (for the tests).
    static std::mutex counting;
    std::lock_guard<std::mutex> lock(counting);
    mlt_properties_set_int(filter, "vk_pictures", mlt_properties_get_int(filter, "vk_pictures") + 1);
}

// The instance above the engine's filters (see the top of this file).
int getImageAbove(mlt_frame frame, mlt_properties own, uint8_t** image, mlt_image_format* format, int* width,
                  int* height, int writable)
{
    mlt_properties props = MLT_FRAME_PROPERTIES(frame);
    auto below = static_cast<mlt_properties>(mlt_properties_get_data(own, "vk_below", nullptr));
    const int ow = *width, oh = *height;
    if (*format != mlt_image_yuv420p || !below || ow < 2 || oh < 2 || (ow & 1) || (oh & 1) || !scalingWanted(props))
        return mlt_frame_get_image(frame, image, format, width, height, writable);

    const bool progressive = mlt_properties_get_int(below, "vk_seen") == 1;
    const bool filled = mlt_properties_get_int(below, "vk_wanted_width") == ow &&
                        mlt_properties_get_int(below, "vk_wanted_height") == oh;
    const int size = mlt_image_format_size(mlt_image_yuv420p, ow, oh, nullptr);
    if (progressive && filled) {
        // The decoded picture as it is: with scaling off for this one request,
        // the engine's filters below hand it through.
        const char* wanted = mlt_properties_get(props, "consumer.rescale");
        const std::string interp = wanted ? wanted : "";
        mlt_properties_set(props, "consumer.rescale", "none");
        mlt_image_format planar = mlt_image_yuv420p;
        int w = ow, h = oh;
        uint8_t* src = nullptr;
        const int error = mlt_frame_get_image(frame, &src, &planar, &w, &h, writable);
        mlt_properties_set(props, "consumer.rescale", interp.empty() ? nullptr : interp.c_str());
        if (error || !src)
            return error ? error : 1;
        if (planar != mlt_image_yuv420p || w < 2 || h < 2 || !mlt_properties_get_int(props, "progressive")) {
            *image = src;
            *format = planar;
            *width = w;
            *height = h;
            return 0; // the engine converts what came (the caller asked for 4:2:0)
        }
        auto* out = static_cast<uint8_t*>(mlt_pool_alloc(size));
        if (!out)
            return 1;
        if (!scale420To420(src, w, h, mlt_properties_get_int(props, "colorspace"),
                           mlt_properties_get_int(props, "full_range") == 1, out, ow, oh)) {
            mlt_pool_release(out);
            return 1;
        }
        mlt_frame_set_image(frame, out, size, mlt_pool_release);
        mlt_properties_set_int(props, "full_range", 0);
        countPicture(own);
    } else {
        // The engine's packed picture (with borders where it letterboxes),
        // converted here.
        mlt_image_format packed = mlt_image_yuv422;
        int w = ow, h = oh;
        uint8_t* src = nullptr;
        const int error = mlt_frame_get_image(frame, &src, &packed, &w, &h, writable);
        if (error || !src)
            return error ? error : 1;
        if (packed != mlt_image_yuv422 || w != ow || h != oh) {
            *image = src;
            *format = packed;
            *width = w;
            *height = h;
            return 0;
        }
        auto* out = static_cast<uint8_t*>(mlt_pool_alloc(size));
        if (!out)
            return 1;
        if (!packed422To420(src, w, h, out)) {
            mlt_pool_release(out);
            return 1;
        }
        mlt_frame_set_image(frame, out, size, mlt_pool_release);
    }
    *image = static_cast<uint8_t*>(mlt_properties_get_data(props, "image", nullptr));
    *format = mlt_image_yuv420p;
    *width = ow;
    *height = oh;
    return 0;
}

int getImage(mlt_frame frame, uint8_t** image, mlt_image_format* format, int* width, int* height, int writable)
{
    auto filter = static_cast<mlt_filter>(mlt_frame_pop_service(frame));
    mlt_properties own = MLT_FILTER_PROPERTIES(filter);
    if (mlt_properties_get_int(own, "vk_above"))
        return getImageAbove(frame, own, image, format, width, height, writable);
    mlt_properties props = MLT_FRAME_PROPERTIES(frame);
    const int ow = mlt_properties_get_int(props, "rescale_width");
    const int oh = mlt_properties_get_int(props, "rescale_height");
    const bool scaling = scalingWanted(props);
    const bool fast = mlt_properties_get_int(own, "vk_planar420") == 1;
    // The size the engine's scaler wants for this source: the whole output
    // picture, or less where it letterboxes (for the instance above).
    if (fast && *format == mlt_image_yuv422 && ow > 0 && oh > 0) {
        mlt_properties_set_int(own, "vk_wanted_width", ow);
        mlt_properties_set_int(own, "vk_wanted_height", oh);
    }
    // Whether the source's pictures are progressive is known only from a
    // decoded picture: the first one goes the engine's way, and so does every
    // picture of an interlaced source (the producer converts interlaced 4:2:0
    // field by field, the engine deinterlaces before it scales).
    const int seen = mlt_properties_get_int(own, "vk_seen"); // 0 not yet, 1 progressive, 2 interlaced
    if (!fast || seen != 1 || !scaling || *format != mlt_image_yuv422 || ow < 2 || oh < 2 || (ow & 1) ||
        (ow == *width && oh == *height)) {
        const int error = mlt_frame_get_image(frame, image, format, width, height, writable);
        if (fast && seen == 0 && !error && *image)
            mlt_properties_set_int(own, "vk_seen", mlt_properties_get_int(props, "progressive") ? 1 : 2);
        return error;
    }

    mlt_image_format planar = mlt_image_yuv420p;
    int w = *width, h = *height;
    uint8_t* src = nullptr;
    const int error = mlt_frame_get_image(frame, &src, &planar, &w, &h, writable);
    if (error || !src)
        return error ? error : 1;
    if (!mlt_properties_get_int(props, "progressive"))
        mlt_properties_set_int(own, "vk_seen", 2);
    if (planar != mlt_image_yuv420p || w < 2 || h < 2 || !mlt_properties_get_int(props, "progressive")) {
        // Not what the source promised, or interlaced after all: hand it up
        // at the source size, the engine's conversions, deinterlacer and
        // scaler take it from here.
        *image = src;
        *format = planar;
        *width = w;
        *height = h;
        return 0;
    }
    const int size = mlt_image_format_size(mlt_image_yuv422, ow, oh, nullptr);
    auto* out = static_cast<uint8_t*>(mlt_pool_alloc(size));
    if (!out)
        return 1;
    const int colorspace = mlt_properties_get_int(props, "colorspace");
    const bool fullRange = mlt_properties_get_int(props, "full_range") == 1;
    if (!scale420To422(src, w, h, colorspace, fullRange, out, ow, oh)) {
        mlt_pool_release(out);
        return 1;
    }
    mlt_frame_set_image(frame, out, size, mlt_pool_release);
    mlt_properties_set_int(props, "full_range", 0);
    countPicture(own);
    *image = out;
    *format = mlt_image_yuv422;
    *width = ow;
    *height = oh;
    return 0;
}

mlt_frame process(mlt_filter filter, mlt_frame frame)
{
    mlt_frame_push_service(frame, filter);
    mlt_frame_push_get_image(frame, getImage);
    return frame;
}

void* createScale(mlt_profile, mlt_service_type, const char*, const void*)
{
    mlt_filter filter = mlt_filter_new();
    if (filter)
        filter->process = process;
    return filter;
}

// Whether a file producer decodes to plain 4:2:0. (Interlaced pictures are
// deinterlaced below this filter, as they would be for the engine's scaler.)
bool planar420(mlt_properties producer)
{
    const int index = mlt_properties_get_int(producer, "video_index");
    if (index < 0)
        return false;
    const std::string key = "meta.media." + std::to_string(index) + ".codec.pix_fmt";
    const char* pixFmt = mlt_properties_get(producer, key.c_str());
    return pixFmt && std::strcmp(pixFmt, "yuv420p") == 0;
}

void installOn(mlt_producer producer, int& count)
{
    mlt_properties props = MLT_PRODUCER_PROPERTIES(producer);
    if (mlt_properties_get_int(props, "_vk_scale_done"))
        return;
    mlt_properties_set_int(props, "_vk_scale_done", 1);
    const char* service = mlt_properties_get(props, "mlt_service");
    if (!service || std::strncmp(service, "avformat", 8) != 0 || !planar420(props))
        return;
    mlt_service s = MLT_PRODUCER_SERVICE(producer);
    // Only where the engine's scaler is: it is what names the wanted size.
    int rescaler = -1;
    for (int i = 0; i < mlt_service_filter_count(s); ++i) {
        mlt_properties f = MLT_FILTER_PROPERTIES(mlt_service_filter(s, i));
        const char* name = mlt_properties_get(f, "mlt_service");
        if (mlt_properties_get_int(f, "_loader") && name &&
            (std::strcmp(name, "swscale") == 0 || std::strcmp(name, "rescale") == 0))
            rescaler = i;
    }
    if (rescaler < 0)
        return;
    mlt_filter below = mlt_factory_filter(mlt_service_profile(s), kServiceName, nullptr);
    mlt_filter above = mlt_factory_filter(mlt_service_profile(s), kServiceName, nullptr);
    if (!below || !above) {
        mlt_filter_close(below);
        mlt_filter_close(above);
        return;
    }
    mlt_properties_set_int(MLT_FILTER_PROPERTIES(below), "vk_planar420", 1);
    mlt_service_attach(s, below);
    // Below all of the engine's own filters, right above the producer: the
    // deinterlacer (the lowest of them) asks for packed 4:2:2 whenever it
    // deinterlaces (and its fallback, avdeinterlace, always does), which would
    // have the producer convert the picture before this filter sees it.
    mlt_service_move_filter(s, mlt_service_filter_count(s) - 1, 0);
    // Above all of them; it reads what the one below learnt about the source.
    mlt_properties_set_int(MLT_FILTER_PROPERTIES(above), "vk_above", 1);
    mlt_properties_set_data(MLT_FILTER_PROPERTIES(above), "vk_below", MLT_FILTER_PROPERTIES(below), 0, nullptr,
                            nullptr);
    mlt_service_attach(s, above);
    mlt_filter_close(below); // the producer holds them now
    mlt_filter_close(above);
    ++count;
}

void visit(mlt_service service, int& count, int depth)
{
    if (!service || depth > 16)
        return;
    switch (mlt_service_identify(service)) {
    case mlt_service_tractor_type: {
        mlt_multitrack multi = mlt_tractor_multitrack(MLT_TRACTOR(service));
        for (int i = 0; multi && i < mlt_multitrack_count(multi); ++i)
            visit(MLT_PRODUCER_SERVICE(mlt_multitrack_track(multi, i)), count, depth + 1);
        break;
    }
    case mlt_service_multitrack_type: {
        mlt_multitrack multi = MLT_MULTITRACK(service);
        for (int i = 0; i < mlt_multitrack_count(multi); ++i)
            visit(MLT_PRODUCER_SERVICE(mlt_multitrack_track(multi, i)), count, depth + 1);
        break;
    }
    case mlt_service_playlist_type: {
        mlt_playlist playlist = MLT_PLAYLIST(service);
        for (int i = 0; i < mlt_playlist_count(playlist); ++i) {
            mlt_producer clip = mlt_playlist_get_clip(playlist, i);
            if (clip && !mlt_playlist_is_blank(playlist, i))
                visit(MLT_PRODUCER_SERVICE(mlt_producer_cut_parent(clip)), count, depth + 1);
        }
        break;
    }
    case mlt_service_producer_type: {
        mlt_producer producer = MLT_PRODUCER(service);
        if (mlt_producer_is_cut(producer)) {
            visit(MLT_PRODUCER_SERVICE(mlt_producer_cut_parent(producer)), count, depth + 1);
            break;
        }
        installOn(producer, count);
        break;
    }
    default:
        break;
    }
}

} // namespace

void registerFastScaler()
{
    mlt_repository repository = mlt_factory_repository();
    if (repository)
        mlt_repository_register(repository, mlt_service_filter_type, kServiceName, createScale);
}

int installFastScaler(mlt_producer timeline)
{
    int count = 0;
    if (timeline)
        visit(MLT_PRODUCER_SERVICE(timeline), count, 0);
    return count;
}

} // namespace vk
