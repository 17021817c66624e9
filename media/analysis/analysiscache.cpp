#include "media/analysis/analysiscache.h"

#include "base/filekey.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace vk {

namespace {

constexpr char kMagic[8] = {'V', 'K', 'B', 'E', 'A', 'T', 'S', '\0'};
// Files over 64 MB are keyed by 32 pieces of 1 MB.
constexpr FileKeySampling kKeySampling{64LL * 1024 * 1024, 32, 1024 * 1024, false};
// Sanity limit for list lengths read back (a day of sound at 192 kHz in 64-sample buckets).
constexpr quint64 kMaxItems = 300000000ULL;

void writeTimes(QDataStream& s, const std::vector<double>& v)
{
    s << quint64(v.size());
    for (double d : v)
        s << d;
}

bool readTimes(QDataStream& s, std::vector<double>& v)
{
    quint64 n = 0;
    s >> n;
    if (s.status() != QDataStream::Ok || n > kMaxItems)
        return false;
    v.resize(size_t(n));
    for (double& d : v)
        s >> d;
    return s.status() == QDataStream::Ok;
}

} // namespace

AnalysisCache::AnalysisCache(QString dir) : CacheFolder(std::move(dir), defaultDir(), QStringLiteral(".vkbeats")) {}

QString AnalysisCache::defaultDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/beats");
}

QByteArray AnalysisCache::contentKey(const QString& path)
{
    return FileKey(path, kKeySampling);
}

QByteArray AnalysisCache::encode(const QByteArray& key, const AudioAnalysis& a)
{
    QByteArray payload;
    {
        QDataStream s(&payload, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_6_0);
        s << key << a.reason << qint32(a.sampleRate) << a.durationMs << a.bpm;
        writeTimes(s, a.beatsMs);
        writeTimes(s, a.downbeatsMs);
        writeTimes(s, a.onsetsMs);
        s << quint64(a.peaks.sampleCount()) << qint32(a.peaks.sampleRate());
        const std::vector<PeakPair> empty;
        const std::vector<PeakPair>& base = a.peaks.isEmpty() ? empty : a.peaks.base();
        s << quint64(base.size());
        for (const PeakPair& p : base)
            s << p.min << p.max;
    }
    return FrameCacheFile(kMagic, kFormatVersion, payload);
}

std::optional<AudioAnalysis> AnalysisCache::decode(const QByteArray& bytes, const QByteArray& key, QString* why)
{
    const std::optional<QByteArray> payload = UnframeCacheFile(bytes, kMagic, kFormatVersion, why);
    if (!payload)
        return std::nullopt;
    QDataStream s(*payload);
    s.setVersion(QDataStream::Qt_6_0);
    QByteArray storedKey;
    AudioAnalysis a;
    qint32 rate = 0, peakRate = 0;
    quint64 sampleCount = 0, baseSize = 0;
    s >> storedKey >> a.reason >> rate >> a.durationMs >> a.bpm;
    if (s.status() != QDataStream::Ok || storedKey != key) {
        SetCacheWhy(why, "other file");
        return std::nullopt;
    }
    a.sampleRate = rate;
    if (!readTimes(s, a.beatsMs) || !readTimes(s, a.downbeatsMs) || !readTimes(s, a.onsetsMs)) {
        SetCacheWhy(why, "damaged times");
        return std::nullopt;
    }
    s >> sampleCount >> peakRate >> baseSize;
    if (s.status() != QDataStream::Ok || baseSize > kMaxItems) {
        SetCacheWhy(why, "damaged peaks");
        return std::nullopt;
    }
    std::vector<PeakPair> base(static_cast<size_t>(baseSize));
    for (PeakPair& p : base)
        s >> p.min >> p.max;
    if (s.status() != QDataStream::Ok || !s.atEnd()) {
        SetCacheWhy(why, "damaged peaks");
        return std::nullopt;
    }
    a.peaks = WaveformPeaks::fromBase(std::move(base), size_t(sampleCount), peakRate);
    return a;
}

std::optional<AudioAnalysis> AnalysisCache::load(const QByteArray& key) const
{
    return loadWith(key, [&key](const QByteArray& bytes) { return decode(bytes, key); });
}

bool AnalysisCache::store(const QByteArray& key, const AudioAnalysis& analysis) const
{
    if (key.isEmpty() || analysis.sampleRate <= 0 || analysis.peaks.isEmpty() || analysis.reason == cancelledReason())
        return false;
    return storeBytes(key, encode(key, analysis));
}

QString AnalysisCache::correctionsPathFor(const QByteArray& key) const
{
    return dir() + QLatin1Char('/') + QString::fromLatin1(key) + QStringLiteral(".vkgrid");
}

QByteArray AnalysisCache::loadCorrections(const QByteArray& key) const
{
    if (key.isEmpty())
        return {};
    QFile f(correctionsPathFor(key));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.read(1024 * 1024);
    const qsizetype eol = bytes.indexOf('\n');
    if (eol < 0 || bytes.left(eol) != key)
        return {};
    return bytes.mid(eol + 1);
}

bool AnalysisCache::storeCorrections(const QByteArray& key, const QByteArray& corrections) const
{
    if (key.isEmpty())
        return false;
    if (corrections.isEmpty())
        return QFile::remove(correctionsPathFor(key)) || !QFile::exists(correctionsPathFor(key));
    if (!QDir().mkpath(dir()))
        return false;
    return WriteCacheFile(correctionsPathFor(key), key + '\n' + corrections);
}

} // namespace vk
