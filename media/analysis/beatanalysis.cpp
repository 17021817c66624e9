#include "media/analysis/beatanalysis.h"

#include "media/analysis/beatlevel.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/onsets/PeakPicking.h>
#include <dsp/rateconversion/Decimator.h>
#include <dsp/tempotracking/DownBeat.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vk {

namespace {

// Where a beat sits in its detection-function peak. The tracker gives each beat as a whole
// frame, which is up to half a hop (5.8 ms at 44.1 kHz) off the attack, and a peak's frame
// comes later for an attack that builds up over a few frames than for a click. The beat is
// placed instead where the rise of its peak passes kAttackRise of the way from its foot
// to its top, between frames, and then kAttackLatencyHops later: the point where that
// crossing lies for an instant attack, whose frame window and hop put it about a hop and
// a quarter before the attack itself. Measured on the generated kits of
// tools/beatbench.cpp and on clicks: the median error stays within -1..+2 ms on every track,
// against -4..+3 ms on whole frames.
constexpr double kAttackRise = 0.5;
constexpr double kAttackLatencyHops = 1.25;
// Frames searched for a beat's peak on each side of the tracker's frame, and back from
// the peak for the foot of its rise.
constexpr long kPeakReach = 1;
constexpr long kFootReach = 4;
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

// The place of the beat the tracker put at frame `at`, in frames from the first: where
// the rise of the detection-function peak at or next to it passes kAttackRise of its
// height, plus the latency of an instant attack (see kAttackRise). A beat with no rise
// to go by (a flat stretch) stays on its frame.
double attackFrame(const std::vector<double>& df, double at)
{
    const long n = long(df.size());
    const long frame = long(std::lround(at));
    if (frame < 1 || frame >= n)
        return at;
    long peak = frame;
    for (long k = std::max(1L, frame - kPeakReach); k <= std::min(n - 1, frame + kPeakReach); ++k)
        if (df[size_t(k)] > df[size_t(peak)])
            peak = k;
    long foot = peak;
    while (foot > 0 && peak - foot < kFootReach && df[size_t(foot - 1)] < df[size_t(foot)])
        --foot;
    const double base = df[size_t(foot)];
    const double top = df[size_t(peak)];
    if (peak == foot || top <= base)
        return at;
    const double level = base + kAttackRise * (top - base);
    long k = foot + 1;
    while (k < peak && df[size_t(k)] < level)
        ++k;
    const double lo = df[size_t(k - 1)], hi = df[size_t(k)];
    return double(k - 1) + (level - lo) / (hi - lo) + kAttackLatencyHops;
}

// How a sound of a given rate is analysed. The beat and bar analysis runs at 11-16 kHz:
// the attacks it looks for are well inside that band, and a quarter of the samples is a
// quarter of the work. The detection function takes about 86 frames a second, as the
// tracker was tuned for; its hop is a power of two so the bar analysis's further
// reduction divides it.
struct Plan {
    int factor = 1; // the sound is reduced to 1/factor of its rate first
    int rate = 0;   // the reduced rate
    int step = 0;   // detection function hop, in reduced samples
    int frameLength = 0;
    int decimation = 1; // further reduction for the bar analysis
};

Plan planFor(int sampleRate)
{
    Plan p;
    while (p.factor < Decimator::getHighestSupportedFactor() && sampleRate / (p.factor * 2) >= 11025)
        p.factor *= 2;
    p.rate = sampleRate / p.factor;
    p.step = std::max(16, powerOfTwoNear(p.rate / 86.0));
    p.frameLength = 2 * p.step;
    while (p.decimation < 64 && p.decimation * 2 <= p.step && p.rate / (p.decimation * 2) >= 2000)
        p.decimation *= 2;
    return p;
}

// The sound at 1/factor of its rate, through the library's anti-alias filter and
// decimator, fed block by block. The decimator takes blocks of 1024 * factor samples;
// the last, partial one is padded with silence, and of its output only what stands for
// real samples is handed on (count / factor samples in all).
class Reducer {
public:
    explicit Reducer(int factor) : m_factor(size_t(factor)), m_block(1024 * size_t(factor))
    {
        if (m_factor > 1) {
            m_decimator = std::make_unique<Decimator>(unsigned(m_block), unsigned(m_factor));
            m_in.reserve(m_block);
            m_out.resize(m_block / m_factor);
        }
    }

