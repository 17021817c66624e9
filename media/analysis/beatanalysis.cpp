#include "media/analysis/beatanalysis.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/onsets/PeakPicking.h>
#include <dsp/rateconversion/Decimator.h>
#include <dsp/tempotracking/DownBeat.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <cmath>

namespace vk {

namespace {

// Where the tracker's frame positions sit against the sound: a beat reported for
// detection-function frame j lies this many hops after the start of that frame's window.
// Measured on the generated kits of tools/beatbench.cpp: with the window's start the
// median signed error of the beats stays within -4..+3 ms on every track, against about
// +12 ms with the window's middle, so no further shift is applied.
constexpr double kFrameOffsetHops = 0.0;
// A sound whose loudest sample stays below this (about -80 dBFS) counts as silence.
constexpr float kSilencePeak = 1e-4f;
// Fewer attacks than this in the whole sound: no rhythm to find.
constexpr size_t kMinOnsets = 4;
// Bars of four: the common case for the songs this editor cuts to.
constexpr int kBeatsPerBar = 4;

int powerOfTwoNear(double v)
{
    int p = 1;
    while (p * 2 <= v)
        p *= 2;
    return (v - p < 2 * p - v) ? p : 2 * p;
}

bool isCancelled(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

AudioAnalysis withReason(AudioAnalysis a, const QString& reason)
{
    a.reason = reason;
    a.bpm = 0.0;
    a.beatsMs.clear();
    a.downbeatsMs.clear();
    return a;
}

// Peaks of the detection function as onsets, with the library's adaptive threshold and
// the parameters its own onset detector uses at medium sensitivity. Each peak is moved
// back to the start of its rise, where the attack begins.
std::vector<int> pickOnsets(const std::vector<double>& df, double hopSeconds)
{
    std::vector<int> found;
    if (df.size() < 16)
        return found;
    double aCoeffs[] = {1.0000, -0.5949, 0.2348};
    double bCoeffs[] = {0.1600, 0.3200, 0.1600};
    PPickParams pp;
    pp.length = unsigned(df.size());
    pp.tau = hopSeconds;
    pp.alpha = 9;
    pp.cutoff = 0.34;
    pp.LPOrd = 2;
    pp.LPACoeffs = aCoeffs;
    pp.LPBCoeffs = bCoeffs;
    pp.WinT.post = 8;
    pp.WinT.pre = 7;
    pp.QuadThresh.a = 50 / 1000.0;
    pp.QuadThresh.b = 0;
    pp.QuadThresh.c = 50 / 1500.0;
    pp.delta = 0.2f;
    std::vector<double> work(df);
    PeakPicking picker(pp);
    picker.process(work.data(), unsigned(work.size()), found);
    for (int& index : found) {
        double prevDiff = 0.0;
        while (index > 1) {
            const double diff = df[size_t(index)] - df[size_t(index - 1)];
            if (diff < prevDiff * 0.9)
                break;
            prevDiff = diff;
            --index;
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// The sound at 1/factor of its rate, through the library's anti-alias filter and decimator.
std::vector<float> decimate(const std::vector<float>& in, int factor)
{
    const unsigned block = 1024u * unsigned(factor);
    Decimator decimator(block, unsigned(factor));
    std::vector<float> out(in.size() / size_t(factor) + block);
    std::vector<float> padded(block, 0.0f);
    size_t written = 0;
    for (size_t at = 0; at < in.size(); at += block) {
        const size_t n = std::min<size_t>(block, in.size() - at);
        const float* src = in.data() + at;
        if (n < block) {
            std::copy(src, src + n, padded.begin());
            std::fill(padded.begin() + long(n), padded.end(), 0.0f);
            src = padded.data();
        }
        decimator.process(src, out.data() + written);
        written += block / unsigned(factor);
    }
    out.resize(in.size() / size_t(factor));
    return out;
}

} // namespace

double medianSpacing(const std::vector<double>& times)
{
    if (times.size() < 2)
        return 0.0;
    std::vector<double> d;
    d.reserve(times.size() - 1);
    for (size_t i = 1; i < times.size(); ++i)
        d.push_back(times[i] - times[i - 1]);
    std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
    return d[d.size() / 2];
}

double beatsPerMinute(const std::vector<double>& beatsMs)
{
    // Beats sit on whole detection frames (11.6 ms at 44.1 kHz), so the spacing of
    // neighbours is off by up to a frame. The median over the longest span of beats that
    // still gives a few spans (16, 8 or 4 beats) spreads that over the span: a steady
    // song's tempo comes out to a tenth of a BPM, and a tempo change still wins the
    // median where it lasts.
    double spacing = 0.0;
    for (size_t span : {size_t(16), size_t(8), size_t(4)}) {
        std::vector<double> every;
        for (size_t i = 0; i < beatsMs.size(); i += span)
            every.push_back(beatsMs[i]);
        if (every.size() >= 3) {
            spacing = medianSpacing(every) / double(span);
            break;
        }
    }
    if (spacing <= 0.0)
        spacing = medianSpacing(beatsMs);
    return spacing > 0.0 ? 60000.0 / spacing : 0.0;
}

AudioAnalysis analyseSamples(const std::vector<float>& mono, int sampleRate, const std::atomic<bool>* cancel,
                             const ProgressFn& progress)
{
    AudioAnalysis out;
    if (sampleRate <= 0 || mono.empty())
        return withReason(out, QStringLiteral("No sound in the file"));
    out.sampleRate = sampleRate;
    out.durationMs = 1000.0 * double(mono.size()) / sampleRate;
    out.peaks = WaveformPeaks::build(mono.data(), mono.size(), sampleRate);
    auto report = [&progress](double f) {
        if (progress)
            progress(f);
    };

    float loudest = 0.0f;
    for (float s : mono)
        loudest = std::max(loudest, std::fabs(s));
    if (loudest < kSilencePeak)
        return withReason(out, QStringLiteral("Silence"));
    if (out.durationMs < kMinBeatSoundMs)
        return withReason(out, QStringLiteral("Too short for beats"));

    int rate = sampleRate;
    // The beat and bar analysis runs at 11-16 kHz: the attacks it looks for are well
    // inside that band, and a quarter of the samples is a quarter of the work.
    int factor = 1;
    while (factor < Decimator::getHighestSupportedFactor() && rate / (factor * 2) >= 11025)
        factor *= 2;
    std::vector<float> reduced;
    const std::vector<float>* input = &mono;
    if (factor > 1) {
        reduced = decimate(mono, factor);
        input = &reduced;
        rate /= factor;
    }
    const std::vector<float>& sound = *input;

    // About 86 frames a second, as the tracker was tuned for; a power of two so the
    // decimation for the bar analysis divides it.
    const int step = std::max(16, powerOfTwoNear(rate / 86.0));
    const int frameLength = 2 * step;
    int decimation = 1;
    while (decimation < 64 && decimation * 2 <= step && rate / (decimation * 2) >= 2000)
        decimation *= 2;

    DFConfig config;
    config.stepSize = unsigned(step);
    config.frameLength = unsigned(frameLength);
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1;
    config.whiteningFloor = -1;
    DetectionFunction detector(config);
    DownBeat bars{float(rate), size_t(decimation), size_t(step)};
    bars.setBeatsPerBar(kBeatsPerBar);

    const size_t frames = sound.size() / size_t(step);
    std::vector<double> df;
    df.reserve(frames);
    std::vector<double> frame(static_cast<size_t>(frameLength));
    for (size_t f = 0; f < frames; ++f) {
        if ((f & 255) == 0) {
            if (isCancelled(cancel))
                return withReason(out, cancelledReason());
            report(0.7 * double(f) / double(frames));
        }
        const size_t at = f * size_t(step);
        const size_t n = std::min(size_t(frameLength), sound.size() - at);
        std::copy(sound.begin() + long(at), sound.begin() + long(at + n), frame.begin());
        std::fill(frame.begin() + long(n), frame.end(), 0.0);
        df.push_back(detector.processTimeDomain(frame.data()));
        bars.pushAudioBlock(sound.data() + at);
    }

    // The first two frames compare against an empty history; the library's own bar and
    // beat tracker leaves them out as well.
    constexpr size_t kSkip = 2;
    const double hopMs = 1000.0 * step / rate;
    const double offsetMs = kFrameOffsetHops * hopMs;
    auto frameToMs = [&](double j) { return (j + double(kSkip)) * hopMs + offsetMs; };

    size_t used = df.size();
    while (used > kSkip && df[used - 1] <= 0.0)
        --used;
    if (used <= kSkip + 2)
        return withReason(out, QStringLiteral("Silence"));
    std::vector<double> dfUsed(df.begin() + long(kSkip), df.begin() + long(used));

    for (int j : pickOnsets(dfUsed, hopMs / 1000.0))
        out.onsetsMs.push_back(frameToMs(j));
    report(0.75);
    if (isCancelled(cancel))
        return withReason(out, cancelledReason());
    // The tempo tracker lays a grid over anything, steady noise or a held tone too; with
    // no attacks to hang it on, such a grid would only mislead the snapping.
    if (out.onsetsMs.size() < kMinOnsets)
        return withReason(out, QStringLiteral("No beats found"));

    // The tempo tracker reads whole windows of 512 frames; pad a short sound with quiet
    // frames so it always has one.
    const size_t realFrames = dfUsed.size();
    if (dfUsed.size() < 1024)
        dfUsed.resize(1024, 0.0);
    std::vector<double> beatPeriod(dfUsed.size(), 0.0);
    std::vector<double> tempi;
    std::vector<double> beatFrames;
    TempoTrackV2 tracker{float(rate), size_t(step)};
    tracker.calculateBeatPeriod(dfUsed, beatPeriod, tempi, 120.0, false);
    report(0.85);
    if (isCancelled(cancel))
        return withReason(out, cancelledReason());
    tracker.calculateBeats(dfUsed, beatPeriod, beatFrames, 0.9, 4.0);
    beatFrames.erase(std::remove_if(beatFrames.begin(), beatFrames.end(),
                                    [realFrames](double b) { return b < 0.0 || b >= double(realFrames); }),
                     beatFrames.end());
    std::sort(beatFrames.begin(), beatFrames.end());
    if (beatFrames.size() < 2)
        return withReason(out, QStringLiteral("No beats found"));
    report(0.9);

    // DownBeat reads the beats against the blocks pushed above, which start at frame 0.
    std::vector<double> barFrames(beatFrames);
    for (double& b : barFrames)
        b += double(kSkip);
    size_t downLength = 0;
    const float* downsampled = bars.getBufferedAudio(downLength);
    std::vector<int> downIndices;
    if (barFrames.size() > size_t(kBeatsPerBar) && downsampled && downLength > 0)
        bars.findDownBeats(downsampled, downLength, barFrames, downIndices);

    for (double b : beatFrames)
        out.beatsMs.push_back(frameToMs(b));
    for (int i : downIndices) {
        if (i >= 0 && size_t(i) < out.beatsMs.size())
            out.downbeatsMs.push_back(out.beatsMs[size_t(i)]);
    }
    out.bpm = beatsPerMinute(out.beatsMs);
    report(1.0);
    return out;
}

AudioAnalysis analyseFile(const QString& path, const std::atomic<bool>* cancel, const ProgressFn& progress)
{
    DecodedAudio audio = decodeAudio(path, cancel, [&progress](double f) {
        if (progress)
            progress(0.5 * f);
    });
    if (!audio.ok()) {
        AudioAnalysis a;
        a.reason = audio.reason;
        a.sampleRate = audio.sampleRate;
        return a;
    }
    return analyseSamples(audio.samples, audio.sampleRate, cancel, [&progress](double f) {
        if (progress)
            progress(0.5 + 0.5 * f);
    });
}

std::vector<double> halveBeats(const std::vector<double>& beats, int phase)
{
    std::vector<double> out;
    for (size_t i = size_t(phase != 0 ? 1 : 0); i < beats.size(); i += 2)
        out.push_back(beats[i]);
    return out;
}

std::vector<double> doubleBeats(const std::vector<double>& beats)
{
    std::vector<double> out;
    out.reserve(beats.size() * 2);
    for (size_t i = 0; i < beats.size(); ++i) {
        out.push_back(beats[i]);
        if (i + 1 < beats.size())
            out.push_back(0.5 * (beats[i] + beats[i + 1]));
    }
    return out;
}

namespace {

// Sum of each tap's distance to its nearest beat, capped so a stray tap weighs little.
double tapDistance(const std::vector<double>& beats, const std::vector<double>& taps, double cap)
{
    double sum = 0.0;
    for (double t : taps) {
        auto it = std::lower_bound(beats.begin(), beats.end(), t);
        double d = cap;
        if (it != beats.end())
            d = std::min(d, *it - t);
        if (it != beats.begin())
            d = std::min(d, t - *(it - 1));
        sum += d;
    }
    return sum;
}

} // namespace

std::vector<double> beatsAtTapLevel(const std::vector<double>& beats, const std::vector<double>& tapsMs)
{
    if (beats.size() < 2 || tapsMs.size() < 3)
        return beats;
    std::vector<double> taps(tapsMs);
    std::sort(taps.begin(), taps.end());
    const double tapSpacing = medianSpacing(taps);
    const double beatSpacing = medianSpacing(beats);
    if (tapSpacing <= 0.0 || beatSpacing <= 0.0)
        return beats;
    // Powers of two only: the tracker's errors are octave errors. Ratios near 3 (taps on
    // every third beat) are rounded to the nearer power as well.
    const int octaves = std::clamp(int(std::lround(std::log2(tapSpacing / beatSpacing))), -2, 2);
    std::vector<double> out(beats);
    for (int i = 0; i < octaves; ++i) {
        std::vector<double> even = halveBeats(out, 0);
        std::vector<double> odd = halveBeats(out, 1);
        const double cap = medianSpacing(out);
        out = tapDistance(even, taps, cap) <= tapDistance(odd, taps, cap) ? even : odd;
    }
    for (int i = 0; i > octaves; --i)
        out = doubleBeats(out);
    return out;
}

} // namespace vk
