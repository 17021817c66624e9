#include "writer/outputcheck.h"

#include "writer/numbertext.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vk {

namespace {

struct StreamSpan {
    int index = -1;
    long long packets = 0;
    int64_t first = std::numeric_limits<int64_t>::max(); // earliest presentation time
    int64_t end = std::numeric_limits<int64_t>::min();   // latest presentation end
    AVRational timeBase{1, 1};
    double seconds(int64_t v) const { return double(v) * timeBase.num / timeBase.den; }
    bool seen() const { return first != std::numeric_limits<int64_t>::max() && end >= first; }
};

// Samples at the start of a packet the decoder is told to drop (encoder
// priming that an MP4 edit list cuts away).
int64_t skippedAtStart(const AVPacket* pkt)
{
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
    return (data && size >= 4) ? int64_t(AV_RL32(data)) : 0;
}

std::string ms(double seconds)
{
    return std::to_string(std::llround(seconds * 1000));
}

} // namespace

OutputMeasure measureOutput(const std::string& path)
{
    OutputMeasure m;
    AVFormatContext* ctx = nullptr;
    int err = avformat_open_input(&ctx, path.c_str(), nullptr, nullptr);
    if (err >= 0)
        err = avformat_find_stream_info(ctx, nullptr);
    if (err < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(err, text, sizeof text);
        m.openError = text;
        if (ctx)
            avformat_close_input(&ctx);
        return m;
    }
    m.opened = true;
    StreamSpan video, sound;
    video.index = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    sound.index = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    int64_t frameTicks = 0; // a picture's duration, for packets that do not carry one
    if (video.index >= 0) {
        const AVStream* st = ctx->streams[video.index];
        video.timeBase = st->time_base;
        AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            frameTicks = av_rescale_q(1, av_inv_q(rate), st->time_base);
    }
    const AVCodecParameters* soundPar = nullptr;
    if (sound.index >= 0) {
        sound.timeBase = ctx->streams[sound.index]->time_base;
        soundPar = ctx->streams[sound.index]->codecpar;
    }
    // Containers without an edit list cannot say that the first block of a
    // coded sound is the encoder's warm-up. The ASF muxer then moves every
    // timestamp so that this block starts at zero, and the pictures start
    // one block later. Such a block is not counted as sound (see below).
    const char* formatName = ctx->iformat ? ctx->iformat->name : "";
    const bool marksWarmUp = std::strstr(formatName, "mp4") || std::strstr(formatName, "mov");
    const bool codedSound = soundPar && av_get_bits_per_sample(soundPar->codec_id) == 0;
    int64_t firstSoundPts = AV_NOPTS_VALUE, firstSoundDuration = 0;
    // An AVI lists every chunk in its index, with the picture's frame number
    // as its time. Uncompressed pictures are most of a large file, so they are
    // counted from the index and skipped, not read; the sound is read.
    if (video.index >= 0 && std::strcmp(formatName, "avi") == 0) {
        AVStream* st = ctx->streams[video.index];
        const int entries = avformat_index_get_entries_count(st);
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(st, i);
            if (!e || e->size <= 0)
                continue;
            ++video.packets;
            video.first = std::min(video.first, e->timestamp);
            video.end = std::max(video.end, e->timestamp + frameTicks);
        }
        if (video.packets > 0)
            st->discard = AVDISCARD_ALL;
    }
    const bool videoFromIndex = video.packets > 0;
    AVPacket* pkt = av_packet_alloc();
    bool firstSound = true;
    while (av_read_frame(ctx, pkt) >= 0) {
        StreamSpan* s = (pkt->stream_index == video.index && !videoFromIndex) ? &video
                        : pkt->stream_index == sound.index                    ? &sound
                                                                              : nullptr;
        const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (s && pkt->size > 0 && pts != AV_NOPTS_VALUE) {
            int64_t duration = pkt->duration;
            int64_t start = pts;
            if (s == &video) {
                if (duration <= 0)
                    duration = frameTicks;
            } else {
                if (duration <= 0 && soundPar->block_align > 0 && soundPar->sample_rate > 0) {
                    // Plain PCM chunks: their length is their size.
                    const int64_t samples = pkt->size / soundPar->block_align;
                    duration = av_rescale_q(samples, AVRational{1, soundPar->sample_rate}, s->timeBase);
                }
                if (firstSound && soundPar->sample_rate > 0)
                    start += av_rescale_q(skippedAtStart(pkt), AVRational{1, soundPar->sample_rate}, s->timeBase);
                if (firstSound) {
                    firstSoundPts = pts;
                    firstSoundDuration = duration;
                }
                firstSound = false;
            }
            ++s->packets;
            s->first = std::min(s->first, start);
            s->end = std::max(s->end, pts + duration);
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&ctx);

    // The warm-up block: a coded sound in a container without edit lists
    // whose first packet ends where the first picture starts.
    if (!marksWarmUp && codedSound && video.seen() && sound.seen() && firstSoundDuration > 0 &&
        firstSoundPts == sound.first) {
        const int64_t blockEnd = av_rescale_q(firstSoundPts + firstSoundDuration, sound.timeBase, video.timeBase);
        if (std::llabs(blockEnd - video.first) <= 1) {
            sound.first += firstSoundDuration;
            m.soundWarmUp = sound.seconds(firstSoundDuration);
        }
    }
    if (!marksWarmUp && codedSound && firstSoundDuration > 0)
        m.soundBlock = sound.seconds(firstSoundDuration);
    m.hasVideo = video.index >= 0 && video.seen();
    m.hasSound = sound.index >= 0 && sound.seen();
    if (m.hasVideo) {
        m.frames = video.packets;
        m.videoStart = video.seconds(video.first);
        m.pictureSeconds = video.seconds(video.end - video.first);
    }
    if (m.hasSound) {
        m.soundStart = sound.seconds(sound.first);
        m.soundSeconds = sound.seconds(sound.end - sound.first);
    }
    return m;
}