    // Hands the reduced sound to out(const float*, size_t), which returns false to stop;
    // then returns false too.
    template <class Out>
    bool add(const float* s, size_t n, Out&& out)
    {
        m_count += n;
        if (m_factor == 1)
            return out(s, n);
        while (n > 0) {
            if (m_in.empty() && n >= m_block) {
                m_decimator->process(s, m_out.data());
                s += m_block;
                n -= m_block;
            } else {
                const size_t take = std::min(n, m_block - m_in.size());
                m_in.insert(m_in.end(), s, s + take);
                s += take;
                n -= take;
                if (m_in.size() < m_block)
                    break;
                m_decimator->process(m_in.data(), m_out.data());
                m_in.clear();
            }
            m_handed += m_out.size();
            if (!out(m_out.data(), m_out.size()))
                return false;
        }
        return true;
    }

    // The sound has ended: the rest of the last block.
    template <class Out>
    bool finish(Out&& out)
    {
        if (m_factor == 1 || m_in.empty())
            return true;
        m_in.resize(m_block, 0.0f);
        m_decimator->process(m_in.data(), m_out.data());
        m_in.clear();
        const size_t rest = reducedCount() - m_handed;
        m_handed += rest;
        return out(m_out.data(), rest);
    }

    size_t count() const { return m_count; }
    size_t reducedCount() const { return m_count / m_factor; }

private:
    size_t m_factor;
    size_t m_block;
    std::unique_ptr<Decimator> m_decimator;
    std::vector<float> m_in;
    std::vector<float> m_out;
    size_t m_count = 0;
    size_t m_handed = 0;
};

// The first reading of the sound: its waveform peaks and loudest sample, and the
// detection function over the reduced sound, one value per hop over frames of two hops
// (the last frames padded with silence). Of the sound it keeps only the stretch not yet
// framed, in pieces of at most 64 k samples.
class FirstPass {
public:
    FirstPass(int sampleRate, const Plan& plan, size_t expectedSamples, const std::atomic<bool>* cancel,
              const ProgressFn& report)
        : m_plan(plan), m_peaks(sampleRate, expectedSamples), m_reducer(plan.factor), m_detector(config(plan)),
          m_frame(size_t(plan.frameLength)), m_expected(expectedSamples), m_cancel(cancel), m_report(report)
    {
        // The expected length only sizes the list ahead; a wrong container length beyond
        // 16 MB of it is not trusted.
        m_df.reserve(std::min<size_t>(expectedSamples / size_t(plan.factor * plan.step) + 16, size_t(1) << 21));
    }

    // Takes the next samples; false once the work was cancelled.
    bool add(const float* s, size_t n)
    {
        if (m_stopped)
            return false;
        m_peaks.add(s, n);
        for (size_t i = 0; i < n; ++i)
            m_loudest = std::max(m_loudest, std::fabs(s[i]));
        m_stopped = !m_reducer.add(s, n, [this](const float* r, size_t k) { return addReduced(r, k); });
        return !m_stopped;
    }

    size_t sampleCount() const { return m_reducer.count(); }
    float loudest() const { return m_loudest; }
    WaveformPeaks takePeaks() { return m_peaks.finish(); }

    // The sound has ended: the last frames, padded with silence. Returns the detection
    // function, empty when the work was cancelled.
    std::vector<double> finish()
    {
        if (m_stopped || !m_reducer.finish([this](const float* r, size_t k) { return addReduced(r, k); }))
            return {};
        const size_t frames = m_reducer.reducedCount() / size_t(m_plan.step);
        while (m_df.size() < frames) {
            const size_t n = std::min(m_frame.size(), m_sound.size() - m_at);
            if (!frame(m_sound.data() + m_at, n))
                return {};
            m_at += size_t(m_plan.step);
        }
        return std::move(m_df);
    }

private:
    static DFConfig config(const Plan& plan)
    {
        DFConfig c;
        c.stepSize = unsigned(plan.step);
        c.frameLength = unsigned(plan.frameLength);
        c.DFType = DF_COMPLEXSD;
        c.dbRise = 3;
        c.adaptiveWhitening = false;
        c.whiteningRelaxCoeff = -1;
        c.whiteningFloor = -1;
        return c;
    }

