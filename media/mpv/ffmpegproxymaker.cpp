#include "media/mpv/ffmpegproxymaker.h"

#include "media/mpv/mediainfo.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace vk {

namespace {

// A failed write that comes from the cache folder's disk, not from the file's content.
bool fromTheFolder(int code)
{
    for (int e : {ENOSPC, EDQUOT, EROFS, EACCES, EPERM, EIO})
        if (code == AVERROR(e))
            return true;
    return false;
}

// What a failed write of the copy says: a full disk and a folder that may not be written
// are named as such, anything else as a write that failed.
QString writeFailure(int code)
{
    if (code == AVERROR(ENOSPC) || code == AVERROR(EDQUOT))
        return QStringLiteral("ディスクの空き容量が足りません");
    if (code == AVERROR(EROFS) || code == AVERROR(EACCES) || code == AVERROR(EPERM))
        return QStringLiteral("キャッシュフォルダに書き込めません (書き込み禁止)");
    return QStringLiteral("キャッシュフォルダに書き込めません");
}

constexpr int kMaxWidth = 640;
constexpr int kMaxHeight = 360;
// Motion JPEG quantiser: sharp enough to find a frame by, a few times smaller than the original.
constexpr int kQuality = 5;

// Everything one making holds, released in any case.
struct Making {
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* small = nullptr;
    AVPacket* packet = nullptr;
    AVPacket* coded = nullptr;
    bool outOpen = false;

    ~Making()
    {
        if (out) {
            if (outOpen)
                avio_closep(&out->pb);
            avformat_free_context(out);
        }
        avformat_close_input(&in);
        avcodec_free_context(&decoder);
        avcodec_free_context(&encoder);
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_frame_free(&small);
        av_packet_free(&packet);
        av_packet_free(&coded);
    }
};

// The copy's size: within 640x360, aspect kept, even, never larger than the original.
void copySize(int width, int height, int& w, int& h)
{
    const double f = std::min({1.0, double(kMaxWidth) / width, double(kMaxHeight) / height});
    w = std::max(2, int(std::lround(width * f / 2.0)) * 2);
    h = std::max(2, int(std::lround(height * f / 2.0)) * 2);
}

} // namespace

