// The analysis of a sound that is never in memory whole: the decoder's blocks, the
// waveform peaks and the beat analysis fed block by block, against the same work done on
// the whole sound at once.

#include "tests/media/analysis/testsound.h"

#include "media/analysis/audiodecoder.h"
#include "media/analysis/beatanalysis.h"
#include "media/analysis/waveformpeaks.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <random>

namespace vk {
namespace {

void expectSamePeaks(const WaveformPeaks& a, const WaveformPeaks& b, const char* what)
{
    ASSERT_EQ(a.sampleCount(), b.sampleCount()) << what;
    ASSERT_EQ(a.sampleRate(), b.sampleRate()) << what;
    ASSERT_EQ(a.levelCount(), b.levelCount()) << what;
    for (int l = 0; l < a.levelCount(); ++l) {
        ASSERT_EQ(a.level(l).size(), b.level(l).size()) << what << " level " << l;
        for (size_t i = 0; i < a.level(l).size(); ++i) {
            ASSERT_EQ(a.level(l)[i].min, b.level(l)[i].min) << what << " level " << l << " bucket " << i;
            ASSERT_EQ(a.level(l)[i].max, b.level(l)[i].max) << what << " level " << l << " bucket " << i;
        }
    }
}

TEST(AnalysisBlocks, DecoderHandsOverBoundedBlocksThatMakeTheWholeSound)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("clicks.wav"));
    const QString flac = dir.filePath(QStringLiteral("clicks.flac"));
    testsound::writeClicks(wav, 100.0, 20.0, 48000, 2);
    ASSERT_TRUE(testsound::ffmpeg({QStringLiteral("-i"), wav, QStringLiteral("-c:a"), QStringLiteral("flac"), flac}));

    for (const QString& path : {wav, flac}) {
        const DecodedAudio whole = decodeAudio(path);
        ASSERT_TRUE(whole.ok()) << whole.reason.toStdString();
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.open(path)) << decoder.reason().toStdString();
        EXPECT_EQ(decoder.sampleRate(), 48000);
        EXPECT_NEAR(double(decoder.expectedSamples()), double(whole.samples.size()), 4800.0);
        std::vector<float> joined;
        std::vector<float> block;
        int blocks = 0;
        while (decoder.read(block)) {
            ASSERT_GE(block.size(), 1u);
            ASSERT_LE(block.size(), AudioDecoder::kMaxBlock);
            joined.insert(joined.end(), block.begin(), block.end());
            ++blocks;
        }
        EXPECT_TRUE(block.empty());
        EXPECT_TRUE(decoder.reason().isEmpty()) << decoder.reason().toStdString();
        EXPECT_FALSE(decoder.read(block)); // and stays at the end
        EXPECT_EQ(decoder.samplesRead(), joined.size());
        // Twenty seconds take many blocks, which put together are the whole sound.
        EXPECT_GT(blocks, 50);
        EXPECT_TRUE(joined == whole.samples) << path.toStdString();
    }

    // A cancel stops the reading at the next block.
    std::atomic<bool> cancel{false};
    AudioDecoder decoder;
    decoder.setCancel(&cancel);
    ASSERT_TRUE(decoder.open(flac));
    std::vector<float> block;
    ASSERT_TRUE(decoder.read(block));
    cancel = true;
    EXPECT_FALSE(decoder.read(block));
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(decoder.reason(), cancelledReason());

    // Files that give no sound say why, at open() or at the end.
    AudioDecoder missing;
    EXPECT_FALSE(missing.open(dir.filePath(QStringLiteral("nothing-here.wav"))));
    EXPECT_EQ(missing.reason(), QStringLiteral("File not found"));
    EXPECT_FALSE(missing.read(block));
    const QString empty = dir.filePath(QStringLiteral("empty.wav"));
    ASSERT_TRUE(writeWav16(empty, {}, 44100, 1));
    AudioDecoder nothing;
    ASSERT_TRUE(nothing.open(empty)) << nothing.reason().toStdString();
    EXPECT_TRUE(nothing.reason().isEmpty());
    EXPECT_FALSE(nothing.read(block));
    EXPECT_EQ(nothing.reason(), QStringLiteral("No sound in the file"));
}