    bool addReduced(const float* s, size_t n)
    {
        // In pieces, so that a large block is never copied whole.
        constexpr size_t kPiece = 1 << 16;
        while (n > 0) {
            const size_t take = std::min(n, kPiece);
            m_sound.insert(m_sound.end(), s, s + take);
            s += take;
            n -= take;
            while (m_sound.size() - m_at >= m_frame.size()) {
                if (!frame(m_sound.data() + m_at, m_frame.size()))
                    return false;
                m_at += size_t(m_plan.step);
            }
            if (m_at >= kPiece) {
                m_sound.erase(m_sound.begin(), m_sound.begin() + long(m_at));
                m_at = 0;
            }
        }
        return true;
    }

    bool frame(const float* s, size_t n)
    {
        if ((m_df.size() & 255) == 0) {
            if (isCancelled(m_cancel))
                return false;
            if (m_expected > 0)
                m_report(0.8 * std::min(1.0, double(m_reducer.count()) / double(m_expected)));
        }
        std::copy(s, s + n, m_frame.begin());
        std::fill(m_frame.begin() + long(n), m_frame.end(), 0.0);
        m_df.push_back(m_detector.processTimeDomain(m_frame.data()));
        return true;
    }

    Plan m_plan;
    WaveformPeaks::Builder m_peaks;
    float m_loudest = 0.0f;
    Reducer m_reducer;
    DetectionFunction m_detector;
    std::vector<float> m_sound; // the reduced sound from the next frame's start on
    size_t m_at = 0;            // where in m_sound the next frame starts
    std::vector<double> m_frame;
    std::vector<double> m_df;
    size_t m_expected;
    const std::atomic<bool>* m_cancel;
    const ProgressFn& m_report;
    bool m_stopped = false;
};

// The second reading of the sound: its bars. DownBeat (qm-dsp) reduces the sound once
// more, takes a spectrum of the stretch between each beat and the next, measures how
// much each spectrum differs from the one before, and makes first beat of the bar the
// position (of the bar's four) with the largest mean change into it. Its findDownBeats
// wants the reduced sound of the whole song at once; here it is given a run of beats at a
// time with the reduced sound of just that run, the runs overlapping by two beats so
// that no change between neighbours is missed, and the changes of all runs are put
// together as it would. Beats sit on whole detection frames, and a run's sound starts
// on a frame too, so each run reads exactly the samples the whole song's call would.
class BarPass {
public:
    // beats: the beat frames as DownBeat reads them (frames from the sound's start),
    // ascending; frames: the detection function's length.
    BarPass(const Plan& plan, const std::vector<double>& beats, size_t frames, const std::atomic<bool>* cancel,
            const ProgressFn& report)
        : m_plan(plan), m_beats(beats), m_frames(frames), m_reducer(plan.factor),
          m_bars(float(plan.rate), size_t(plan.decimation), size_t(plan.step)),
          m_perFrame(size_t(plan.step / plan.decimation)), m_cancel(cancel), m_report(report)
    {
        m_bars.setBeatsPerBar(kBeatsPerBar);
        m_block.reserve(size_t(plan.step));
    }

    // Takes the next samples; false once no more are wanted (every beat measured, or
    // the work cancelled).
    bool add(const float* s, size_t n)
    {
        return !m_done && m_reducer.add(s, n, [this](const float* r, size_t k) { return addReduced(r, k); });
    }

    // The indices of the beats that start a bar; empty when the sound came to an end
    // before the last beat (the file changed since the first reading) or on a cancel.
    std::vector<int> finish()
    {
        if (!m_done)
            m_reducer.finish([this](const float* r, size_t k) { return addReduced(r, k); });
        std::vector<int> firsts;
        if (!m_done || isCancelled(m_cancel))
            return firsts;
        std::vector<double> candidate(size_t(kBeatsPerBar), 0.0);
        for (int beat = 0; beat < kBeatsPerBar; ++beat) {
            int count = 0;
            for (int change = beat - 1; change < int(m_changes.size()); change += kBeatsPerBar) {
                if (change < 0)
                    continue;
                candidate[size_t(beat)] += m_changes[size_t(change)] / kBeatsPerBar;
                ++count;
            }
            if (count > 0)
                candidate[size_t(beat)] /= count;
        }
        int first = 0;
        for (int beat = 1; beat < kBeatsPerBar; ++beat) {
            if (candidate[size_t(beat)] > candidate[size_t(first)])
                first = beat;
        }
        for (size_t i = size_t(first); i < m_beats.size(); i += size_t(kBeatsPerBar))
            firsts.push_back(int(i));
        return firsts;
    }

private:
    // Reduced sound kept before a run of beats is measured.
    static constexpr size_t kRunSamples = 1 << 15;