OutputCheck checkOutput(const std::string& path, const OutputExpectation& expected)
{
    OutputCheck c;
    c.expected = expected;
    c.measured = measureOutput(path);
    const OutputMeasure& m = c.measured;
    if (!m.opened) {
        c.problems.push_back("cannot read the file (" + m.openError + ")");
        return c;
    }
    // A hair over one frame, for timestamps rounded to the container's clock.
    const double frame = expected.frameSeconds();
    const double tolerance = frame * 1.001 + 1e-4;
    if (expected.video && !m.hasVideo)
        c.problems.push_back("no picture");
    if (expected.sound && !m.hasSound)
        c.problems.push_back("no sound");
    if (expected.video && m.hasVideo) {
        if (std::llabs(m.frames - expected.frames) > 1)
            c.problems.push_back("frames " + std::to_string(m.frames) + "/" + std::to_string(expected.frames));
        if (std::fabs(m.pictureSeconds - expected.seconds()) > tolerance)
            c.problems.push_back("picture " + fixedText(m.pictureSeconds, 3) + " s against " +
                                 fixedText(expected.seconds(), 3) + " s");
    }
    if (expected.sound && m.hasSound) {
        // The sound against the picture, or against the range without one.
        const double reference = m.hasVideo ? m.pictureSeconds : expected.seconds();
        if (std::fabs(m.soundSeconds - reference) > tolerance + m.soundBlock)
            c.problems.push_back("sound " + fixedText(m.soundSeconds, 3) + " s against " +
                                 (m.hasVideo ? "picture " : "range ") + fixedText(reference, 3) + " s");
    }
    if (m.hasVideo && m.hasSound && std::fabs(m.offsetSeconds()) > tolerance)
        c.problems.push_back("sound starts " + ms(m.offsetSeconds()) + " ms after the picture");
    return c;
}

std::string OutputCheck::line() const
{
    const OutputMeasure& m = measured;
    if (!m.opened)
        return "check: cannot read the file (" + m.openError + ")";
    std::string s = "check: ";
    if (expected.video || m.hasVideo)
        s += std::to_string(m.frames) + "/" + std::to_string(expected.frames) + " frames, ";
    s += m.hasSound ? "sound " + fixedText(m.soundSeconds, 3) + " s" : std::string("no sound");
    if (m.hasVideo)
        s += ", picture " + fixedText(m.pictureSeconds, 3) + " s, offset " + ms(m.offsetSeconds()) + " ms";
    else
        s += ", range " + fixedText(expected.seconds(), 3) + " s";
    s += ok() ? "" : " -- OUT OF SYNC";
    return s;
}

std::string OutputCheck::summaryJa() const
{
    const OutputMeasure& m = measured;
    if (!m.opened)
        return "確認: ファイルを読み込めません（" + m.openError + "）";
    std::string s = "確認: ";
    if (expected.video || m.hasVideo)
        s += "フレーム " + std::to_string(m.frames) + "/" + std::to_string(expected.frames) + "、";
    s += m.hasSound ? "音声 " + fixedText(m.soundSeconds, 3) + " 秒" : std::string("音声なし");
    if (m.hasVideo)
        s += "、映像 " + fixedText(m.pictureSeconds, 3) + " 秒、ずれ " + ms(m.offsetSeconds()) + " ミリ秒";
    else
        s += "、範囲 " + fixedText(expected.seconds(), 3) + " 秒";
    return s;
}

} // namespace vk
