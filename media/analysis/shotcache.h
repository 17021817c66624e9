#pragma once
// A cache of finished shot analyses, one file per video, named by the hash of the video's
// content (AnalysisCache::contentKey), so a video opened again shows its shots at once.
//
// File format: the 8-byte magic "VKSHOTS\0", the format version (32-bit little endian),
// the payload's length (64-bit little endian), the payload (a Qt 6.0 QDataStream of the
// key and the analysis, thumbnails as raw RGB rows) and the SHA-1 of the payload.
// Anything else (another magic or version, a wrong length or checksum, a payload that
// does not read back completely) is a miss, and the damaged file is removed.

#include "media/analysis/cachefolder.h"
#include "media/analysis/shotanalysis.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vk {

class ShotCache : public CacheFolder {
public:
    static constexpr quint32 kFormatVersion = 1;

    // dir: the folder for the cache files; empty means defaultDir().
    explicit ShotCache(QString dir = QString());
    // "shots" under the user's cache folder.
    static QString defaultDir();

    std::optional<ShotAnalysis> load(const QByteArray& key) const;
    // Stores a finished analysis atomically; cancelled ones and empty keys are not stored.
    // Files that could not be analysed are stored too (with their reason), so a damaged
    // file is not decoded again each time.
    bool store(const QByteArray& key, const ShotAnalysis& analysis) const;

    static QByteArray encode(const QByteArray& key, const ShotAnalysis& analysis);
    static std::optional<ShotAnalysis> decode(const QByteArray& bytes, const QByteArray& key, QString* why = nullptr);
};

// The analysis of one file through the cache: loaded when there, else analysed and
// stored. fromCache (may be null) tells which.
ShotAnalysis cachedShotAnalysis(const ShotCache& cache, const QString& path, const std::atomic<bool>* cancel = nullptr,
                                const ProgressFn& progress = {}, bool* fromCache = nullptr);

} // namespace vk
