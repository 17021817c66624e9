// The media libraries (libmpv and FFmpeg's) are opened at their first use rather than
// at program start. Linked directly, they and the hundreds of libraries they need in
// turn would be loaded and relocated before main() runs: most of the editor's start-up
// time and a good part of its memory while no media is open.
//
// Each function the editor uses is defined here with the library's own declaration and
// goes to the library's function of the same name, looked up once (thread-safe: the
// sound analysis decodes on a worker thread). When a library cannot be opened, its
// functions give the failure of their kind: a null handle or object, an error code.

#include <mpv/client.h>
#include <mpv/render.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>

#include <cerrno>
#include <string>

namespace {

enum class Lib { Mpv, Format, Codec, Util, Resample, Scale };

std::string soname(const char* base, int major)
{
    return std::string("lib") + base + ".so." + std::to_string(major);
}

void* openLibrary(Lib lib)
{
    std::string name;
    switch (lib) {
    case Lib::Mpv:
        name = soname("mpv", int(MPV_CLIENT_API_VERSION >> 16));
        break;
    case Lib::Format:
        name = soname("avformat", LIBAVFORMAT_VERSION_MAJOR);
        break;
    case Lib::Codec:
        name = soname("avcodec", LIBAVCODEC_VERSION_MAJOR);
        break;
    case Lib::Util:
        name = soname("avutil", LIBAVUTIL_VERSION_MAJOR);
        break;
    case Lib::Resample:
        name = soname("swresample", LIBSWRESAMPLE_VERSION_MAJOR);
        break;
    case Lib::Scale:
        name = soname("swscale", LIBSWSCALE_VERSION_MAJOR);
        break;
    }
    // Bound lazily: the library and the many it needs in turn get their symbols
    // resolved as they are used rather than all at the opening.
    return dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
}

// Each library is opened on the first use of one of its own functions.
void* handle(Lib lib)
{
    switch (lib) {
    case Lib::Mpv: {
        static void* const h = openLibrary(Lib::Mpv);
        return h;
    }
    case Lib::Format: {
        static void* const h = openLibrary(Lib::Format);
        return h;
    }
    case Lib::Codec: {
        static void* const h = openLibrary(Lib::Codec);
        return h;
    }
    case Lib::Util: {
        static void* const h = openLibrary(Lib::Util);
        return h;
    }
    case Lib::Resample: {
        static void* const h = openLibrary(Lib::Resample);
        return h;
    }
    case Lib::Scale: {
        static void* const h = openLibrary(Lib::Scale);
        return h;
    }
    }
    return nullptr;
}

void* symbol(Lib lib, const char* name)
{
    void* h = handle(lib);
    return h ? dlsym(h, name) : nullptr;
}

constexpr int kAvUnavailable = AVERROR(ENOSYS);

} // namespace

// The library's own function `name`, null when it cannot be had.
#define VK_REAL(lib, name) static const auto real = reinterpret_cast<decltype(&::name)>(symbol(Lib::lib, #name))

