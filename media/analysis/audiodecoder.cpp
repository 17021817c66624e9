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

} // namespace

struct AudioDecoder::Codec {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecCloser> dec;
    std::unique_ptr<SwrContext, SwrCloser> swr;
    std::unique_ptr<AVPacket, PacketCloser> packet;
    std::unique_ptr<AVFrame, FrameCloser> frame;
    int stream = -1;
    bool inputDone = false;   // every packet read, the decoder flushed
    bool decoderDone = false; // the decoder gave its last frame
    bool decodeErrors = false;
};

AudioDecoder::AudioDecoder() = default;
AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::open(const QString& path)
{
    m_codec.reset();
    m_pending.clear();
    m_pendingAt = 0;
    m_sampleRate = 0;
    m_expected = 0;
    m_read = 0;
    m_ended = true;
    auto fail = [this](const QString& reason) {
        m_codec.reset();
        m_reason = reason;
        return false;
    };

    auto c = std::make_unique<Codec>();
    AVFormatContext* rawFormat = nullptr;
    const QByteArray localPath = QFile::encodeName(path);
    if (avformat_open_input(&rawFormat, localPath.constData(), nullptr, nullptr) < 0) {
        return fail(QFile::exists(path) ? QStringLiteral("Damaged or unknown file") : QStringLiteral("File not found"));
    }
    c->format.reset(rawFormat);
    if (avformat_find_stream_info(c->format.get(), nullptr) < 0)
        return fail(QStringLiteral("Damaged or unknown file"));

    const AVCodec* codec = nullptr;
    c->stream = av_find_best_stream(c->format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (c->stream < 0 || !codec)
        return fail(QStringLiteral("No sound in the file"));
    AVStream* st = c->format->streams[c->stream];
    // Only the sound stream's packets are wanted: the demuxer then skips the others
    // (a video's pictures) instead of handing each one over.
    for (unsigned i = 0; i < c->format->nb_streams; ++i) {
        if (int(i) != c->stream)
            c->format->streams[i]->discard = AVDISCARD_ALL;
    }

    c->dec.reset(avcodec_alloc_context3(codec));
    if (!c->dec || avcodec_parameters_to_context(c->dec.get(), st->codecpar) < 0 ||
        avcodec_open2(c->dec.get(), codec, nullptr) < 0)
        return fail(QStringLiteral("Cannot decode the sound"));
    if (c->dec->sample_rate <= 0 || c->dec->ch_layout.nb_channels <= 0)
        return fail(QStringLiteral("Cannot decode the sound"));

    // One mono float channel at the stream's own rate: libswresample does the format
    // conversion and the down-mix for every sample format the decoders produce.
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* rawSwr = nullptr;
    if (swr_alloc_set_opts2(&rawSwr, &mono, AV_SAMPLE_FMT_FLT, c->dec->sample_rate, &c->dec->ch_layout,
                            c->dec->sample_fmt, c->dec->sample_rate, 0, nullptr) < 0)
        return fail(QStringLiteral("Cannot decode the sound"));
    c->swr.reset(rawSwr);
    // An average of the channels, not their sum: keeps full-scale stereo at full scale.
    if (c->dec->ch_layout.nb_channels > 1)
        av_opt_set_int(c->swr.get(), "rematrix_maxval", 1, 0);
    if (swr_init(c->swr.get()) < 0)
        return fail(QStringLiteral("Cannot decode the sound"));

    c->packet.reset(av_packet_alloc());
    c->frame.reset(av_frame_alloc());
    if (!c->packet || !c->frame)
        return fail(QStringLiteral("Out of memory"));

    m_sampleRate = c->dec->sample_rate;
    double totalSec = 0.0;
    if (st->duration > 0)
        totalSec = st->duration * av_q2d(st->time_base);
    else if (c->format->duration > 0)
        totalSec = double(c->format->duration) / AV_TIME_BASE;
    if (totalSec > 0.0)
        m_expected = size_t(totalSec * m_sampleRate);
    m_codec = std::move(c);
    m_reason.clear();
    m_ended = false;
    return true;
}

bool AudioDecoder::decodeMore()
{
    Codec& c = *m_codec;
    m_pending.clear();
    m_pendingAt = 0;
    for (;;) {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed)) {
            m_reason = cancelledReason();
            return false;
        }
        if (!c.decoderDone) {
            const int r = avcodec_receive_frame(c.dec.get(), c.frame.get());
            if (r >= 0) {
                const int outMax = swr_get_out_samples(c.swr.get(), c.frame->nb_samples);
                if (outMax > 0) {
                    m_pending.resize(size_t(outMax));
                    uint8_t* dst = reinterpret_cast<uint8_t*>(m_pending.data());
                    const int got =
                        swr_convert(c.swr.get(), &dst, outMax, const_cast<const uint8_t**>(c.frame->extended_data),
                                    c.frame->nb_samples);
                    m_pending.resize(size_t(std::max(got, 0)));
                }
                av_frame_unref(c.frame.get());
                if (!m_pending.empty())
                    return true;
                continue;
            }
            if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
                c.decodeErrors = true;
            // After the flush the decoder has nothing more to give, whatever it answers.
            if (r == AVERROR_EOF || c.inputDone) {
                c.decoderDone = true;
                continue;
            }
            // It wants the next packet of the stream.
            if (av_read_frame(c.format.get(), c.packet.get()) < 0) {
                avcodec_send_packet(c.dec.get(), nullptr);
                c.inputDone = true;
                continue;
            }
            if (c.packet->stream_index == c.stream && avcodec_send_packet(c.dec.get(), c.packet.get()) < 0)
                c.decodeErrors = true;
            av_packet_unref(c.packet.get());
            continue;
        }
        // Whatever the resampler still holds.
        m_pending.resize(1024);
        uint8_t* dst = reinterpret_cast<uint8_t*>(m_pending.data());
        const int got = swr_convert(c.swr.get(), &dst, 1024, nullptr, 0);
        m_pending.resize(size_t(std::max(got, 0)));
        return !m_pending.empty();
    }
}

