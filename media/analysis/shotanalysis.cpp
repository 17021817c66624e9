#include "media/analysis/shotanalysis.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace vk {

namespace {

// The tiny picture every frame is scaled to (planar YUV 4:4:4, 8 bits).
constexpr int kTinyW = 64;
constexpr int kTinyH = 36;
constexpr int kGridW = 16;
constexpr int kGridH = 9;
constexpr int kGrid = kGridW * kGridH;

// A hard cut: a histogram step at least this large ...
constexpr float kCutStep = 0.25f;
// ... and this many times the steps around it.
constexpr float kCutContrast = 2.5f;
// Content that comes back within this many frames was a flash, not a cut.
constexpr int kFlashFrames = 6;
// A gradual transition changes the grid at least this much between its ends (rms, 0..1).
constexpr float kGradualChange = 0.08f;
// Its middle is a mix of its ends within this share of the change.
constexpr float kMixError = 0.30f;
// The footage just outside it changes less than this share of the change.
constexpr float kSteadyOutside = 0.45f;
// Transition lengths tried, in frames.
// Mean luma under which a frame is black (limited range black is 16/255).
constexpr float kBlackLuma = 0.09f;
// A shot's own thumbnail is one of its first frames.
constexpr int kStartThumbFrames = 10;
constexpr int kWindows[] = {6, 9, 12, 16, 20, 26, 32, 40, 50, 64};

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwsCloser {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};

class Features {
public:
    explicit Features(const FrameFeatures& f) : m_f(f) {}
    int frames() const { return int(m_f.luma.size()); }
    const float* hist(int i) const { return m_f.hist.data() + size_t(i) * FrameFeatures::kBins; }
    const float* grid(int i) const { return m_f.grid.data() + size_t(i) * kGrid; }

    // Histogram difference of two frames, 0 (same) .. 1 (nothing in common).
    float histDist(int a, int b) const
    {
        const float* x = hist(a);
        const float* y = hist(b);
        float s = 0.0f;
        for (int k = 0; k < FrameFeatures::kBins; ++k)
            s += std::fabs(x[k] - y[k]);
        return s / 6.0f; // three histograms, each summing to 1
    }
    // Root mean square difference of two frames' grids.
    float gridDist(int a, int b) const
    {
        const float* x = grid(a);
        const float* y = grid(b);
        float s = 0.0f;
        for (int k = 0; k < kGrid; ++k) {
            const float d = x[k] - y[k];
            s += d * d;
        }
        return std::sqrt(s / kGrid);
    }
    float gridMean(int a, int b) const
    {
        const float* x = grid(a);
        const float* y = grid(b);
        float s = 0.0f;
        for (int k = 0; k < kGrid; ++k)
            s += std::fabs(x[k] - y[k]);
        return s / kGrid;
    }
    // How far frame m is from the pixelwise mix of frames a and b that fits it best.
    float mixError(int a, int m, int b) const
    {
        const float* x = grid(a);
        const float* y = grid(m);
        const float* z = grid(b);
        float num = 0.0f;
        float den = 0.0f;
        for (int k = 0; k < kGrid; ++k) {
            num += (y[k] - x[k]) * (z[k] - x[k]);
            den += (z[k] - x[k]) * (z[k] - x[k]);
        }
        const float t = den > 0.0f ? std::clamp(num / den, 0.0f, 1.0f) : 0.5f;
        float s = 0.0f;
        for (int k = 0; k < kGrid; ++k) {
            const float d = y[k] - (x[k] + t * (z[k] - x[k]));
            s += d * d;
        }
        return std::sqrt(s / kGrid);
    }

private:
    const FrameFeatures& m_f;
};

bool isHardCut(const Features& f, const std::vector<float>& step, int i)
{
    const int n = f.frames();
    const float d = step[size_t(i)];
    if (d < kCutStep)
        return false;
    // The steps around it (the cut's own neighbours left out) are much smaller.
    float around = 0.0f;
    int count = 0;
    for (int j = i - 7; j <= i + 7; ++j) {
        if (j < 1 || j >= n || std::abs(j - i) < 2)
            continue;
        around += step[size_t(j)];
        ++count;
    }
    if (count > 0 && d < kCutContrast * (around / count))
        return false;
    // A flash: the picture before it comes back soon after ...
    for (int k = 1; k <= kFlashFrames && i + k < n; ++k) {
        if (f.histDist(i - 1, i + k) < 0.4f * d)
            return false;
    }
    // ... or this is the return from one.
    for (int k = 1; k <= kFlashFrames && i - 1 - k >= 0; ++k) {
        if (f.histDist(i - 1 - k, i) < 0.4f * d)
            return false;
    }
    return true;
}

} // namespace

