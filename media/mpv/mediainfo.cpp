#include "media/mpv/mediainfo.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace vk {

namespace {

// Microseconds to whole milliseconds, halves to even; false when out of range.
bool microsToMillis(int64_t micros, int& out)
{
    if (micros < 0)
        return false;
    int64_t q = micros / 1000;
    const int64_t r = micros % 1000;
    if (r > 500 || (r == 500 && (q % 2) != 0))
        ++q;
    if (q > INT_MAX)
        return false;
    out = static_cast<int>(q);
    return true;
}

double secondsPerFrame(const AVStream* st)
{
    const AVRational rates[] = {st->avg_frame_rate, st->r_frame_rate};
    for (const AVRational& r : rates) {
        if (r.num > 0 && r.den > 0)
            return double(r.den) / double(r.num);
    }
    return 0.0;
}

// The container's length, or the longest stream when the container gives none.
int64_t durationMicros(const AVFormatContext* fmt)
{
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
        return fmt->duration;
    int64_t best = 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->duration == AV_NOPTS_VALUE || st->duration <= 0)
            continue;
        best = std::max(best, av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE}));
    }
    return best;
}

class FormatContext final {
public:
    ~FormatContext()
    {
        if (m_ctx)
            avformat_close_input(&m_ctx);
    }
    AVFormatContext* m_ctx = nullptr;
};

} // namespace

bool ProbeMediaInfo(const QString& path, MediaInfo& out)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    av_log_set_level(AV_LOG_QUIET);

    FormatContext fc;
    const QByteArray encoded = QFile::encodeName(path);
    if (avformat_open_input(&fc.m_ctx, encoded.constData(), nullptr, nullptr) < 0)
        return false;
    if (avformat_find_stream_info(fc.m_ctx, nullptr) < 0)
        return false;
    AVFormatContext* fmt = fc.m_ctx;
    const QLatin1String demuxer(fmt->iformat && fmt->iformat->name ? fmt->iformat->name : "");
    // Text files are recognised by the "tty" demuxer as ANSI art: not media for us.
    if (demuxer == QLatin1String("tty"))
        return false;

    const AVStream* picture = nullptr;  // first real video stream
    const AVStream* attached = nullptr; // first cover picture
    bool hasSound = false;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        const AVMediaType type = st->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO)
            hasSound = true;
        if (type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            if (!attached)
                attached = st;
        } else if (!picture) {
            picture = st;
        }
    }
    if (!picture && !hasSound && !attached)
        return false;

    MediaInfo info;
    info.text = demuxer;
    const bool imageDemuxer = demuxer == QLatin1String("image2") || demuxer.endsWith(QLatin1String("_pipe"));
    // A file whose only picture is a cover and that has no sound is a still image.
    const bool coverOnly = !picture && attached && !hasSound;
    if (imageDemuxer || coverOnly) {
        const AVStream* st = picture ? picture : attached;
        if (!st)
            return false;
        info.durationMsec = 0;
        info.width = st->codecpar->width;
        info.height = st->codecpar->height;
        info.secondsPerFrame = secondsPerFrame(st);
    } else {
        if (!microsToMillis(durationMicros(fmt), info.durationMsec))
            return false;
        if (picture) {
            info.width = picture->codecpar->width;
            info.height = picture->codecpar->height;
            info.secondsPerFrame = secondsPerFrame(picture);
        }
    }
    out = info;
    return true;
}

} // namespace vk