bool AudioDecoder::read(std::vector<float>& block)
{
    block.clear();
    if (m_ended || !m_codec)
        return false;
    while (block.size() < kMaxBlock) {
        if (m_pendingAt == m_pending.size() && !decodeMore())
            break;
        const size_t n = std::min(kMaxBlock - block.size(), m_pending.size() - m_pendingAt);
        block.insert(block.end(), m_pending.begin() + long(m_pendingAt), m_pending.begin() + long(m_pendingAt + n));
        m_pendingAt += n;
    }
    if (m_reason == cancelledReason())
        block.clear();
    if (block.empty()) {
        m_ended = true;
        if (m_reason.isEmpty() && m_read == 0)
            m_reason = m_codec->decodeErrors ? QStringLiteral("Damaged file") : QStringLiteral("No sound in the file");
        // The stream's buffers go as soon as it is read to the end.
        m_codec.reset();
        m_pending = std::vector<float>();
        return false;
    }
    for (float& s : block) {
        if (!std::isfinite(s))
            s = 0.0f;
        else
            s = std::clamp(s, -4.0f, 4.0f);
    }
    m_read += block.size();
    return true;
}

DecodedAudio decodeAudio(const QString& path, const std::atomic<bool>* cancel, const ProgressFn& progress)
{
    DecodedAudio out;
    AudioDecoder decoder;
    decoder.setCancel(cancel);
    if (!decoder.open(path)) {
        out.reason = decoder.reason();
        return out;
    }
    const size_t expected = decoder.expectedSamples();
    if (expected > 0)
        out.samples.reserve(expected + 4096);
    std::vector<float> block;
    double lastReported = -1.0;
    while (decoder.read(block)) {
        out.samples.insert(out.samples.end(), block.begin(), block.end());
        if (progress && expected > 0) {
            const double f = std::min(1.0, double(out.samples.size()) / double(expected));
            if (f - lastReported >= 0.01) {
                lastReported = f;
                progress(f);
            }
        }
    }
    if (!decoder.reason().isEmpty()) {
        DecodedAudio failed;
        failed.reason = decoder.reason();
        return failed;
    }
    out.sampleRate = decoder.sampleRate();
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