std::vector<double> ShotAnalysis::boundaryMs() const
{
    std::vector<double> out;
    for (size_t i = 1; i < shots.size(); ++i)
        out.push_back(shots[i].startMs);
    return out;
}

void detectShots(const FrameFeatures& features, ShotAnalysis& a)
{
    const Features f(features);
    const int n = f.frames();
    a.frames = n;
    a.cuts.clear();
    a.transitions.clear();
    a.shots.clear();
    if (n == 0)
        return;
    std::vector<float> step(size_t(n), 0.0f);
    for (int i = 1; i < n; ++i)
        step[size_t(i)] = f.histDist(i - 1, i);

    // Gradual transitions: the shortest window whose ends differ, whose middle is a mix of
    // its ends and whose outside is steady; no hard step inside.
    struct Window {
        int a, b;
        float err;
    };
    std::vector<Window> found;
    for (int len : kWindows) {
        const int half = len / 2;
        for (int s = half; s + len + half < n; ++s) {
            const int e = s + len;
            const float change = f.gridDist(s, e);
            if (change < kGradualChange)
                continue;
            const float err = f.mixError(s, s + half, e);
            if (err > kMixError * change)
                continue;
            if (f.gridDist(s - half, s) > kSteadyOutside * change || f.gridDist(e, e + half) > kSteadyOutside * change)
                continue;
            // Both halves move towards the far end (a dissolve, not a swing and back).
            if (f.gridDist(s, s + half) > change || f.gridDist(s + half, e) > change)
                continue;
            bool hard = false;
            for (int j = s + 1; j <= e && !hard; ++j)
                hard = step[size_t(j)] >= kCutStep;
            if (hard)
                continue;
            found.push_back({s, e, err / change});
        }
    }
    // Shortest first (a window longer than the transition passes too), then the best mix.
    std::stable_sort(found.begin(), found.end(), [](const Window& x, const Window& y) {
        const int lx = x.b - x.a;
        const int ly = y.b - y.a;
        return lx != ly ? lx < ly : x.err < y.err;
    });
    std::vector<ShotTransition> spans;
    for (const Window& w : found) {
        const ShotTransition t{w.a + 1, w.b - 1};
        bool overlaps = false;
        for (const ShotTransition& o : spans)
            overlaps = overlaps || !(t.lastFrame < o.firstFrame - 1 || t.firstFrame > o.lastFrame + 1);
        if (!overlaps)
            spans.push_back(t);
    }
    // Fades through black: a dark run reached by darkening steadily and left by brightening.
    {
        const auto& luma = features.luma;
        int i = 0;
        while (i < n) {
            if (luma[size_t(i)] >= kBlackLuma) {
                ++i;
                continue;
            }
            int b0 = i;
            int b1 = i;
            while (b1 + 1 < n && luma[size_t(b1 + 1)] < kBlackLuma)
                ++b1;
            int left = b0;
            while (left > 0 && luma[size_t(left - 1)] > luma[size_t(left)] + 0.003f &&
                   luma[size_t(left - 1)] < luma[size_t(left)] + 0.12f)
                --left;
            int right = b1;
            while (right + 1 < n && luma[size_t(right + 1)] > luma[size_t(right)] + 0.003f &&
                   luma[size_t(right + 1)] < luma[size_t(right)] + 0.12f)
                ++right;
            if ((b0 - left) + (right - b1) >= 4) {
                ShotTransition t{left, right};
                spans.erase(std::remove_if(spans.begin(), spans.end(),
                                           [&](const ShotTransition& o) {
                                               return !(o.lastFrame < t.firstFrame || o.firstFrame > t.lastFrame);
                                           }),
                            spans.end());
                spans.push_back(t);
            }
            i = b1 + 1;
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const ShotTransition& x, const ShotTransition& y) { return x.firstFrame < y.firstFrame; });
    // A fade out and a fade in that meet (through black) are one transition.
    for (const ShotTransition& t : spans) {
        if (!a.transitions.empty() && t.firstFrame - a.transitions.back().lastFrame <= 4)
            a.transitions.back().lastFrame = t.lastFrame;
        else
            a.transitions.push_back(t);
    }

    auto inTransition = [&](int frame) {
        for (const ShotTransition& t : a.transitions) {
            if (frame >= t.firstFrame - 1 && frame <= t.lastFrame + 1)
                return true;
        }
        return false;
    };
    for (int i = 1; i < n; ++i) {
        if (isHardCut(f, step, i) && !inTransition(i))
            a.cuts.push_back(i);
    }

    // The shots: between cuts and around transitions.
    std::vector<std::pair<int, int>> ranges; // first, last
    int start = 0;
    size_t ci = 0;
    size_t ti = 0;
    for (;;) {
        const int nextCut = ci < a.cuts.size() ? a.cuts[ci] : n;
        const int nextTrans = ti < a.transitions.size() ? a.transitions[ti].firstFrame : n;
        if (nextCut <= nextTrans) {
            if (nextCut > start)
                ranges.emplace_back(start, nextCut - 1);
            if (nextCut >= n)
                break;
            start = nextCut;
            ++ci;
        } else {
            if (nextTrans > start)
                ranges.emplace_back(start, nextTrans - 1);
            start = a.transitions[ti].lastFrame + 1;
            ++ti;
            while (ci < a.cuts.size() && a.cuts[ci] <= start)
                ++ci;
        }
    }
    for (const auto& [first, last] : ranges) {
        Shot s;
        s.firstFrame = first;
        s.lastFrame = last;
        s.startMs = a.frameMs(first);
        s.endMs = a.frameMs(last + 1);
        // The median change: a flash or a few jerky frames do not make a shot lively.
        std::vector<float> changes;
        for (int i = first + 1; i <= last; ++i)
            changes.push_back(f.gridMean(i - 1, i));
        if (!changes.empty()) {
            std::nth_element(changes.begin(), changes.begin() + changes.size() / 2, changes.end());
            s.motion = changes[changes.size() / 2];
        }
        a.shots.push_back(s);
    }
}

