#pragma once
// A cache of finished analyses, one file per sound, named by a hash of the sound file's
// content (so a renamed or moved file still hits, and an edited one misses). A project
// then opens with its beats and waveform at once instead of after a new analysis.
//
// File format: the 8-byte magic "VKBEATS\0", the format version (32-bit little endian),
// the payload's length (64-bit little endian), the payload (a Qt 6.0 QDataStream of the
// file's key, the analysis and the level-0 waveform peaks) and the SHA-1 of the payload. A file with another magic or version, a wrong length, a wrong checksum or
// a payload that does not read back completely is rejected (and counts as a miss), so a
// damaged or outdated file never reaches the editor. The version also goes up whenever
// the analysis itself changes its results.

#include "media/analysis/beatanalysis.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vk {

class AnalysisCache {
public:
    static constexpr quint32 kFormatVersion = 2;

    // dir: the folder for the cache files; empty means defaultDir().
    explicit AnalysisCache(QString dir = QString());

    // "beats" under the user's cache folder (QStandardPaths::CacheLocation, which follows
    // XDG_CACHE_HOME).
    static QString defaultDir();

    // The cache key of a file: a hex SHA-1 of its size and content. Files over 64 MB are
    // hashed from their size and 32 evenly spaced 1 MB pieces, to stay fast on long
    // videos. Empty when the file cannot be read.
    static QByteArray contentKey(const QString& path);

    QString dir() const { return m_dir; }
    QString pathFor(const QByteArray& key) const;

    // The stored analysis for the key, or nothing when there is none or it is damaged.
    // A damaged file is removed so it is written afresh.
    std::optional<AudioAnalysis> load(const QByteArray& key) const;
    // Stores an analysis atomically (a half-written file is never visible). Cancelled
    // analyses and sounds that could not be decoded are not stored. Returns whether a
    // file was written.
    bool store(const QByteArray& key, const AudioAnalysis& analysis) const;

    // The beat grid's corrections by hand for the file with this key, kept beside its
    // analysis (the text of GridCorrections; "<key>.vkgrid": the key on the first line,
    // then the corrections). Empty when there are none. Storing empty corrections
    // removes them. A changed sound file has another key, so its old corrections are
    // never found for it.
    QByteArray loadCorrections(const QByteArray& key) const;
    bool storeCorrections(const QByteArray& key, const QByteArray& corrections) const;
    QString correctionsPathFor(const QByteArray& key) const;

    // The file format on its own, for the cache and its tests. decode() returns nothing
    // for anything but a complete, intact file of this version; `why` gets the reason.
    static QByteArray encode(const QByteArray& key, const AudioAnalysis& analysis);
    static std::optional<AudioAnalysis> decode(const QByteArray& bytes, const QByteArray& key, QString* why = nullptr);

private:
    QString m_dir;
};

// Replaces a cache file only with a complete new one; false, with the previous file
// kept, when it cannot be written whole. Unbuffered, so that a write that fails (a full
// disk) is seen before the commit: a failure inside the final flush of a buffered file
// would go unnoticed and leave a short file in the cache's place.
bool WriteCacheFile(const QString& path, const QByteArray& bytes);

// The frame every cache file has: an 8-byte magic, the format version (32 bits) and the
// payload's length (64 bits), both little-endian, the payload, and its SHA-1.
QByteArray FrameCacheFile(const char (&magic)[8], quint32 version, const QByteArray& payload);
// The payload of a framed file; nullopt, with the reason in why, when the magic, the
// version, the length or the checksum does not hold.
std::optional<QByteArray> UnframeCacheFile(const QByteArray& bytes, const char (&magic)[8], quint32 version,
                                           QString* why);

} // namespace vk
