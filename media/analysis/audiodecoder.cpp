#include "media/analysis/audiodecoder.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace vk {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct SwrCloser {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

DecodedAudio failure(const QString& reason)
{
    DecodedAudio out;
    out.reason = reason;
    return out;
}

} // namespace

DecodedAudio decodeAudio(const QString& path, const std::atomic<bool>* cancel, const ProgressFn& progress)
{
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };

    AVFormatContext* rawFormat = nullptr;
    const QByteArray localPath = QFile::encodeName(path);
    if (avformat_open_input(&rawFormat, localPath.constData(), nullptr, nullptr) < 0) {
        return failure(QFile::exists(path) ? QStringLiteral("Damaged or unknown file")
                                           : QStringLiteral("File not found"));
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return failure(QStringLiteral("Damaged or unknown file"));

    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return failure(QStringLiteral("No sound in the file"));
    AVStream* st = format->streams[stream];

    std::unique_ptr<AVCodecContext, CodecCloser> dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0 ||
        avcodec_open2(dec.get(), codec, nullptr) < 0)
        return failure(QStringLiteral("Cannot decode the sound"));
    if (dec->sample_rate <= 0 || dec->ch_layout.nb_channels <= 0)
        return failure(QStringLiteral("Cannot decode the sound"));

    // One mono float channel at the stream's own rate: libswresample does the format
    // conversion and the down-mix for every sample format the decoders produce.
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* rawSwr = nullptr;
    if (swr_alloc_set_opts2(&rawSwr, &mono, AV_SAMPLE_FMT_FLT, dec->sample_rate, &dec->ch_layout, dec->sample_fmt,
                            dec->sample_rate, 0, nullptr) < 0)
        return failure(QStringLiteral("Cannot decode the sound"));
    std::unique_ptr<SwrContext, SwrCloser> swr(rawSwr);
    // An average of the channels, not their sum: keeps full-scale stereo at full scale.
    if (dec->ch_layout.nb_channels > 1)
        av_opt_set_int(swr.get(), "rematrix_maxval", 1, 0);
    if (swr_init(swr.get()) < 0)
        return failure(QStringLiteral("Cannot decode the sound"));

    DecodedAudio out;
    out.sampleRate = dec->sample_rate;
    double totalSec = 0.0;
    if (st->duration > 0)
        totalSec = st->duration * av_q2d(st->time_base);
    else if (format->duration > 0)
        totalSec = double(format->duration) / AV_TIME_BASE;
    if (totalSec > 0.0)
        out.samples.reserve(size_t(totalSec * out.sampleRate) + 4096);

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    if (!packet || !frame)
        return failure(QStringLiteral("Out of memory"));

    bool decodeErrors = false;
    double lastReported = -1.0;
    auto drain = [&]() {
        for (;;) {
            const int r = avcodec_receive_frame(dec.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return;
            if (r < 0) {
                decodeErrors = true;
                return;
            }
            const int outMax = swr_get_out_samples(swr.get(), frame->nb_samples);
            if (outMax > 0) {
                const size_t at = out.samples.size();
                out.samples.resize(at + size_t(outMax));
                uint8_t* dst = reinterpret_cast<uint8_t*>(out.samples.data() + at);
                const int got = swr_convert(swr.get(), &dst, outMax, const_cast<const uint8_t**>(frame->extended_data),
                                            frame->nb_samples);
                out.samples.resize(at + size_t(std::max(got, 0)));
            }
            av_frame_unref(frame.get());
        }
    };

    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (cancelled())
            return failure(cancelledReason());
        if (packet->stream_index == stream) {
            if (avcodec_send_packet(dec.get(), packet.get()) < 0)
                decodeErrors = true;
            drain();
            if (progress && totalSec > 0.0) {
                const double f = std::min(1.0, double(out.samples.size()) / (totalSec * out.sampleRate));
                if (f - lastReported >= 0.01) {
                    lastReported = f;
                    progress(f);
                }
            }
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    drain();
    // Whatever the resampler still holds.
    for (;;) {
        float tail[1024];
        uint8_t* dst = reinterpret_cast<uint8_t*>(tail);
        const int got = swr_convert(swr.get(), &dst, 1024, nullptr, 0);
        if (got <= 0)
            break;
        out.samples.insert(out.samples.end(), tail, tail + got);
    }

    if (out.samples.empty())
        return failure(decodeErrors ? QStringLiteral("Damaged file") : QStringLiteral("No sound in the file"));
    // Decoders hand out NaN or huge values on some damaged streams; keep them out of
    // the analysis.
    for (float& s : out.samples) {
        if (!std::isfinite(s))
            s = 0.0f;
        else
            s = std::clamp(s, -4.0f, 4.0f);
    }
    if (progress)
        progress(1.0);
    return out;
}

bool writeWav16(const QString& path, const std::vector<float>& interleaved, int sampleRate, int channels)
{
    if (sampleRate <= 0 || channels <= 0)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const quint32 dataBytes = quint32(interleaved.size() * 2);
    QByteArray header;
    auto u32 = [&header](quint32 v) {
        for (int i = 0; i < 4; ++i)
            header.append(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [&header](quint16 v) {
        header.append(char(v & 0xff));
        header.append(char(v >> 8));
    };
    header.append("RIFF", 4);
    u32(36 + dataBytes);
    header.append("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(quint16(channels));
    u32(quint32(sampleRate));
    u32(quint32(sampleRate * channels * 2));
    u16(quint16(channels * 2));
    u16(16);
    header.append("data", 4);
    u32(dataBytes);
    if (f.write(header) != header.size())
        return false;
    QByteArray data(int(dataBytes), Qt::Uninitialized);
    char* p = data.data();
    for (float s : interleaved) {
        const int v = int(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
        p[0] = char(v & 0xff);
        p[1] = char((v >> 8) & 0xff);
        p += 2;
    }
    return f.write(data) == data.size();
}

} // namespace vk