ShotAnalysis analyseShots(const QString& path, const std::atomic<bool>* cancel, const ProgressFn& progress,
                          const ShotOptions& options)
{
    ShotAnalysis a;
    auto fail = [&a](const QString& reason) {
        a.reason = reason;
        return a;
    };
    AVFormatContext* rawFormat = nullptr;
    const QByteArray localPath = QFile::encodeName(path);
    if (avformat_open_input(&rawFormat, localPath.constData(), nullptr, nullptr) < 0)
        return fail(QFile::exists(path) ? QStringLiteral("Damaged or unknown file") : QStringLiteral("File not found"));
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return fail(QStringLiteral("Damaged or unknown file"));
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return fail(QStringLiteral("No picture in the file"));
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != stream)
            format->streams[i]->discard = AVDISCARD_ALL;
    }
    AVStream* st = format->streams[stream];
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
        return fail(stillReason());
    std::unique_ptr<AVCodecContext, CodecCloser> dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0)
        return fail(QStringLiteral("Cannot decode the picture"));
    // Cheap decoding: no loop filter, the fast paths, frame threads, and the decoder's
    // own reduced size where it has one (never below what the thumbnails need).
    dec->skip_loop_filter = AVDISCARD_ALL;
    dec->flags2 |= AV_CODEC_FLAG2_FAST;
    dec->thread_count = options.threads;
    dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    int lowres = 0;
    while (lowres < codec->max_lowres && (st->codecpar->width >> (lowres + 1)) >= 2 * ShotAnalysis::kThumbWidth)
        ++lowres;
    dec->lowres = lowres;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0)
        return fail(QStringLiteral("Cannot decode the picture"));

    a.width = st->codecpar->width;
    a.height = st->codecpar->height;
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    a.fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    double totalSec = 0.0;
    if (st->duration > 0)
        totalSec = double(st->duration) * av_q2d(st->time_base);
    else if (format->duration > 0)
        totalSec = double(format->duration) / AV_TIME_BASE;

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    if (!packet || !frame)
        return fail(QStringLiteral("Out of memory"));

    FrameFeatures feat;
    std::unique_ptr<SwsContext, SwsCloser> tinySws;
    std::unique_ptr<SwsContext, SwsCloser> thumbSws;
    int swsW = 0, swsH = 0, swsFmt = -1;
    std::vector<uint8_t> tiny(size_t(kTinyW) * kTinyH * 3);
    int thumbH = 0;
    int frames = 0;
    double lastThumbMs = -1e9;
    double firstPts = NAN;
    bool decodeErrors = false;
    int lastPercent = -1;
    float prevStep = 0.0f;
    // Thumbnails of frames where a shot may start (a large step) wait for the detection.
    std::vector<char> periodic;

    auto onFrame = [&](AVFrame* fr) -> bool {
        if (fr->width <= 0 || fr->height <= 0)
            return true;
        if (fr->width != swsW || fr->height != swsH || fr->format != swsFmt) {
            swsW = fr->width;
            swsH = fr->height;
            swsFmt = fr->format;
            tinySws.reset(sws_getContext(swsW, swsH, AVPixelFormat(swsFmt), kTinyW, kTinyH, AV_PIX_FMT_YUV444P,
                                         SWS_AREA, nullptr, nullptr, nullptr));
            const int dispH = a.width > 0 ? a.height * ShotAnalysis::kThumbWidth / a.width : kTinyH;
            thumbH = std::max(2, dispH & ~1);
            thumbSws.reset(sws_getContext(swsW, swsH, AVPixelFormat(swsFmt), ShotAnalysis::kThumbWidth, thumbH,
                                          AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
            if (!tinySws || !thumbSws)
                return false;
        }
        uint8_t* dst[4] = {tiny.data(), tiny.data() + kTinyW * kTinyH, tiny.data() + 2 * kTinyW * kTinyH, nullptr};
        int dstStride[4] = {kTinyW, kTinyW, kTinyW, 0};
        sws_scale(tinySws.get(), fr->data, fr->linesize, 0, fr->height, dst, dstStride);
        // Histograms: 32 luma bins, 16 for each chroma plane, each summing to 1.
        float h[FrameFeatures::kBins] = {};
        constexpr int px = kTinyW * kTinyH;
        const float w = 1.0f / px;
        double lumaSum = 0.0;
        for (int k = 0; k < px; ++k) {
            h[dst[0][k] >> 3] += w;
            h[32 + (dst[1][k] >> 4)] += w;
            h[48 + (dst[2][k] >> 4)] += w;
            lumaSum += dst[0][k];
        }
        feat.hist.insert(feat.hist.end(), h, h + FrameFeatures::kBins);
        feat.luma.push_back(float(lumaSum / px / 255.0));
        constexpr int cw = kTinyW / kGridW;
        constexpr int ch = kTinyH / kGridH;
        for (int gy = 0; gy < kGridH; ++gy) {
            for (int gx = 0; gx < kGridW; ++gx) {
                int s = 0;
                for (int y = 0; y < ch; ++y) {
                    const uint8_t* row = dst[0] + (gy * ch + y) * kTinyW + gx * cw;
                    for (int x = 0; x < cw; ++x)
                        s += row[x];
                }
                feat.grid.push_back(float(s) / (cw * ch * 255.0f));
            }
        }
        // Frame times from the timestamps where there are any.
        double ms = a.frameMs(frames);
        if (fr->best_effort_timestamp != AV_NOPTS_VALUE) {
            const double t = double(fr->best_effort_timestamp) * av_q2d(st->time_base) * 1000.0;
            if (std::isnan(firstPts))
                firstPts = t;
            ms = t - firstPts;
        }
        // A thumbnail every few seconds, and one at every large step (a shot may start there).
        const int i = frames;
        const float stepNow = i > 0 ? [&] {
            const float* x = feat.hist.data() + size_t(i - 1) * FrameFeatures::kBins;
            const float* y = feat.hist.data() + size_t(i) * FrameFeatures::kBins;
            float s = 0.0f;
            for (int k = 0; k < FrameFeatures::kBins; ++k)
                s += std::fabs(x[k] - y[k]);
            return s / 6.0f;
        }()
                                    : 1.0f;
        const bool every = ms - lastThumbMs >= options.thumbEverySec * 1000.0;
        // The frame after a large step too: the detection may place the start there.
        // And where a transition settles (the steps fall off), where the next shot begins.
        const bool nearStep = stepNow >= kCutStep * 0.6f || prevStep >= kCutStep * 0.6f ||
                              (prevStep >= 0.02f && stepNow < 0.5f * prevStep);
        prevStep = stepNow;
        if (every || nearStep) {
            QImage img(ShotAnalysis::kThumbWidth, thumbH, QImage::Format_RGB888);
            uint8_t* tdst[4] = {img.bits(), nullptr, nullptr, nullptr};
            int tstride[4] = {int(img.bytesPerLine()), 0, 0, 0};
            sws_scale(thumbSws.get(), fr->data, fr->linesize, 0, fr->height, tdst, tstride);
            a.thumbs.push_back({i, ms, img});
            periodic.push_back(every ? 1 : 0);
            if (every)
                lastThumbMs = ms;
        }
        ++frames;
        if (progress && totalSec > 0.0) {
            const int percent = int(std::min(1.0, ms / 1000.0 / totalSec) * 100.0);
            if (percent != lastPercent) {
                lastPercent = percent;
                progress(percent / 100.0);
            }
        }
        return true;
    };

    bool inputDone = false;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return fail(cancelledReason());
        const int r = avcodec_receive_frame(dec.get(), frame.get());
        if (r >= 0) {
            const bool ok = onFrame(frame.get());
            av_frame_unref(frame.get());
            if (!ok)
                return fail(QStringLiteral("Cannot decode the picture"));
            continue;
        }
        if (r == AVERROR_EOF)
            break;
        if (r != AVERROR(EAGAIN)) {
            decodeErrors = true;
            break;
        }
        if (inputDone)
            break;
        const int rr = av_read_frame(format.get(), packet.get());
        if (rr < 0) {
            inputDone = true;
            avcodec_send_packet(dec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == stream) {
            if (avcodec_send_packet(dec.get(), packet.get()) < 0)
                decodeErrors = true;
        }
        av_packet_unref(packet.get());
    }
    if (frames == 0)
        return fail(decodeErrors ? QStringLiteral("Damaged file") : QStringLiteral("No picture in the file"));
    if (frames == 1)
        return fail(stillReason());
    if (a.fps <= 0.0)
        a.fps = totalSec > 0.0 ? frames / totalSec : 30.0;
    a.durationMs = a.frameMs(frames);
    detectShots(feat, a);

    // Keep the periodic thumbnails and, for each shot, the first one of its first frames.
    std::vector<ShotThumb> kept;
    size_t si = 0;
    int startTaken = -1;
    for (size_t k = 0; k < a.thumbs.size(); ++k) {
        const int fr = a.thumbs[k].frame;
        while (si < a.shots.size() && a.shots[si].lastFrame < fr)
            ++si;
        const bool inShot = si < a.shots.size() && fr >= a.shots[si].firstFrame;
        const bool atStart = inShot && fr <= a.shots[si].firstFrame + kStartThumbFrames && startTaken != int(si);
        if (atStart)
            startTaken = int(si);
        if (periodic[k] || atStart)
            kept.push_back(std::move(a.thumbs[k]));
    }
    a.thumbs = std::move(kept);
    if (progress)
        progress(1.0);
    return a;
}

} // namespace vk
