#include "media/analysis/shotcache.h"

#include "media/analysis/analysiscache.h"

#include <QDataStream>
#include <QStandardPaths>

#include <cstring>

namespace vk {

namespace {

constexpr char kMagic[8] = {'V', 'K', 'S', 'H', 'O', 'T', 'S', '\0'};
constexpr quint64 kMaxItems = 50000000ULL;

} // namespace

ShotCache::ShotCache(QString dir) : CacheFolder(std::move(dir), defaultDir(), QStringLiteral(".vkshots")) {}

QString ShotCache::defaultDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/shots");
}

QByteArray ShotCache::encode(const QByteArray& key, const ShotAnalysis& a)
{
    QByteArray payload;
    {
        QDataStream s(&payload, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_6_0);
        s << key << a.reason << a.fps << qint32(a.frames) << qint32(a.width) << qint32(a.height) << a.durationMs;
        s << quint64(a.cuts.size());
        for (int c : a.cuts)
            s << qint32(c);
        s << quint64(a.transitions.size());
        for (const ShotTransition& t : a.transitions)
            s << qint32(t.firstFrame) << qint32(t.lastFrame);
        s << quint64(a.shots.size());
        for (const Shot& sh : a.shots)
            s << qint32(sh.firstFrame) << qint32(sh.lastFrame) << sh.startMs << sh.endMs << sh.motion;
        s << quint64(a.thumbs.size());
        for (const ShotThumb& t : a.thumbs) {
            const QImage img = t.image.convertToFormat(QImage::Format_RGB888);
            s << qint32(t.frame) << t.ms << qint32(img.width()) << qint32(img.height());
            QByteArray rows;
            rows.reserve(img.width() * img.height() * 3);
            for (int y = 0; y < img.height(); ++y)
                rows.append(reinterpret_cast<const char*>(img.constScanLine(y)), img.width() * 3);
            s << rows;
        }
    }
    return FrameCacheFile(kMagic, kFormatVersion, payload);
}

std::optional<ShotAnalysis> ShotCache::decode(const QByteArray& bytes, const QByteArray& key, QString* why)
{
    const std::optional<QByteArray> payload = UnframeCacheFile(bytes, kMagic, kFormatVersion, why);
    if (!payload)
        return std::nullopt;
    QDataStream s(*payload);
    s.setVersion(QDataStream::Qt_6_0);
    ShotAnalysis a;
    QByteArray storedKey;
    qint32 frames = 0, width = 0, height = 0;
    s >> storedKey >> a.reason >> a.fps >> frames >> width >> height >> a.durationMs;
    a.frames = frames;
    a.width = width;
    a.height = height;
    auto count = [&](quint64& n) {
        s >> n;
        return s.status() == QDataStream::Ok && n <= kMaxItems;
    };
    quint64 n = 0;
    if (storedKey != key || !count(n)) {
        SetCacheWhy(why, "another key or a damaged list");
        return std::nullopt;
    }
    for (quint64 i = 0; i < n; ++i) {
        qint32 c = 0;
        s >> c;
        a.cuts.push_back(c);
    }
    if (!count(n))
        return std::nullopt;
    for (quint64 i = 0; i < n; ++i) {
        qint32 f = 0, l = 0;
        s >> f >> l;
        a.transitions.push_back({f, l});
    }
    if (!count(n))
        return std::nullopt;
    for (quint64 i = 0; i < n; ++i) {
        Shot sh;
        qint32 f = 0, l = 0;
        s >> f >> l >> sh.startMs >> sh.endMs >> sh.motion;
        sh.firstFrame = f;
        sh.lastFrame = l;
        a.shots.push_back(sh);
    }
    if (!count(n))
        return std::nullopt;
    for (quint64 i = 0; i < n && s.status() == QDataStream::Ok; ++i) {
        ShotThumb t;
        qint32 f = 0, w = 0, h = 0;
        QByteArray rows;
        s >> f >> t.ms >> w >> h >> rows;
        if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || rows.size() != qsizetype(w) * h * 3) {
            SetCacheWhy(why, "a damaged thumbnail");
            return std::nullopt;
        }
        t.frame = f;
        t.image = QImage(w, h, QImage::Format_RGB888);
        for (int y = 0; y < h; ++y)
            std::memcpy(t.image.scanLine(y), rows.constData() + qsizetype(y) * w * 3, size_t(w) * 3);
        a.thumbs.push_back(std::move(t));
    }
    if (s.status() != QDataStream::Ok || !s.atEnd()) {
        SetCacheWhy(why, "a payload that does not read back");
        return std::nullopt;
    }
    return a;
}

std::optional<ShotAnalysis> ShotCache::load(const QByteArray& key) const
{
    return loadWith(key, [&key](const QByteArray& bytes) { return decode(bytes, key); });
}

bool ShotCache::store(const QByteArray& key, const ShotAnalysis& analysis) const
{
    if (key.isEmpty() || analysis.reason == cancelledReason())
        return false;
    return storeBytes(key, encode(key, analysis));
}

ShotAnalysis cachedShotAnalysis(const ShotCache& cache, const QString& path, const std::atomic<bool>* cancel,
                                const ProgressFn& progress, bool* fromCache)
{
    const QByteArray key = AnalysisCache::contentKey(path);
    if (fromCache)
        *fromCache = false;
    if (auto hit = cache.load(key)) {
        if (fromCache)
            *fromCache = true;
        return std::move(*hit);
    }
    ShotAnalysis a = analyseShots(path, cancel, progress);
    if (key.isEmpty() && a.reason.isEmpty())
        a.reason = QStringLiteral("File not found");
    if (!(cancel && cancel->load()))
        cache.store(key, a);
    return a;
}

} // namespace vk
