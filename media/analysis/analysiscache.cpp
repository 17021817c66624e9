#include "media/analysis/analysiscache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstring>

namespace vk {

namespace {

constexpr char kMagic[8] = {'V', 'K', 'B', 'E', 'A', 'T', 'S', '\0'};
constexpr int kHeaderSize = 8 + 4 + 8;
constexpr int kDigestSize = 20;
constexpr qint64 kWholeFileLimit = 64LL * 1024 * 1024;
constexpr qint64 kPieceSize = 1024 * 1024;
constexpr int kPieces = 32;
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

void setWhy(QString* why, const char* text)
{
    if (why)
        *why = QString::fromLatin1(text);
}

} // namespace

AnalysisCache::AnalysisCache(QString dir) : m_dir(dir.isEmpty() ? defaultDir() : std::move(dir)) {}

QString AnalysisCache::defaultDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/beats");
}

QByteArray AnalysisCache::contentKey(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const qint64 size = f.size();
    hash.addData(QByteArray::number(size));
    if (size <= kWholeFileLimit) {
        if (!hash.addData(&f))
            return {};
    } else {
        for (int i = 0; i < kPieces; ++i) {
            const qint64 at = (size - kPieceSize) * i / (kPieces - 1);
            if (!f.seek(at))
                return {};
            const QByteArray piece = f.read(kPieceSize);
            if (piece.size() != kPieceSize)
                return {};
            hash.addData(piece);
        }
    }
    return hash.result().toHex();
}

QString AnalysisCache::pathFor(const QByteArray& key) const
{
    return m_dir + QLatin1Char('/') + QString::fromLatin1(key) + QStringLiteral(".vkbeats");
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
        setWhy(why, "other file");
        return std::nullopt;
    }
    a.sampleRate = rate;
    if (!readTimes(s, a.beatsMs) || !readTimes(s, a.downbeatsMs) || !readTimes(s, a.onsetsMs)) {
        setWhy(why, "damaged times");
        return std::nullopt;
    }
    s >> sampleCount >> peakRate >> baseSize;
    if (s.status() != QDataStream::Ok || baseSize > kMaxItems) {
        setWhy(why, "damaged peaks");
        return std::nullopt;
    }
    std::vector<PeakPair> base(static_cast<size_t>(baseSize));
    for (PeakPair& p : base)
        s >> p.min >> p.max;
    if (s.status() != QDataStream::Ok || !s.atEnd()) {
        setWhy(why, "damaged peaks");
        return std::nullopt;
    }
    a.peaks = WaveformPeaks::fromBase(std::move(base), size_t(sampleCount), peakRate);
    return a;
}

std::optional<AudioAnalysis> AnalysisCache::load(const QByteArray& key) const
{
    if (key.isEmpty())
        return std::nullopt;
    QFile f(pathFor(key));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.readAll();
    f.close();
    std::optional<AudioAnalysis> a = decode(bytes, key);
    if (!a)
        QFile::remove(f.fileName());
    return a;
}

QByteArray FrameCacheFile(const char (&magic)[8], quint32 version, const QByteArray& payload)
{
    QByteArray out;
    out.reserve(kHeaderSize + payload.size() + kDigestSize);
    out.append(magic, 8);
    {
        QDataStream h(&out, QIODevice::Append);
        h.setByteOrder(QDataStream::LittleEndian);
        h << version << quint64(payload.size());
    }
    out.append(payload);
    out.append(QCryptographicHash::hash(payload, QCryptographicHash::Sha1));
    return out;
}

std::optional<QByteArray> UnframeCacheFile(const QByteArray& bytes, const char (&magic)[8], quint32 version,
                                           QString* why)
{
    if (bytes.size() < kHeaderSize + kDigestSize || std::memcmp(bytes.constData(), magic, 8) != 0) {
        setWhy(why, "not a cache file");
        return std::nullopt;
    }
    quint32 stored = 0;
    quint64 length = 0;
    {
        QDataStream h(bytes.mid(8, 12));
        h.setByteOrder(QDataStream::LittleEndian);
        h >> stored >> length;
    }
    if (stored != version) {
        setWhy(why, "other format version");
        return std::nullopt;
    }
    if (length != quint64(bytes.size() - kHeaderSize - kDigestSize)) {
        setWhy(why, "wrong length");
        return std::nullopt;
    }
    QByteArray payload = bytes.mid(kHeaderSize, qsizetype(length));
    if (QCryptographicHash::hash(payload, QCryptographicHash::Sha1) != bytes.right(kDigestSize)) {
        setWhy(why, "checksum mismatch");
        return std::nullopt;
    }
    return payload;
}

bool WriteCacheFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || f.write(bytes) != bytes.size() || !f.commit()) {
        f.cancelWriting();
        return false;
    }
    return true;
}

bool AnalysisCache::store(const QByteArray& key, const AudioAnalysis& analysis) const
{
    if (key.isEmpty() || analysis.sampleRate <= 0 || analysis.peaks.isEmpty() || analysis.reason == cancelledReason())
        return false;
    if (!QDir().mkpath(m_dir))
        return false;
    return WriteCacheFile(pathFor(key), encode(key, analysis));
}

QString AnalysisCache::correctionsPathFor(const QByteArray& key) const
{
    return m_dir + QLatin1Char('/') + QString::fromLatin1(key) + QStringLiteral(".vkgrid");
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
    if (!QDir().mkpath(m_dir))
        return false;
    return WriteCacheFile(correctionsPathFor(key), key + '\n' + corrections);
}

} // namespace vk