    // Where beat i starts in the sound as DownBeat reduces it, as it computes it.
    size_t startOf(size_t i) const { return size_t((m_beats[i] * double(m_plan.step)) / double(m_plan.decimation)); }

    bool addReduced(const float* s, size_t n)
    {
        while (n > 0 && !m_done) {
            const size_t take = std::min(n, size_t(m_plan.step) - m_block.size());
            m_block.insert(m_block.end(), s, s + take);
            s += take;
            n -= take;
            if (m_block.size() < size_t(m_plan.step))
                break;
            if (m_pushed < m_frames)
                push();
            m_block.clear();
        }
        return !m_done;
    }

    void push()
    {
        if ((m_pushed & 255) == 0) {
            if (isCancelled(m_cancel)) {
                m_done = true;
                return;
            }
            m_report(0.9 + 0.1 * double(m_pushed) / double(m_frames));
        }
        m_bars.pushAudioBlock(m_block.data());
        ++m_pushed;
        size_t length = 0;
        const float* buffered = m_bars.getBufferedAudio(length);
        m_sound.insert(m_sound.end(), buffered + m_taken, buffered + length);
        m_taken = length;
        if (length >= kRunSamples) {
            m_bars.resetAudioBuffer();
            m_taken = 0;
        }
        const size_t end = m_soundStart + m_sound.size();
        if (end > startOf(m_beats.size() - 1)) {
            measure(m_beats.size() - 1);
            m_done = true;
        } else if (m_sound.size() >= kRunSamples) {
            // The last beat whose start the sound has passed.
            size_t last = m_next;
            while (last + 1 < m_beats.size() && startOf(last + 1) < end)
                ++last;
            if (last >= m_next + 2)
                measure(last);
            // Nothing before the next run's first beat is read again.
            const size_t keep = size_t(std::floor(m_beats[m_next])) * m_perFrame;
            if (keep > m_soundStart) {
                const size_t drop = std::min(keep - m_soundStart, m_sound.size());
                m_sound.erase(m_sound.begin(), m_sound.begin() + long(drop));
                m_soundStart += drop;
            }
        }
    }

    // Measures the beats m_next..last (at least three): the changes between their
    // spectra, all but the last beat's, which the next run starts with.
    void measure(size_t last)
    {
        if (last < m_next + 2)
            return;
        const double shift = double(m_soundStart / m_perFrame);
        std::vector<double> run(m_beats.begin() + long(m_next), m_beats.begin() + long(last) + 1);
        for (double& b : run)
            b -= shift;
        std::vector<int> unused;
        m_bars.findDownBeats(m_sound.data(), m_sound.size(), run, unused);
        m_bars.getBeatSD(m_changes);
        m_next = last - 1;
    }

    Plan m_plan;
    const std::vector<double>& m_beats;
    size_t m_frames;
    Reducer m_reducer;
    DownBeat m_bars;
    size_t m_perFrame; // reduced samples per detection frame
    std::vector<float> m_block;
    size_t m_pushed = 0;
    size_t m_taken = 0;         // of DownBeat's own buffer, copied to m_sound
    std::vector<float> m_sound; // DownBeat's reduced sound from m_soundStart on
    size_t m_soundStart = 0;    // a whole number of frames
    size_t m_next = 0;          // the next run's first beat
    std::vector<double> m_changes;
    const std::atomic<bool>* m_cancel;
    const ProgressFn& m_report;
    bool m_done = false;
};

} // namespace