extern "C" {

// ---- libmpv ---------------------------------------------------------------------------

unsigned long mpv_client_api_version(void)
{
    VK_REAL(Mpv, mpv_client_api_version);
    return real ? real() : 0;
}

const char* mpv_error_string(int error)
{
    VK_REAL(Mpv, mpv_error_string);
    return real ? real(error) : "the media player library cannot be loaded";
}

mpv_handle* mpv_create(void)
{
    VK_REAL(Mpv, mpv_create);
    return real ? real() : nullptr;
}

int mpv_initialize(mpv_handle* ctx)
{
    VK_REAL(Mpv, mpv_initialize);
    return real ? real(ctx) : MPV_ERROR_UNINITIALIZED;
}

void mpv_terminate_destroy(mpv_handle* ctx)
{
    VK_REAL(Mpv, mpv_terminate_destroy);
    if (real)
        real(ctx);
}

int mpv_set_option_string(mpv_handle* ctx, const char* name, const char* data)
{
    VK_REAL(Mpv, mpv_set_option_string);
    return real ? real(ctx, name, data) : MPV_ERROR_UNINITIALIZED;
}

int mpv_command(mpv_handle* ctx, const char** args)
{
    VK_REAL(Mpv, mpv_command);
    return real ? real(ctx, args) : MPV_ERROR_UNINITIALIZED;
}

int mpv_command_node(mpv_handle* ctx, mpv_node* args, mpv_node* result)
{
    VK_REAL(Mpv, mpv_command_node);
    return real ? real(ctx, args, result) : MPV_ERROR_UNINITIALIZED;
}

void mpv_free_node_contents(mpv_node* node)
{
    VK_REAL(Mpv, mpv_free_node_contents);
    if (real)
        real(node);
}

int mpv_set_property(mpv_handle* ctx, const char* name, mpv_format format, void* data)
{
    VK_REAL(Mpv, mpv_set_property);
    return real ? real(ctx, name, format, data) : MPV_ERROR_UNINITIALIZED;
}

int mpv_set_property_string(mpv_handle* ctx, const char* name, const char* data)
{
    VK_REAL(Mpv, mpv_set_property_string);
    return real ? real(ctx, name, data) : MPV_ERROR_UNINITIALIZED;
}

int mpv_get_property(mpv_handle* ctx, const char* name, mpv_format format, void* data)
{
    VK_REAL(Mpv, mpv_get_property);
    return real ? real(ctx, name, format, data) : MPV_ERROR_UNINITIALIZED;
}

int mpv_observe_property(mpv_handle* mpv, uint64_t reply_userdata, const char* name, mpv_format format)
{
    VK_REAL(Mpv, mpv_observe_property);
    return real ? real(mpv, reply_userdata, name, format) : MPV_ERROR_UNINITIALIZED;
}

mpv_event* mpv_wait_event(mpv_handle* ctx, double timeout)
{
    VK_REAL(Mpv, mpv_wait_event);
    static mpv_event none{};
    return real ? real(ctx, timeout) : &none;
}

void mpv_set_wakeup_callback(mpv_handle* ctx, void (*cb)(void* d), void* d)
{
    VK_REAL(Mpv, mpv_set_wakeup_callback);
    if (real)
        real(ctx, cb, d);
}

int mpv_render_context_create(mpv_render_context** res, mpv_handle* mpv, mpv_render_param* params)
{
    VK_REAL(Mpv, mpv_render_context_create);
    return real ? real(res, mpv, params) : MPV_ERROR_UNINITIALIZED;
}

void mpv_render_context_set_update_callback(mpv_render_context* ctx, mpv_render_update_fn callback, void* callback_ctx)
{
    VK_REAL(Mpv, mpv_render_context_set_update_callback);
    if (real)
        real(ctx, callback, callback_ctx);
}

uint64_t mpv_render_context_update(mpv_render_context* ctx)
{
    VK_REAL(Mpv, mpv_render_context_update);
    return real ? real(ctx) : 0;
}

int mpv_render_context_render(mpv_render_context* ctx, mpv_render_param* params)
{
    VK_REAL(Mpv, mpv_render_context_render);
    return real ? real(ctx, params) : MPV_ERROR_UNINITIALIZED;
}

void mpv_render_context_free(mpv_render_context* ctx)
{
    VK_REAL(Mpv, mpv_render_context_free);
    if (real)
        real(ctx);
}

// ---- libavformat ----------------------------------------------------------------------

unsigned avformat_version(void)
{
    VK_REAL(Format, avformat_version);
    return real ? real() : 0;
}

const AVInputFormat* av_find_input_format(const char* short_name)
{
    VK_REAL(Format, av_find_input_format);
    return real ? real(short_name) : nullptr;
}

int avformat_open_input(AVFormatContext** ps, const char* url, const AVInputFormat* fmt, AVDictionary** options)
{
    VK_REAL(Format, avformat_open_input);
    return real ? real(ps, url, fmt, options) : kAvUnavailable;
}

int avformat_find_stream_info(AVFormatContext* ic, AVDictionary** options)
{
    VK_REAL(Format, avformat_find_stream_info);
    return real ? real(ic, options) : kAvUnavailable;
}

void avformat_close_input(AVFormatContext** s)
{
    VK_REAL(Format, avformat_close_input);
    if (real)
        real(s);
}

int av_find_best_stream(AVFormatContext* ic, enum AVMediaType type, int wanted_stream_nb, int related_stream,
                        const AVCodec** decoder_ret, int flags)
{
    VK_REAL(Format, av_find_best_stream);
    return real ? real(ic, type, wanted_stream_nb, related_stream, decoder_ret, flags) : kAvUnavailable;
}

int av_read_frame(AVFormatContext* s, AVPacket* pkt)
{
    VK_REAL(Format, av_read_frame);
    return real ? real(s, pkt) : kAvUnavailable;
}

// ---- libavcodec -----------------------------------------------------------------------

AVCodecContext* avcodec_alloc_context3(const AVCodec* codec)
{
    VK_REAL(Codec, avcodec_alloc_context3);
    return real ? real(codec) : nullptr;
}

void avcodec_free_context(AVCodecContext** avctx)
{
    VK_REAL(Codec, avcodec_free_context);
    if (real)
        real(avctx);
}

int avcodec_parameters_to_context(AVCodecContext* codec, const AVCodecParameters* par)
{
    VK_REAL(Codec, avcodec_parameters_to_context);
    return real ? real(codec, par) : kAvUnavailable;
}

int avcodec_open2(AVCodecContext* avctx, const AVCodec* codec, AVDictionary** options)
{
    VK_REAL(Codec, avcodec_open2);
    return real ? real(avctx, codec, options) : kAvUnavailable;
}

int avcodec_send_packet(AVCodecContext* avctx, const AVPacket* avpkt)
{
    VK_REAL(Codec, avcodec_send_packet);
    return real ? real(avctx, avpkt) : kAvUnavailable;
}

int avcodec_receive_frame(AVCodecContext* avctx, AVFrame* frame)
{
    VK_REAL(Codec, avcodec_receive_frame);
    return real ? real(avctx, frame) : kAvUnavailable;
}

AVPacket* av_packet_alloc(void)
{
    VK_REAL(Codec, av_packet_alloc);
    return real ? real() : nullptr;
}

void av_packet_free(AVPacket** pkt)
{
    VK_REAL(Codec, av_packet_free);
    if (real)
        real(pkt);
}

void av_packet_unref(AVPacket* pkt)
{
    VK_REAL(Codec, av_packet_unref);
    if (real)
        real(pkt);
}

// ---- libavutil ------------------------------------------------------------------------

void av_log_set_level(int level)
{
    VK_REAL(Util, av_log_set_level);
    if (real)
        real(level);
}

int64_t av_rescale_q(int64_t a, AVRational bq, AVRational cq)
{
    VK_REAL(Util, av_rescale_q);
    return real ? real(a, bq, cq) : 0;
}

AVFrame* av_frame_alloc(void)
{
    VK_REAL(Util, av_frame_alloc);
    return real ? real() : nullptr;
}

void av_frame_free(AVFrame** frame)
{
    VK_REAL(Util, av_frame_free);
    if (real)
        real(frame);
}

void av_frame_unref(AVFrame* frame)
{
    VK_REAL(Util, av_frame_unref);
    if (real)
        real(frame);
}

int av_opt_set_int(void* obj, const char* name, int64_t val, int search_flags)
{
    VK_REAL(Util, av_opt_set_int);
    return real ? real(obj, name, val, search_flags) : kAvUnavailable;
}

// ---- libswresample --------------------------------------------------------------------

int swr_alloc_set_opts2(struct SwrContext** ps, AVChannelLayout* out_ch_layout, enum AVSampleFormat out_sample_fmt,
                        int out_sample_rate, AVChannelLayout* in_ch_layout, enum AVSampleFormat in_sample_fmt,
                        int in_sample_rate, int log_offset, void* log_ctx)
{
    VK_REAL(Resample, swr_alloc_set_opts2);
    return real ? real(ps, out_ch_layout, out_sample_fmt, out_sample_rate, in_ch_layout, in_sample_fmt, in_sample_rate,
                       log_offset, log_ctx)
                : kAvUnavailable;
}

int swr_init(struct SwrContext* s)
{
    VK_REAL(Resample, swr_init);
    return real ? real(s) : kAvUnavailable;
}

int swr_get_out_samples(struct SwrContext* s, int in_samples)
{
    VK_REAL(Resample, swr_get_out_samples);
    return real ? real(s, in_samples) : kAvUnavailable;
}

int swr_convert(struct SwrContext* s, uint8_t** out, int out_count, const uint8_t** in, int in_count)
{
    VK_REAL(Resample, swr_convert);
    return real ? real(s, out, out_count, in, in_count) : kAvUnavailable;
}

void swr_free(struct SwrContext** s)
{
    VK_REAL(Resample, swr_free);
    if (real)
        real(s);
}

// ---- libswscale ----------------------------------------------------------------------

struct SwsContext* sws_getContext(int srcW, int srcH, enum AVPixelFormat srcFormat, int dstW, int dstH,
                                  enum AVPixelFormat dstFormat, int flags, SwsFilter* srcFilter, SwsFilter* dstFilter,
                                  const double* param)
{
    VK_REAL(Scale, sws_getContext);
    return real ? real(srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, srcFilter, dstFilter, param) : nullptr;
}

int sws_scale(struct SwsContext* c, const uint8_t* const srcSlice[], const int srcStride[], int srcSliceY,
              int srcSliceH, uint8_t* const dst[], const int dstStride[])
{
    VK_REAL(Scale, sws_scale);
    return real ? real(c, srcSlice, srcStride, srcSliceY, srcSliceH, dst, dstStride) : kAvUnavailable;
}

void sws_freeContext(struct SwsContext* c)
{
    VK_REAL(Scale, sws_freeContext);
    if (real)
        real(c);
}

// ---- writing (the viewing copies) ------------------------------------------------------

const AVCodec* avcodec_find_encoder(enum AVCodecID id)
{
    VK_REAL(Codec, avcodec_find_encoder);
    return real ? real(id) : nullptr;
}

int avcodec_send_frame(AVCodecContext* avctx, const AVFrame* frame)
{
    VK_REAL(Codec, avcodec_send_frame);
    return real ? real(avctx, frame) : kAvUnavailable;
}

int avcodec_receive_packet(AVCodecContext* avctx, AVPacket* avpkt)
{
    VK_REAL(Codec, avcodec_receive_packet);
    return real ? real(avctx, avpkt) : kAvUnavailable;
}

int avcodec_parameters_from_context(AVCodecParameters* par, const AVCodecContext* codec)
{
    VK_REAL(Codec, avcodec_parameters_from_context);
    return real ? real(par, codec) : kAvUnavailable;
}

int avcodec_parameters_copy(AVCodecParameters* dst, const AVCodecParameters* src)
{
    VK_REAL(Codec, avcodec_parameters_copy);
    return real ? real(dst, src) : kAvUnavailable;
}

void av_packet_rescale_ts(AVPacket* pkt, AVRational tb_src, AVRational tb_dst)
{
    VK_REAL(Codec, av_packet_rescale_ts);
    if (real)
        real(pkt, tb_src, tb_dst);
}

int avformat_alloc_output_context2(AVFormatContext** ctx, const AVOutputFormat* oformat, const char* format_name,
                                   const char* filename)
{
    VK_REAL(Format, avformat_alloc_output_context2);
    return real ? real(ctx, oformat, format_name, filename) : kAvUnavailable;
}

void avformat_free_context(AVFormatContext* s)
{
    VK_REAL(Format, avformat_free_context);
    if (real)
        real(s);
}

AVStream* avformat_new_stream(AVFormatContext* s, const AVCodec* c)
{
    VK_REAL(Format, avformat_new_stream);
    return real ? real(s, c) : nullptr;
}

int avio_open(AVIOContext** s, const char* url, int flags)
{
    VK_REAL(Format, avio_open);
    return real ? real(s, url, flags) : kAvUnavailable;
}

int avio_closep(AVIOContext** s)
{
    VK_REAL(Format, avio_closep);
    return real ? real(s) : kAvUnavailable;
}

int avformat_write_header(AVFormatContext* s, AVDictionary** options)
{
    VK_REAL(Format, avformat_write_header);
    return real ? real(s, options) : kAvUnavailable;
}

int av_interleaved_write_frame(AVFormatContext* s, AVPacket* pkt)
{
    VK_REAL(Format, av_interleaved_write_frame);
    return real ? real(s, pkt) : kAvUnavailable;
}

int av_write_trailer(AVFormatContext* s)
{
    VK_REAL(Format, av_write_trailer);
    return real ? real(s) : kAvUnavailable;
}

int av_frame_get_buffer(AVFrame* frame, int align)
{
    VK_REAL(Util, av_frame_get_buffer);
    return real ? real(frame, align) : kAvUnavailable;
}

int av_frame_make_writable(AVFrame* frame)
{
    VK_REAL(Util, av_frame_make_writable);
    return real ? real(frame) : kAvUnavailable;
}

} // extern "C"