bool FfmpegProxyMaker::make(const QString& source, const QString& target, MediaInfo& original, const Progress& progress,
                            QString& error)
{
    if (!ProbeMediaInfo(source, original) || original.width <= 0 || original.durationMsec <= 0) {
        error = QStringLiteral("動画として読めません");
        return false;
    }
    Making m;
    const QByteArray in = source.toUtf8();
    if (avformat_open_input(&m.in, in.constData(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(m.in, nullptr) < 0) {
        error = QStringLiteral("ファイルを開けません");
        return false;
    }
    const AVCodec* decoderCodec = nullptr;
    const int video = av_find_best_stream(m.in, AVMEDIA_TYPE_VIDEO, -1, -1, &decoderCodec, 0);
    if (video < 0 || !decoderCodec) {
        error = QStringLiteral("映像の形式に対応していません");
        return false;
    }
    const int audio = av_find_best_stream(m.in, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    AVStream* vin = m.in->streams[video];
    m.decoder = avcodec_alloc_context3(decoderCodec);
    if (!m.decoder || avcodec_parameters_to_context(m.decoder, vin->codecpar) < 0) {
        error = QStringLiteral("映像の形式に対応していません");
        return false;
    }
    m.decoder->thread_count = 2;
    if (avcodec_open2(m.decoder, decoderCodec, nullptr) < 0) {
        error = QStringLiteral("映像の形式に対応していません");
        return false;
    }

    int w = 0;
    int h = 0;
    copySize(m.decoder->width, m.decoder->height, w, h);
    const AVCodec* encoderCodec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    m.encoder = encoderCodec ? avcodec_alloc_context3(encoderCodec) : nullptr;
    if (!m.encoder) {
        error = QStringLiteral("コピーの形式 (Motion JPEG) がありません");
        return false;
    }
    m.encoder->width = w;
    m.encoder->height = h;
    m.encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
    m.encoder->color_range = AVCOL_RANGE_JPEG;
    m.encoder->time_base = vin->time_base;
    m.encoder->framerate = vin->avg_frame_rate;
    m.encoder->sample_aspect_ratio = AVRational{1, 1};
    m.encoder->flags |= AV_CODEC_FLAG_QSCALE;
    m.encoder->global_quality = FF_QP2LAMBDA * kQuality;
    m.encoder->thread_count = 1;

    const QByteArray out = target.toUtf8();
    if (avformat_alloc_output_context2(&m.out, nullptr, "mov", out.constData()) < 0 || !m.out) {
        error = QStringLiteral("コピーを書けません");
        return false;
    }
    if (m.out->oformat->flags & AVFMT_GLOBALHEADER)
        m.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(m.encoder, encoderCodec, nullptr) < 0) {
        error = QStringLiteral("コピーの形式 (Motion JPEG) を使えません");
        return false;
    }
    AVStream* vout = avformat_new_stream(m.out, nullptr);
    if (!vout || avcodec_parameters_from_context(vout->codecpar, m.encoder) < 0) {
        error = QStringLiteral("コピーを書けません");
        return false;
    }
    vout->time_base = vin->time_base;
    vout->avg_frame_rate = vin->avg_frame_rate;
    vout->r_frame_rate = vin->r_frame_rate;
    AVStream* aout = nullptr;
    if (audio >= 0) {
        aout = avformat_new_stream(m.out, nullptr);
        if (!aout || avcodec_parameters_copy(aout->codecpar, m.in->streams[audio]->codecpar) < 0) {
            error = QStringLiteral("コピーを書けません");
            return false;
        }
        aout->codecpar->codec_tag = 0;
        aout->time_base = m.in->streams[audio]->time_base;
    }
    if (const int opened = avio_open(&m.out->pb, out.constData(), AVIO_FLAG_WRITE); opened < 0) {
        error = writeFailure(opened);
        return false;
    }
    m.outOpen = true;
    if (const int header = avformat_write_header(m.out, nullptr); header < 0) {
        // The header is the first write: a full or read-only folder shows here first.
        error = fromTheFolder(header) ? writeFailure(header) : QStringLiteral("コピーを書けません (音声の形式)");
        return false;
    }

    m.frame = av_frame_alloc();
    m.small = av_frame_alloc();
    m.packet = av_packet_alloc();
    m.coded = av_packet_alloc();
    if (!m.frame || !m.small || !m.packet || !m.coded) {
        error = QStringLiteral("メモリが足りません");
        return false;
    }
    m.small->format = m.encoder->pix_fmt;
    m.small->width = w;
    m.small->height = h;
    if (av_frame_get_buffer(m.small, 0) < 0) {
        error = QStringLiteral("メモリが足りません");
        return false;
    }

    bool writeFailed = false;
    int writeError = 0; // the first write's error code
    auto wrote = [&](int result) {
        if (result < 0 && !writeFailed) {
            writeFailed = true;
            writeError = result;
        }
    };
    auto drain = [&]() {
        while (avcodec_receive_packet(m.encoder, m.coded) == 0) {
            m.coded->stream_index = vout->index;
            av_packet_rescale_ts(m.coded, m.encoder->time_base, vout->time_base);
            wrote(av_interleaved_write_frame(m.out, m.coded));
        }
    };
    const double length = original.durationMsec / 1000.0;
    int64_t lastPts = AV_NOPTS_VALUE;
    bool badPicture = false;
    auto encodeFrames = [&]() {
        while (avcodec_receive_frame(m.decoder, m.frame) == 0) {
            const int64_t pts = m.frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || (lastPts != AV_NOPTS_VALUE && pts <= lastPts)) {
                // A frame without a time of its own cannot stand at the original's time.
                av_frame_unref(m.frame);
                continue;
            }
            lastPts = pts;
            if (!m.scale || m.frame->width != m.decoder->width || m.frame->height != m.decoder->height) {
                sws_freeContext(m.scale);
                m.scale = sws_getContext(m.frame->width, m.frame->height, AVPixelFormat(m.frame->format), w, h,
                                         AV_PIX_FMT_YUVJ420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
            }
            if (!m.scale || av_frame_make_writable(m.small) < 0) {
                badPicture = true;
                av_frame_unref(m.frame);
                return;
            }
            sws_scale(m.scale, m.frame->data, m.frame->linesize, 0, m.frame->height, m.small->data, m.small->linesize);
            m.small->pts = pts;
            av_frame_unref(m.frame);
            if (avcodec_send_frame(m.encoder, m.small) < 0) {
                badPicture = true;
                return;
            }
            drain();
        }
    };

    for (;;) {
        const int r = av_read_frame(m.in, m.packet);
        if (r == AVERROR_EOF)
            break;
        if (r < 0) {
            error = QStringLiteral("ファイルを途中から読めません");
            return false;
        }
        if (m.packet->stream_index == video) {
            const int64_t at = m.packet->pts != AV_NOPTS_VALUE ? m.packet->pts : m.packet->dts;
            const int sent = avcodec_send_packet(m.decoder, m.packet);
            av_packet_unref(m.packet);
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                error = QStringLiteral("映像を途中から復号できません");
                return false;
            }
            encodeFrames();
            if (at != AV_NOPTS_VALUE && length > 0.0 &&
                !progress(std::clamp(double(at) * av_q2d(vin->time_base) / length, 0.0, 1.0))) {
                error = QStringLiteral("中止しました");
                return false;
            }
        } else if (aout && m.packet->stream_index == audio) {
            m.packet->stream_index = aout->index;
            av_packet_rescale_ts(m.packet, m.in->streams[audio]->time_base, aout->time_base);
            m.packet->pos = -1;
            wrote(av_interleaved_write_frame(m.out, m.packet));
            av_packet_unref(m.packet);
        } else {
            av_packet_unref(m.packet);
        }
        if (badPicture || writeFailed)
            break;
    }
    if (!badPicture && !writeFailed) {
        avcodec_send_packet(m.decoder, nullptr);
        encodeFrames();
        avcodec_send_frame(m.encoder, nullptr);
        drain();
    }
    if (badPicture) {
        error = QStringLiteral("映像を変換できません");
        return false;
    }
    if (!writeFailed)
        wrote(av_write_trailer(m.out));
    if (!writeFailed)
        wrote(avio_closep(&m.out->pb));
    if (writeFailed) {
        // The output closes with the rest (a trailer that failed left it open).
        error = writeFailure(writeError);
        return false;
    }
    m.outOpen = false;
    // A file damaged past some point ends early: its copy would lack the frames after it.
    const double spf = original.secondsPerFrame > 0.0 ? original.secondsPerFrame : 1.0 / 30.0;
    if (lastPts == AV_NOPTS_VALUE || double(lastPts) * av_q2d(vin->time_base) + spf < length - 2.0 * spf - 0.05) {
        error = QStringLiteral("映像を途中から復号できません");
        return false;
    }
    progress(1.0);
    return true;
}

} // namespace vk