AudioAnalysis analyseSound(int sampleRate, size_t expectedSamples, const SoundSource& source,
                           const std::atomic<bool>* cancel, const ProgressFn& progress)
{
    AudioAnalysis out;
    if (sampleRate <= 0 || !source)
        return withReason(out, QStringLiteral("No sound in the file"));
    const ProgressFn report = [&progress](double f) {
        if (progress)
            progress(f);
    };
    const Plan plan = planFor(sampleRate);
    const int rate = plan.rate;
    const int step = plan.step;

    std::vector<double> df;
    {
        FirstPass first(sampleRate, plan, expectedSamples, cancel, report);
        const QString unread = source([&first](const float* s, size_t n) { return first.add(s, n); });
        if (!unread.isEmpty()) {
            // As from a file that could not be decoded: a reason and nothing else.
            AudioAnalysis failed;
            failed.reason = unread;
            return failed;
        }
        if (isCancelled(cancel))
            return withReason(out, cancelledReason());
        if (first.sampleCount() == 0)
            return withReason(out, QStringLiteral("No sound in the file"));
        out.sampleRate = sampleRate;
        out.durationMs = 1000.0 * double(first.sampleCount()) / sampleRate;
        out.peaks = first.takePeaks();
        if (first.loudest() < kSilencePeak)
            return withReason(out, QStringLiteral("Silence"));
        if (out.durationMs < kMinBeatSoundMs)
            return withReason(out, QStringLiteral("Too short for beats"));
        df = first.finish();
        if (isCancelled(cancel))
            return withReason(out, cancelledReason());
    }
    const size_t frames = df.size();
    report(0.8);

    // The first two frames compare against an empty history; the library's own bar and
    // beat tracker leaves them out as well.
    constexpr size_t kSkip = 2;
    const double hopMs = 1000.0 * step / rate;
    auto frameToMs = [&](double j) { return (j + double(kSkip)) * hopMs; };

    size_t used = df.size();
    while (used > kSkip && df[used - 1] <= 0.0)
        --used;
    if (used <= kSkip + 2)
        return withReason(out, QStringLiteral("Silence"));
    std::vector<double> dfUsed = std::move(df);
    dfUsed.resize(used);
    dfUsed.erase(dfUsed.begin(), dfUsed.begin() + long(kSkip));

    for (int j : pickOnsets(dfUsed, hopMs / 1000.0))
        out.onsetsMs.push_back(frameToMs(j));
    report(0.82);
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
    report(0.86);
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
    // Each beat at its attack, read off the detection function before it is let go.
    std::vector<double> attackFrames;
    for (double b : beatFrames)
        attackFrames.push_back(attackFrame(dfUsed, b));
    std::sort(attackFrames.begin(), attackFrames.end());

    // The bars, from a second reading of the sound. DownBeat reads the beats against
    // blocks of one hop each from the sound's start, that is from frame 0.
    std::vector<int> downIndices;
    if (beatFrames.size() > size_t(kBeatsPerBar)) {
        dfUsed = std::vector<double>();
        beatPeriod = std::vector<double>();
        std::vector<double> barFrames(beatFrames);
        for (double& b : barFrames)
            b += double(kSkip);
        BarPass bars(plan, barFrames, frames, cancel, report);
        const QString unread = source([&bars](const float* s, size_t n) { return bars.add(s, n); });
        downIndices = bars.finish();
        if (isCancelled(cancel))
            return withReason(out, cancelledReason());
        if (!unread.isEmpty())
            downIndices.clear();
    }

    for (double b : attackFrames)
        out.beatsMs.push_back(frameToMs(b));
    for (int i : downIndices) {
        if (i >= 0 && size_t(i) < out.beatsMs.size())
            out.downbeatsMs.push_back(out.beatsMs[size_t(i)]);
    }
    out.bpm = beatsPerMinute(out.beatsMs);
    report(1.0);
    return out;
}

AudioAnalysis analyseSamples(const std::vector<float>& mono, int sampleRate, const std::atomic<bool>* cancel,
                             const ProgressFn& progress)
{
    const SoundSource whole = [&mono](const SoundSink& sink) {
        if (!mono.empty())
            sink(mono.data(), mono.size());
        return QString();
    };
    return analyseSound(sampleRate, mono.size(), whole, cancel, progress);
}

AudioAnalysis analyseFile(const QString& path, const std::atomic<bool>* cancel, const ProgressFn& progress)
{
    AudioDecoder first;
    first.setCancel(cancel);
    if (!first.open(path)) {
        AudioAnalysis a;
        a.reason = first.reason();
        return a;
    }
    bool again = false;
    const SoundSource file = [&](const SoundSink& sink) {
        AudioDecoder second;
        AudioDecoder* decoder = &first;
        if (again) {
            // The bars: the file once more, from its start.
            second.setCancel(cancel);
            if (!second.open(path) || second.sampleRate() != first.sampleRate())
                return second.reason().isEmpty() ? QStringLiteral("Damaged file") : second.reason();
            decoder = &second;
        }
        again = true;
        std::vector<float> block;
        while (decoder->read(block)) {
            if (!sink(block.data(), block.size()))
                return QString();
        }
        return decoder->reason();
    };
    return analyseSound(first.sampleRate(), first.expectedSamples(), file, cancel, progress);
}

} // namespace vk