TEST(AnalysisPeaks, BuiltBlockByBlockAsFromTheWholeSound)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.2f, 1.2f);
    std::vector<float> s(100000 + 37); // not a whole number of buckets
    for (float& v : s)
        v = u(rng);
    const WaveformPeaks whole = WaveformPeaks::build(s.data(), s.size(), 22050);
    for (size_t most : {size_t(1), size_t(63), size_t(64), size_t(65), size_t(1000)}) {
        WaveformPeaks::Builder builder(22050);
        std::uniform_int_distribution<size_t> len(1, most);
        for (size_t at = 0; at < s.size();) {
            const size_t n = std::min(len(rng), s.size() - at);
            builder.add(s.data() + at, n);
            at += n;
        }
        EXPECT_EQ(builder.sampleCount(), s.size());
        expectSamePeaks(whole, builder.finish(), "blocks");
    }
    EXPECT_TRUE(WaveformPeaks::Builder(22050).finish().isEmpty());
}

// The beat analysis of a song handed over in blocks of any size gives exactly what the
// analysis of the whole song at once gives: the frames, the reductions and the bar runs
// carry over from block to block. At 44.1 kHz the sound is reduced before the frames; at
// 8 kHz it is not.
TEST(AnalysisBlocks, SameResultWhateverTheBlockSizes)
{
    for (int rate : {44100, 8000}) {
        const std::vector<float> pcm = testsound::barsSong(rate, 40.0);
        const AudioAnalysis whole = analyseSamples(pcm, rate);
        ASSERT_TRUE(whole.hasBeats()) << whole.reason.toStdString();
        ASSERT_GT(whole.downbeatsMs.size(), 10u);
        ASSERT_GT(whole.onsetsMs.size(), 40u);

        std::mt19937 rng{unsigned(rate)};
        for (size_t most : {size_t(1), size_t(37), size_t(4096), size_t(100003)}) {
            int readings = 0;
            const SoundSource blocks = [&](const SoundSink& sink) {
                ++readings;
                std::uniform_int_distribution<size_t> len(1, most);
                for (size_t at = 0; at < pcm.size();) {
                    const size_t n = std::min(len(rng), pcm.size() - at);
                    if (!sink(pcm.data() + at, n))
                        break;
                    at += n;
                }
                return QString();
            };
            const AudioAnalysis a = analyseSound(rate, pcm.size(), blocks);
            SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of 1.." << most);
            // Once for the beats, once more for the bars.
            EXPECT_EQ(readings, 2);
            EXPECT_EQ(a.reason, whole.reason);
            EXPECT_EQ(a.sampleRate, whole.sampleRate);
            EXPECT_EQ(a.durationMs, whole.durationMs);
            EXPECT_EQ(a.bpm, whole.bpm);
            EXPECT_EQ(a.beatsMs, whole.beatsMs);
            EXPECT_EQ(a.downbeatsMs, whole.downbeatsMs);
            EXPECT_EQ(a.onsetsMs, whole.onsetsMs);
            expectSamePeaks(whole.peaks, a.peaks, "analysis");
        }
    }
}

// A sound that cannot be read a second time (the file changed, or went away) still
// gives its beats, only without bars; a first reading that fails gives its reason.
TEST(AnalysisBlocks, ASecondReadingThatFailsLeavesOnlyTheBars)
{
    constexpr int rate = 22050;
    const std::vector<float> pcm = testsound::barsSong(rate, 20.0);
    const AudioAnalysis whole = analyseSamples(pcm, rate);
    ASSERT_FALSE(whole.downbeatsMs.empty());
    int readings = 0;
    const SoundSource once = [&](const SoundSink& sink) {
        if (++readings > 1)
            return QStringLiteral("File not found");
        sink(pcm.data(), pcm.size());
        return QString();
    };
    AudioAnalysis a = analyseSound(rate, 0, once);
    EXPECT_TRUE(a.reason.isEmpty());
    EXPECT_EQ(a.beatsMs, whole.beatsMs);
    EXPECT_TRUE(a.downbeatsMs.empty());

    // Cut short the second time: not every beat can be measured.
    readings = 0;
    const SoundSource shorter = [&](const SoundSink& sink) {
        sink(pcm.data(), ++readings > 1 ? pcm.size() / 2 : pcm.size());
        return QString();
    };
    a = analyseSound(rate, pcm.size(), shorter);
    EXPECT_EQ(a.beatsMs, whole.beatsMs);
    EXPECT_TRUE(a.downbeatsMs.empty());

    const SoundSource broken = [](const SoundSink&) { return QStringLiteral("Damaged file"); };
    a = analyseSound(rate, 0, broken);
    EXPECT_EQ(a.reason, QStringLiteral("Damaged file"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_TRUE(a.peaks.isEmpty());
}

} // namespace
} // namespace vk
